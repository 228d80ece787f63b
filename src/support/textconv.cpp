#include "support/textconv.h"

#include <QRegularExpression>
#include <charconv>
#include <cmath>

namespace textconv {

double val(const QString& text) { return leadingNumber(text).value_or(0); }

std::optional<double> leadingNumber(const QString& text)
{
    // A hand-written scan: prices are converted for every quote written, and
    // this is far cheaper than a regular expression and QString::toDouble.
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    char buffer[64];
    size_t len = 0;
    auto isDigit = [&text, n](qsizetype at) {
        return at < n && text[at] >= QLatin1Char('0') && text[at] <= QLatin1Char('9');
    };
    auto put = [&buffer, &len](QChar c) {
        if (len < sizeof buffer - 1)
            buffer[len++] = static_cast<char>(c.unicode());
    };
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        if (text[i] == QLatin1Char('-'))
            put(text[i]);
        ++i;
    }
    bool digits = false;
    while (isDigit(i)) {
        put(text[i++]);
        digits = true;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        put(text[i++]);
        while (isDigit(i)) {
            put(text[i++]);
            digits = true;
        }
    }
    if (!digits || len >= sizeof buffer - 1)
        return std::nullopt;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        const bool sign = j < n && (text[j] == QLatin1Char('-') || text[j] == QLatin1Char('+'));
        if (isDigit(j + (sign ? 1 : 0))) {
            put(text[i]);
            if (sign)
                put(text[j]);
            j += sign ? 1 : 0;
            while (isDigit(j))
                put(text[j++]);
        }
    }
    double value = 0;
    const auto [end, error] = std::from_chars(buffer, buffer + len, value);
    if (error != std::errc() || end != buffer + len || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint64> toInteger(const QString& text, qint64 min, qint64 max)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    qint64 value = trimmed.toLongLong(&ok);
    if (!ok) {
        // A whole number written with a fraction, as "10.0", still counts.
        const double d = trimmed.toDouble(&ok);
        if (!ok || d != static_cast<double>(static_cast<qint64>(d)))
            return std::nullopt;
        value = static_cast<qint64>(d);
    }
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<bool> toBool(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double d = trimmed.toDouble(&ok);
    if (ok)
        return d != 0;
    return std::nullopt;
}

QString fromBool(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

std::optional<QTime> toTime(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == QLatin1String("0"))
        return QTime(0, 0);
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*([aApP][mM])?$"));
    const auto m = pattern.match(trimmed);
    if (!m.hasMatch())
        return std::nullopt;
    int hour = m.captured(1).toInt();
    const int minute = m.captured(2).toInt();
    const int second = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    const QString ampm = m.captured(4).toLower();
    if (!ampm.isEmpty()) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        if (ampm == QLatin1String("am"))
            hour = hour == 12 ? 0 : hour;
        else
            hour = hour == 12 ? 12 : hour + 12;
    }
    QTime time(hour, minute, second);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

QString fromTime(const QTime& time) { return time.toString(QStringLiteral("HH:mm:ss")); }

}  // namespace textconv
