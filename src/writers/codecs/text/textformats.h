#pragma once

#include "writers/symbolwriter.h"

#include <QByteArrayView>
#include <optional>

// The per-symbol text formats: one line per date, fields separated by ",",
// CR LF line ends, no header.
class TextQuoteWriter : public SymbolFileWriter {
public:
    QByteArray line(const QString& base, const Quote& quote) const;
    // The line appended to `out`, without its line end.
    virtual void appendLine(QByteArray& out, const QString& base, const Quote& quote) const = 0;
    // The same for a day of a block whose other fields (ticker, name) are
    // `quote`'s: by default `quote` takes the day's texts and goes to
    // appendLine(); a layout may print the day's texts straight away.
    virtual void appendDay(QByteArray& out, const QString& base, Quote& quote, const core::Bar& day) const;
    // The date a line of the file carries; 0 for a header line (one starting
    // with "<"), nothing for a line without a readable date.
    std::optional<qint32> lineDate(QByteArrayView line) const;
    // Where the prices of a dated line start (after the date, and for
    // Stockguru the base name and "D" before it); -1 when the line has no
    // such field. `baseEnd` gets where a leading base name ends.
    virtual qsizetype pricesStart(QByteArrayView line, qsizetype* baseEnd = nullptr) const;

    void write(const SymbolFile& file, const Quote& quote) override;
    void writeBlock(const SymbolFile& file, const QVector<Quote>& quotes) override;
    void writeDays(const SymbolFile& file, const Quote& block, const QVector<core::Bar>& days) override;

protected:
    virtual std::optional<qint32> parseDate(QByteArrayView line) const = 0;
    // "O,H,L,C,V" as every layout writes them.
    static void appendPrices(QByteArray& out, const Quote& quote);

    // The texts a line prints, from a quote or a day.
    struct Fields {
        qint32 date;
        QStringView open, high, low, close, volume;
    };
    static Fields fieldsOf(const Quote& q) { return {q.date, q.open, q.high, q.low, q.close, q.volume}; }
    static Fields fieldsOf(const core::Bar& d)
    {
        return {d.date, d.open.text, d.high.text, d.low.text, d.close.text, d.volume.text};
    }
    // What appendPrices() writes, through `line`; `volume` is the volume's
    // text when it is not plain digits (see volumeText), else empty.
    static void putPrices(quotetext::LineWriter& line, const Fields& f, const QByteArray& volume);
    // The volume as written when its text is not a plain number already;
    // empty when it is.
    static QByteArray volumeText(QStringView volume);
    // The room the prices take at most.
    static qsizetype pricesRoom(const Fields& f, const QByteArray& volume);

private:
    void insertByRewrite(const QString& file, qint32 date, const QByteArray& newLine) const;
};

// Stockguru: base name, "D", YYMMDD, O, H, L, C, V, "1".
class StockguruWriter : public TextQuoteWriter {
public:
    QChar letter() const override { return QLatin1Char('S'); }
    void appendLine(QByteArray& out, const QString& base, const Quote& quote) const override;
    void appendDay(QByteArray& out, const QString& base, Quote& quote, const core::Bar& day) const override;
    qsizetype pricesStart(QByteArrayView line, qsizetype* baseEnd = nullptr) const override;

protected:
    std::optional<qint32> parseDate(QByteArrayView line) const override;

private:
    static void append(QByteArray& out, const QString& base, const Fields& f);
};

// Advanced GET: MM/DD/YY, O, H, L, C, V.
class GetWriter : public TextQuoteWriter {
public:
    QChar letter() const override { return QLatin1Char('D'); }
    void appendLine(QByteArray& out, const QString& base, const Quote& quote) const override;
    void appendDay(QByteArray& out, const QString& base, Quote& quote, const core::Bar& day) const override;

protected:
    std::optional<qint32> parseDate(QByteArrayView line) const override;

private:
    static void append(QByteArray& out, const Fields& f);
};

// ASCII: YYYYMMDD, O, H, L, C, V.
class AsciiWriter : public TextQuoteWriter {
public:
    QChar letter() const override { return QLatin1Char('C'); }
    void appendLine(QByteArray& out, const QString& base, const Quote& quote) const override;
    void appendDay(QByteArray& out, const QString& base, Quote& quote, const core::Bar& day) const override;

protected:
    std::optional<qint32> parseDate(QByteArrayView line) const override;

private:
    static void append(QByteArray& out, const Fields& f);
};
