#pragma once

#include "core/bar.h"

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QVector>

// The daily history answer of the chart host ("/table.csv"): the request,
// the test for a bad answer and the decoder. Pure functions; clsHistory
// drives them.

struct HistoryDecodeOptions {
    bool split = false;  // adjust for dividends and splits (the answer's adjusted close)
    bool euro = true;    // convert European quotes before 1999 to euro
    bool reject = true;  // reject days without volume
    // The range asked for, when known: a two-digit year takes the century
    // that puts it nearest the range (a range spans far less than a
    // century), and a day after the end is dropped.
    QDate first, last;
};

// "http://" + host + "/table.csv?s=..." for one range; months are
// zero-based and the whole URL is lower case.
QString historyUrl(const QString& host, const QString& ticker, const QDate& start, const QDate& end);

// An answer that carries no usable history: a time-out, "No Prices", an
// HTML page or a body shorter than 50 characters.
bool badHistoryAnswer(QByteArrayView body, bool timedOut);

// Legacy currency units per euro for the exchange suffix of `ticker`
// (the text after its last "."); 0 when there is none to convert.
double euroRate(const QString& ticker);

// "14-Jun-04" as 20040614; 0 when the text is no such date. Two-digit years
// follow the same window as the quote files.
qint32 historyDate(QByteArrayView field);
// The same with the century that puts the year within 50 years of `nearYear`.
qint32 historyDate(QByteArrayView field, int nearYear);

// `ticker`,YYYYMMDD,open,high,low,close,volume of one day (no line end), as
// the log shows a decoded day.
QString historyLine(const QString& ticker, const core::Bar& day);

// A split the answer names (a line "Split,D-Mon-YY,N:D" after the days,
// which the built-in gateway adds): from `date` on one old share is `ratio`
// new ones.
struct HistorySplit {
    qint32 date = 0;  // YYYYMMDD
    double ratio = 1;
    bool operator==(const HistorySplit&) const = default;
};
QVector<HistorySplit> decodeSplits(QByteArrayView body, const HistoryDecodeOptions& options);

// Every day of the answer, oldest first (the service sends newest first),
// one per date: of two rows for one date the later row of the answer holds.
// Header and unreadable lines are skipped. Prices and volume keep the
// answer's own texts ("," read as "."), changed only where a rule computes a
// new value; a day rejected for lack of volume carries core::Bar::Refused.
QVector<core::Bar> decodeHistory(QByteArrayView body, const QString& ticker, const HistoryDecodeOptions& options);
