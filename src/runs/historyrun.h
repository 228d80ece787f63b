#pragma once

#include "quotes/historydecode.h"
#include "runs/runsession.h"
#include "runs/runsummary.h"

#include <QDate>
#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

class clsData;
namespace safefile {
class Batch;
}
class QuoteClient;
class RunExports;
class SymbolNaming;

// What a historical run did, beside what every run counts. Its outcome
// never claims success for ranges the history table does not record as got.
struct HistoryRunSummary : RunSummary {
    int requests = 0;        // history requests sent
    int failedRequests = 0;  // requests that brought nothing usable
    int failedRanges = 0;    // history rows of the run not got (failed or timed out)
    bool filling = false;    // the days came from the quote store
    int nothingStored = 0;   // filling: symbols the store holds no day of in the range

protected:
    QString head() const override;
    QString writtenText() const override;
    bool serviceFailed() const override { return requests > 0 && failedRequests == requests && quotesReceived == 0; }
    QString downloadErrors() const override;
};

// The historical download run: for every symbol the days of a date range
// (cut into chunks for a host given by name) through one clsHistory each,
// written to every format that is on; or, in retry mode, the ranges the
// previous run missed. Several symbols are downloaded at once, at most
// MaxInFlightHistory (store key, default 4) requests in flight; each symbol's
// requests go one after the other. Nothing waits for an answer: an answer
// starts the symbol's next step. A symbol whose steps are all done is
// written as a whole, one block per format, in a step of the run together
// with the other symbols ready by then; the files the step rewrote are made
// durable together, and only then are its symbols' history rows recorded,
// each symbol's in one short transaction.
//
// A fill is the same run with the quote store as its source: each symbol's
// stored days of the range go through the same writers, without the
// network. The store's days passed the integrity check when they came in
// and are written as they are; a fill records nothing in the history table
// (what a retry reads) and puts nothing into the store.
class HistoryRun : public RunSession {
    Q_OBJECT
public:
    static constexpr int kDefaultMaxInFlight = 4;

    explicit HistoryRun(QObject* parent = nullptr);
    ~HistoryRun() override;

    // Where the run gets a symbol's days.
    enum class Source {
        Network,  // the chart host, and today's quote from the current-quote service
        Store,    // the quote store: the days earlier runs got
    };

    // One symbol's range as the run takes it. From the store an invalid
    // start or end leaves that end open.
    struct Range {
        QString ticker, name;
        QDate start, end;
    };

    // What to download: one list, or (severalLists) every list whose
    // download flag is on; the range of the date pickers; allData: from the
    // first day the service holds up to today. Retry mode is taken from the
    // process-wide retry flag when the run starts, unless `ranges` is set.
    bool severalLists = false;
    int list = 1;
    QDate startDate, endDate;
    bool allData = false;
    Source source = Source::Network;
    // When set: these ranges, in this order, instead of the symbols of the
    // lists (or of the retry).
    std::optional<QVector<Range>> ranges;
    // When set: only the format of this letter is written; the others stay
    // as they are, also those that are on. It must be on itself.
    QChar onlyFormat;
    // Off: the run leaves the history table and the findings (what the last
    // download's report and retry read) as they are and records nothing in
    // them, as a gap fill does.
    bool recordsHistory = true;

    bool filling() const { return source == Source::Store; }

    // start() begins a whole download and returns; `finished` reports its
    // end, false when it could not start, found nothing to download or was
    // stopped.

    bool retrying() const { return retry_; }
    const HistoryRunSummary& summary() const { return summary_; }

    // The chunks a symbol's range is requested in: 200 days for a ticker
    // with a market suffix, 3000 otherwise.
    static QVector<QPair<QDate, QDate>> chunks(const QString& ticker, const QDate& start, const QDate& end);
    // The requests of a symbol's range: the chunks, or the whole range in
    // one request when the chart host is the built-in gateway, which asks
    // its provider for any range at once.
    QVector<QPair<QDate, QDate>> requestRanges(const QString& ticker, const QDate& start, const QDate& end) const;

