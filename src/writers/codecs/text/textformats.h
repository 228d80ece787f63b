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
    // The date a line of the file carries; 0 for a header line (one starting
    // with "<"), nothing for a line without a readable date.
    std::optional<qint32> lineDate(QByteArrayView line) const;
    // Where the prices of a dated line start (after the date, and for
    // Stockguru the base name and "D" before it); -1 when the line has no
    // such field. `baseEnd` gets where a leading base name ends.
    virtual qsizetype pricesStart(QByteArrayView line, qsizetype* baseEnd = nullptr) const;

    void write(const SymbolFile& file, const Quote& quote) override;
    void writeBlock(const SymbolFile& file, const QVector<Quote>& quotes) override;

protected:
    virtual std::optional<qint32> parseDate(QByteArrayView line) const = 0;
    // "O,H,L,C,V" as every layout writes them.
    static void appendPrices(QByteArray& out, const Quote& quote);

private:
    void insertByRewrite(const QString& file, qint32 date, const QByteArray& newLine) const;
};

// Stockguru: base name, "D", YYMMDD, O, H, L, C, V, "1".
class StockguruWriter : public TextQuoteWriter {
public:
    QChar letter() const override { return QLatin1Char('S'); }
    void appendLine(QByteArray& out, const QString& base, const Quote& quote) const override;
    qsizetype pricesStart(QByteArrayView line, qsizetype* baseEnd = nullptr) const override;

protected:
    std::optional<qint32> parseDate(QByteArrayView line) const override;
};

// Advanced GET: MM/DD/YY, O, H, L, C, V.
class GetWriter : public TextQuoteWriter {
public:
    QChar letter() const override { return QLatin1Char('D'); }
    void appendLine(QByteArray& out, const QString& base, const Quote& quote) const override;

protected:
    std::optional<qint32> parseDate(QByteArrayView line) const override;
};

// ASCII: YYYYMMDD, O, H, L, C, V.
class AsciiWriter : public TextQuoteWriter {
public:
    QChar letter() const override { return QLatin1Char('C'); }
    void appendLine(QByteArray& out, const QString& base, const Quote& quote) const override;

protected:
    std::optional<qint32> parseDate(QByteArrayView line) const override;
};
