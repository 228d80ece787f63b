#pragma once

#include "quotes/historydecode.h"
#include "runs/runsummary.h"

#include <QDate>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

class clsData;
class RunExports;

// What a historical run did, beside what every run counts. Its outcome
// never claims success for ranges the history table does not record as got.
struct HistoryRunSummary : RunSummary {
    int requests = 0;          // history requests sent
    int failedRequests = 0;    // requests that brought nothing usable
    int failedRanges = 0;      // history rows of the run not got (failed or timed out)

protected:
    bool serviceFailed() const override
    {
        return requests > 0 && failedRequests == requests && quotesReceived == 0;
    }
    QString downloadErrors() const override;
};

// The historical download run: symbol after symbol, the days of a date range
// (cut into chunks) through one clsHistory each, written to every format
// that is on; or, in retry mode, the ranges the previous run missed.
class HistoryRun : public QObject {
    Q_OBJECT
public:
    explicit HistoryRun(QObject* parent = nullptr);
    ~HistoryRun() override;

    // What to download: one list, or (severalLists) every list whose
    // download flag is on; the range of the date pickers; allData: from the
    // first day the service holds up to today. Retry mode is taken from the
    // process-wide retry flag when the run starts.
    bool severalLists = false;
    int list = 1;
    QDate startDate, endDate;
    bool allData = false;

    // Runs a whole download; false when it could not start, found nothing
    // to download or was stopped.
    bool StartHistoryRun();
    void StopHistoryRun();
    // The per-symbol loop; returns the number of symbols found.
    int DownloadHistory();

    bool running() const { return running_; }
    bool retrying() const { return retry_; }
    const HistoryRunSummary& summary() const { return summary_; }

    // The chunks a symbol's range is requested in: 200 days for a ticker
    // with a market suffix, 3000 otherwise.
    static QVector<QPair<QDate, QDate>> chunks(const QString& ticker, const QDate& start, const QDate& end);

    // Today as the run sees it; tests move it.
    QDate today = QDate::currentDate();

signals:
    // bar 1: StatusBar1 (panels 1-3); bar 2: StatusBar2 (panels 1-4).
    void statusChanged(int bar, int panel, const QString& text);
    void progressChanged(int value, int maximum);
    void lockedChanged(bool locked);

private:
    struct Row {
        QString ticker, name;
        QDate start, end;
    };
    QVector<Row> collect();
    bool downloadSymbol(const Row& row);
    void topUp(const QString& ticker, const QString& name, const QDate& start, qint32 lastDate,
               QVector<HistoryRecord>& days);
    void setStatus(int bar, int panel, const QString& text);
    QVector<int> chosenLists() const;

    std::unique_ptr<clsData> data_;
    std::unique_ptr<RunExports> exports_;
    HistoryRunSummary summary_;
    bool running_ = false;
    bool retry_ = false;
};
