#include "writers/quote.h"

#include "support/years.h"

#include <QDate>
#include <QLocale>
#include <cmath>

namespace quotetext {

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

int expandYear(int twoDigits)
{
    return expandTwoDigitYear(twoDigits);
}

QByteArray field(const QString& text)
{
    QByteArray bytes = text.toLatin1();
    for (char& c : bytes) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return bytes;
}

}  // namespace quotetext
