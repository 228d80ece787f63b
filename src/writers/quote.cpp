#include "writers/quote.h"

#include "support/years.h"

#include <QDate>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace quotetext {

Quote quoteOf(const QString& ticker, const QString& name, const core::Bar& bar)
{
    return {ticker, name, bar.date, bar.open.text, bar.high.text, bar.low.text, bar.close.text, bar.volume.text};
}

QString pointDecimal(const QString& price)
{
    QString out = price.trimmed();
    out.replace(QLatin1Char(','), QLatin1Char('.'));
    return out;
}

QString plainNumber(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == 0)
        return QStringLiteral("0");
    // The shortest text that reads back as the same value, never cut to a
    // fixed number of decimals.
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

bool plausibleDate(qint32 date)
{
    return date >= 101 && month(date) >= 1 && month(date) <= 12 && day(date) >= 1 && day(date) <= 31;
}

int expandYear(int twoDigits) { return expandTwoDigitYear(twoDigits); }

namespace {
// What QString::toLatin1 makes of one UTF-16 unit.
char latin1(char16_t unit) { return unit > 0xff ? '?' : static_cast<char>(unit); }
}  // namespace

void appendField(QByteArray& out, QStringView text, char from, char to)
{
    LineWriter(out, text.size()).field(text, from, to);
}

void appendPrice(QByteArray& out, QStringView text, bool point)
{
    appendField(out, text.trimmed(), point ? ',' : '\0', '.');
}

void appendNumber(QByteArray& out, qint64 value, int width)
{
    LineWriter(out, std::max(20, width)).number(value, width);
}

LineWriter::LineWriter(QByteArray& out, qsizetype most) : out_(out)
{
    const qsizetype at = out.size();
    out.resize(at + most);
    p_ = out.data() + at;
}

LineWriter::~LineWriter() { out_.resize(p_ - out_.constData()); }

void LineWriter::field(QStringView text, char from, char to)
{
    for (const QChar c : text) {
        char b = latin1(c.unicode());
        if (b == '\r' || b == '\n')
            b = ' ';
        else if (from != '\0' && b == from)
            b = to;
        *p_++ = b;
    }
}

void LineWriter::price(QStringView text) { field(text.trimmed(), ',', '.'); }

void LineWriter::number(qint64 value, int width)
{
    char digits[24];
    int n = 0;
    const bool negative = value < 0;
    quint64 v = negative ? 0 - static_cast<quint64>(value) : static_cast<quint64>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    // Padded as QByteArray::number(value).rightJustified(width, '0') pads.
    for (int pad = n + (negative ? 1 : 0); pad < width; ++pad)
        *p_++ = '0';
    if (negative)
        *p_++ = '-';
    while (n > 0)
        *p_++ = digits[--n];
}

void LineWriter::put(QByteArrayView bytes)
{
    std::memcpy(p_, bytes.data(), static_cast<size_t>(bytes.size()));
    p_ += bytes.size();
}

QByteArray field(const QString& text)
{
    QByteArray bytes;
    appendField(bytes, text);
    return bytes;
}

}  // namespace quotetext
