#pragma once

#include "quotes/historydecode.h"

#include <QDate>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>
#include <utility>

class AsyncFetch;
class clsData;
class GapTimer;
class QuoteClient;

// One attempt of a symbol for the history table: which part of a range was
// got, which failed and which timed out.
struct HistoryAttempt {
    QDate start, end;
    bool succeeded = false, failed = false, timedOut = false;
};

// Records one attempt of `ticker` in the history table (see writehistory).
void recordHistory(clsData& data, const QString& ticker, const QString& name, const QDate& start, const QDate& end,
                   bool succeeded, bool failed, bool timedOut);

// Downloads the daily history of one symbol for one or more date ranges and
// decodes it oldest first. Nothing waits for an answer: start() sends the
// first range's request and returns, each answer sends the next, and
// `finished` is emitted from the event loop when every range is answered or
// Stop ended the download. What each range brought (the accepted days, the
// history table's rows) is kept for the caller, who writes the days and
// records the rows once the whole symbol is in.
class clsHistory : public QObject {
    Q_OBJECT
public:
    explicit clsHistory(QuoteClient& client, QObject* parent = nullptr);
    ~clsHistory() override;

    QString HTicker;
    QString HName;
    // Entry i of both is one range; weekend ends are moved inward.
    QVector<QDate> startdate, enddate;
    // Spaces the requests of the run; null: the requests go out without a
    // gap (the built-in gateway keeps its own pace). The client's historical
    // gap by default.
    GapTimer* gap;
    // Status texts: bar 1 (panels 1-3) and bar 2 (panels 1-4) of the window.
    std::function<void(int bar, int panel, const QString& text)> status;
    // Today as the bookkeeping sees it; tests move it.
    QDate today = QDate::currentDate();

    void start();
    bool running() const { return running_; }
    // Every range was asked and answered (or the rules ended the download);
    // false when Stop came first.
    bool complete() const { return complete_; }

    // Every accepted day of every range, oldest first.
    const QVector<core::Bar>& records() const { return records_; }
    // The same, handed over: the caller's changes then copy nothing.
    QVector<core::Bar> takeRecords() { return std::exchange(records_, {}); }
    // What the history table is to record, in the order it happened.
    const QVector<HistoryAttempt>& outcomes() const { return outcomes_; }
    // The splits the answers named, oldest first.
    const QVector<HistorySplit>& splits() const { return splits_; }
    // The latest accepted date (YYYYMMDD), 0 when none.
    qint32 lastDate() const { return lastDate_; }

    int requests() const { return requests_; }
    int failedRequests() const { return failedRequests_; }

signals:
    void finished();
    // One request has been answered (or has failed); more may follow.
    void requestAnswered();

private:
    void nextRange();
    void answered();
    void end(bool complete);
    void record(const QDate& start, const QDate& end, bool succeeded, bool failed, bool timedOut);
    void show(int bar, int panel, const QString& text) const;

    QuoteClient& client_;
    std::unique_ptr<AsyncFetch> fetch_;
    std::unique_ptr<AsyncFetch> done_;  // the last answered fetch
    qsizetype next_ = 0;
    QDate start_, end_;  // the range being asked
    QVector<core::Bar> records_;
    QVector<HistoryAttempt> outcomes_;
    QVector<HistorySplit> splits_;
    qint32 lastDate_ = 0;
    int requests_ = 0;
    int failedRequests_ = 0;
    bool running_ = false;
    bool complete_ = false;
};