    // The most history requests in flight together (store key
    // MaxInFlightHistory, 1..16).
    static int maxInFlight();

    // Today as the run sees it; tests move it.
    QDate today = QDate::currentDate();

signals:
    // bar 1: StatusBar1 (panels 1-3); bar 2: StatusBar2 (panels 1-4).
    void statusChanged(int bar, int panel, const QString& text);
    // Symbols finished (written, failed or given up) of the run's symbols.
    void progressChanged(int value, int maximum);
    // One symbol finished: `text` says what it got ("1234 days", "failed").
    void symbolFinished(const QString& ticker, int finished, int total, const QString& text);
    void lockedChanged(bool locked);
    // From the network: the days of one symbol's answer, once the store
    // holds them (none when the provider sent no day); not for a symbol whose
    // requests failed or were stopped.
    void symbolAnswered(const QString& ticker, const QVector<core::Bar>& days);

protected:
    bool checksForUpdate() const override { return !filling(); }
    bool begin() override;
    void proceed() override;
    void advance() override;
    void stopping() override;
    void cancelling() override;

private:
    struct Row : Range {
        bool timedOut = false;  // retry: the row was recorded as timed out
    };
    struct Job;
    // Collects the symbols and begins them; the number of symbols found.
    int startDownload();
    void endDownload();
    void formatsFinished();
    void conclude(int found);
    QVector<Row> collect();
    qsizetype requestCount(const Row& row) const;
    void startJobs();
    void begin(Job& job);
    void examined(Job& job);
    void download(Job& job);
    void readStored(Job& job);
    void downloaded(Job& job);
    void toppedUp(Job& job);
    void stepsDone(Job& job);
    void writeReady();
    void settle(safefile::Batch& batch);
    void finishSymbol(Job& job);
    bool writeSymbol(Job& job);
    void checkSymbol(Job& job);
    void recordOutcomes(const Job& job, bool written);
    void showProgress();
    void setStatus(int bar, int panel, const QString& text);
    QVector<int> chosenLists() const;
    // The run reads (and in the end clears) the process-wide retry flag.
    bool takesRetryFlag() const { return !filling() && !ranges; }

    std::unique_ptr<QuoteClient> client_;  // the run's; made when it starts
    std::unique_ptr<clsData> data_;
    std::unique_ptr<RunExports> exports_;
    // Checks new symbols beside the run; the run ends once they have.
    std::unique_ptr<SymbolNaming> naming_;
    HistoryRunSummary summary_;
    std::vector<std::unique_ptr<Job>> jobs_;
    std::deque<Job*> ready_;  // every step done, not written yet
    // Symbols written in this step whose history rows wait for their files
    // to be durable.
    struct Written {
        Job* job;
        bool written;  // every format took the days
        bool counted;  // counted in symbolsWritten
        int days;
    };
    std::vector<Written> unrecorded_;
    // The most symbols whose files are made durable together.
    static constexpr int kSymbolsPerStep = 50;
    // Folders whose leftover temporary files this run has removed.
    QSet<QString> swept_;
    size_t next_ = 0;  // the next job to begin
    int active_ = 0;   // jobs begun and not done
    int finished_ = 0;
    // The bar counts requests: those a symbol did not need count as done
    // when it finishes, so the bar moves from the first answer on.
    int requestsTotal_ = 0, requestsDone_ = 0;
    QElapsedTimer clock_;  // since the first request, for the time left
    int maxInFlight_ = kDefaultMaxInFlight;
    // Stop (or an Abort) has come; the symbols that were complete by then
    // are still written.
    bool stopped_ = false;
    bool stopped() const;
    int found_ = 0;            // symbols the run found to download
    bool collecting_ = false;  // the symbols are collected in the next step
    bool finishing_ = false;   // every symbol is done; the formats finish
    bool closing_ = false;     // the formats are done; checks of new symbols end
    bool retry_ = false;
    int integrityAction_ = 0;  // integrity::Action of this run
};
