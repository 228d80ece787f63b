#pragma once

#include <QString>
#include <QTime>
#include <optional>

// Conversions of stored texts into values. Settings are kept as text; a text
// that is not a value of the wanted kind yields nothing, and the caller falls
// back to the documented default.
namespace textconv {

// The numeric value of the leading number of a text, blanks skipped
// (" 1500" is 1500, "12abc" is 12, "abc" is 0).
double val(const QString& text);
// The same leading number, or nothing when the text does not start with one.
std::optional<double> leadingNumber(const QString& text);

// A whole number in the range of `T`-like bounds, or nothing for a text that
// is not a number or lies outside [min, max].
std::optional<qint64> toInteger(const QString& text, qint64 min, qint64 max);

// "True"/"False" in any case, or a number (non-zero is true).
std::optional<bool> toBool(const QString& text);
QString fromBool(bool value);

// A time of day such as "9:30", "09:30:00", "4:00pm" or "4:00:00 PM"; "0"
// is midnight (an interval of nothing).
std::optional<QTime> toTime(const QString& text);
QString fromTime(const QTime& time);

}  // namespace textconv
