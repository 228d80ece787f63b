#pragma once

#include <QString>
#include <QtGlobal>

// One daily bar, the one shape every decoder produces and every writer, the
// integrity check and the stores take. Each price keeps the exact decimal text
// it came with (what the files print) beside its number (what is compared
// and computed with).
namespace core {

// A price, a volume or an open interest: the text as it arrived ("." as
// decimal point) and its value. An empty text means the figure was not given.
struct Figure {
    QString text;
    double value = 0;

    Figure() = default;
    Figure(QString t, double v) : text(std::move(t)), value(v) {}
    // The text's number; 0 and an empty text when `t` is not a number.
    static Figure parse(const QString& t);
    // `v` printed the shortest way that reads back as `v`.
    static Figure of(double v);

    bool given() const { return !text.isEmpty(); }
    bool operator==(const Figure& o) const { return text == o.text && value == o.value; }
};

struct Bar {
    enum Flag : quint32 {
        Repaired = 1u << 0,     // the integrity check changed a value
        Provisional = 1u << 1,  // fetched before the exchange's close
    };

    qint32 date = 0;  // YYYYMMDD
    Figure open, high, low, close, volume, openInterest;
    quint32 flags = 0;

    bool has(Flag f) const { return (flags & f) != 0; }
    void set(Flag f, bool on = true) { flags = on ? (flags | f) : (flags & ~quint32(f)); }
    bool operator==(const Bar& o) const = default;
};

}  // namespace core
