#include "support/textconv.h"

#include <QRegularExpression>

namespace textconv {

double val(const QString& text)
{
    return leadingNumber(text).value_or(0);
}

std::optional<double> leadingNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^[ \\t]*([-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?)"));
    const auto match = number.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = match.captured(1).toDouble(&ok);
    if (!ok)
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

QString fromBool(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<QTime> toTime(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == QLatin1String("0"))
        return QTime(0, 0);
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*([aApP][mM])?$"));
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

QString fromTime(const QTime& time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace textconv
