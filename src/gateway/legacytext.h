#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>

// The texts of the legacy answers: single-byte, numbers with ".", dates and
// times in the forms the program decodes.
namespace legacytext {

// `value` rounded to `decimals` places, plain decimal ("244.60", "1.0436").
QByteArray price(double value, int decimals);
// A price of the provider's history as it was meant: the shortest decimal
// that reads back as the provider's number (its single-precision noise
// dropped: 20.212499618530273 is 20.2125), never fewer than `decimals`
// places, plain decimal. So split-adjusted prices of long ago (0.0380625)
// keep their digits and a close-to-adjusted-close ratio stays exact.
QByteArray exactPrice(double value, int decimals);
// A whole number ("40896227"); missing (NaN) gives "0".
QByteArray volume(double value);

QByteArray quoteDate(const QDate& date);    // 6/4/2004
QByteArray quoteTime(const QTime& time);    // 4:00pm, 9:05am, 12:30pm
QByteArray historyDate(const QDate& date);  // 14-Jun-04

// A name for a quoted CSV field: Latin-1 (letters outside it lose their
// accents or become their nearest Latin-1 letters), no double quotes, at
// most one comma, no line breaks.
QByteArray csvName(const QString& name);

// Text for HTML: Latin-1 as above, with & < > " escaped.
QByteArray html(const QString& text);

}  // namespace legacytext
