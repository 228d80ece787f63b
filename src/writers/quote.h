#pragma once

#include "core/bar.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// One daily quote as the text writers take it: the texts of a bar's figures
// beside the symbol. The writers format them per layout.
struct Quote {
    QString ticker;
    QString name;
    qint32 date = 0;  // YYYYMMDD
    QString open, high, low, close;
    QString volume;
};

namespace quotetext {

// `bar` as a quote of `ticker` named `name`: the figures' texts.
Quote quoteOf(const QString& ticker, const QString& name, const core::Bar& bar);

// Prices are written with a decimal point whatever the sender used.
QString pointDecimal(const QString& price);

// A number as plain decimal text: no exponent, no trailing zeros, the
// shortest text that reads back as the same value.
QString plainNumber(double value);

// Parts of a YYYYMMDD date.
inline int year(qint32 date) { return date / 10000; }
inline int month(qint32 date) { return date / 100 % 100; }
inline int day(qint32 date) { return date % 100; }

// A date YYYYMMDD with a month 1-12 and a day 1-31 (what a line can carry).
bool plausibleDate(qint32 date);

// Expands a two-digit year: up to the current two-digit year plus one it is
// 20xx, above that 19xx.
int expandYear(int twoDigits);

// Text to the single-byte code page of the export files, with line breaks
// inside a field turned into blanks so a field can never split a line.
QByteArray field(const QString& text);

// The same conversions appended to a line under construction, without
// temporaries: the writers build thousands of lines per symbol.
//   appendField: `field(text)`, with the byte `from` also turned into `to`.
//   appendPrice: `field(text.trimmed())`, with "," as "." when `point`.
//   appendNumber: `QByteArray::number(value).rightJustified(width, '0')`.
void appendField(QByteArray& out, QStringView text, char from = '\0', char to = '\0');
void appendPrice(QByteArray& out, QStringView text, bool point);
void appendNumber(QByteArray& out, qint64 value, int width = 0);

// The same conversions into room made once at the end of a line under
// construction, for the layouts' own lines: the room is made for at most
// `most` bytes and the line cut to what was written when the writer goes.
class LineWriter {
public:
    LineWriter(QByteArray& out, qsizetype most);
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    void field(QStringView text, char from = '\0', char to = '\0');  // appendField
    void price(QStringView text);                                    // appendPrice(..., true)
    void number(qint64 value, int width = 0);                        // appendNumber; max(20, width) bytes
    void put(char c) { *p_++ = c; }
    void put(QByteArrayView bytes);

private:
    QByteArray& out_;
    char* p_;
};

}  // namespace quotetext
