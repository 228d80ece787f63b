#include "writers/quote.h"

#include "support/years.h"

#include <QDate>
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
    if (value == std::floor(value) && std::fabs(value) < 9.0e15)
        return QString::number(static_cast<qint64>(value));
    QString text = QString::number(value, 'f', 6);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
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
