#pragma once

#include <QString>
#include <QStringView>
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
    // `t` without the blanks around it and with "," as ".", and its number,
    // when the whole text is one finite number; not given otherwise ("N/A",
    // "", "-", "inf", "12abc"). The digits stay as they came ("1.50").
    static Figure parse(QStringView t);
    // `v` as plain decimal text, the shortest that reads back as `v` (no
    // exponent, "0" for zero of either sign); not given when `v` is not
    // finite.
    static Figure of(double v);

    bool given() const { return !text.isEmpty(); }
    bool operator==(const Figure& o) const { return text == o.text && value == o.value; }
};

struct Bar {
    enum Flag : quint32 {
        Repaired = 1u << 0,     // the integrity check changed a value
        Provisional = 1u << 1,  // fetched before the exchange's close
        Refused = 1u << 2,      // a rule or the integrity check keeps it out of every file
        KeptAsSent = 1u << 3,   // its repair was undone: the values as sent stand
        TopUp = 1u << 4,        // today's quote added to a history's ranges: the per-symbol files alone got it
    };

    qint32 date = 0;  // YYYYMMDD
    Figure open, high, low, close, volume, openInterest;
    quint32 flags = 0;

    // The four prices, for loops over them.
    static constexpr Figure Bar::*kPrices[4] = {&Bar::open, &Bar::high, &Bar::low, &Bar::close};

    bool has(Flag f) const { return (flags & f) != 0; }
    void set(Flag f, bool on = true) { flags = on ? (flags | f) : (flags & ~quint32(f)); }
    bool operator==(const Bar& o) const = default;
};

}  // namespace core
