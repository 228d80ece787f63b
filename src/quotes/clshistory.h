#pragma once

#include "quotes/historydecode.h"

#include <QDate>
#include <QString>
#include <QVector>
#include <functional>

class clsData;
class GapTimer;

// Records one attempt of `ticker` in the history table (see writehistory).
void recordHistory(clsData& data, const QString& ticker, const QString& name, const QDate& start, const QDate& end,
                   bool succeeded, bool failed, bool timedOut);

// Downloads the daily history of one symbol for one or more date ranges,
// decodes it oldest first, hands the accepted days to the run's files and
// records in the `history` table which part of each range was got, which
// failed and which timed out. Set the inputs, call go() once, read the
// results.
class clsHistory {
public:
    clsHistory();

    QString HTicker;
    QString HName;
    // Entry i of both is one range; go() moves weekend ends inward.
    QVector<QDate> startdate, enddate;
    clsData* data = nullptr;  // for the history table; none: nothing recorded
    GapTimer* gap;            // the historical window's by default

    // Receives each range's accepted days, oldest first; returns false to
    // end go() (the user aborted a failed write).
    std::function<bool(const QVector<HistoryRecord>&)> writeRecords;
    // Status texts: bar 1 (panels 1-3) and bar 2 (panels 1-4) of the window.
    std::function<void(int bar, int panel, const QString& text)> status;

    void go();

    // Every accepted day of every range, oldest first within a range.
    const QVector<HistoryRecord>& records() const { return records_; }
    // The latest accepted date (YYYYMMDD), 0 when none.
    qint32 lastDate() const { return lastDate_; }
    bool timeout() const { return timeout_; }

    int requests() const { return requests_; }
    int failedRequests() const { return failedRequests_; }

    // Today as the bookkeeping sees it; tests move it.
    QDate today = QDate::currentDate();

private:
    bool range(QDate& start, QDate& end);
    void record(const QDate& start, const QDate& end, bool succeeded, bool failed, bool timedOut);
    void show(int bar, int panel, const QString& text) const;

    QVector<HistoryRecord> records_;
    qint32 lastDate_ = 0;
    bool timeout_ = false;
    int requests_ = 0;
    int failedRequests_ = 0;
};
