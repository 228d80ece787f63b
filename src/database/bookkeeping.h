#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

class Database;

// Reading the bookkeeping tables the downloads fill (clsData writes them):
// what a current run could not get, did not find, renamed or rejected, and
// the ranges a historical run tried. Every function throws DbError when its
// statement fails.
namespace bookkeeping {

// ---- current run ----

// nietgelukt: the tickers not downloaded, by ticker.
QStringList failedTickers(Database& db);
// vervallen: the tickers not found, by ticker.
QStringList droppedTickers(Database& db);
// vervallen in the order the tickers were recorded.
QStringList droppedTickersAsRecorded(Database& db);
// verworpen: the tickers whose quotes were rejected, by ticker.
QStringList rejectedTickers(Database& db);

// One row of newtickers.
struct TickerChange {
    QString oldTicker;
    QString newTicker;
    bool operator==(const TickerChange&) const = default;
};
// newtickers, by old ticker.
QVector<TickerChange> tickerChanges(Database& db);

// ---- both runs ----

// One row of findings: what the integrity check found in a quote.
struct FindingRow {
    QString ticker;
    QDate date;    // datum
    QString kind;  // the short code: bounds, jump, unitswitch, ...
    QString seen;
    QString done;  // flagged, repaired: ..., skipped
    bool operator==(const FindingRow&) const = default;
    // "TICKER yyyy-MM-dd kind: seen; done"
    QString line() const;
};
// findings, by ticker and date (in recorded order within a day).
QVector<FindingRow> findings(Database& db);

// ---- historical run ----

// One row of history: a range of one symbol's quotes.
struct HistoryRow {
    QString ticker;
    QString name;           // naam; left empty by historyRanges
    QDate start;            // startdatum
    QDate end;              // einddatum
    bool timedOut = false;  // timeout; set by unsuccessfulHistory only
    bool operator==(const HistoryRow&) const = default;
};

// The outcome flag a range is recorded with.
enum class HistoryOutcome {
    Downloaded,     // gelukt
    NotDownloaded,  // nietgelukt
    TimedOut,       // timeout
};

// The ranges recorded with `outcome`, in table order, without names.
QVector<HistoryRow> historyRanges(Database& db, HistoryOutcome outcome);
// The ranges not got (gelukt = 0: not downloaded or timed out), in table
// order and with names: what a retry downloads again.
QVector<HistoryRow> unsuccessfulHistory(Database& db);
// The number of those ranges.
int unsuccessfulHistoryCount(Database& db);
// The days the integrity check flagged for `ticker` (table findings), in
// date order, each once; none while the database has no such table.
QVector<QDate> findingDates(Database& db, const QString& ticker);

}  // namespace bookkeeping
