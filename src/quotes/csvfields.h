#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVarLengthArray>
#include <QVector>

// Field conversions shared by the decoders of the service's CSV answers. The
// answers are single-byte text; every function works on the raw bytes.
namespace csv {

// The lines of `body` split at every CR LF (a lone CR or LF stays inside its
// line). The text after the last CR LF is the last element, possibly empty.
QVector<QByteArrayView> splitLines(QByteArrayView body);

// The fields of `line` split at every "," (no quote-aware parsing: a comma in
// a quoted name gives one field more, which the decoders expect).
using Fields = QVarLengthArray<QByteArrayView, 12>;
Fields splitFields(QByteArrayView line);

// Blanks trimmed, every double quote removed, blanks trimmed again.
QString clean(QByteArrayView field);

// The text of a quoted field as it was sent: blanks trimmed, the surrounding
// double quotes removed (a doubled quote inside read as one), blanks trimmed
// again. Quotes inside, commas and their blanks stay.
QString quotedText(QByteArrayView field);

// "," read as "."; the longest leading decimal number (blanks before it
// skipped); 0 for a text that does not start with one ("N/A", "-") and for
// a number too large for a double ("1e309").
double number(QByteArrayView field);

// The same number as the text that was sent, with "." as decimal point: the
// digits are kept as they came ("0.00006123", "1234.56789012", "1.50"). A
// field without a number, a zero and a number with an exponent give the
// shortest plain text of the value ("0", "0.00001").
QString numberText(QByteArrayView field);

// A month-first date M/D/YYYY as the whole number YYYYMMDD, or 0 when the
// text is not such a date, the month or day is out of range, or the year
// lies outside 1900..`maxYear`.
qint32 cvdatum(QByteArrayView text, int maxYear);

// The latest year a quote may carry: next year (a quote of today must never
// be dropped for its date).
int latestQuoteYear();

}  // namespace csv
