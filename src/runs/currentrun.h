#pragma once

#include <QChar>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "database/clsdata.h"
#include "runs/runsession.h"
#include "runs/runsummary.h"

class loader;
class QuoteClient;
class RunExports;
class SymbolNaming;
class AsyncFetch;
namespace gapfill {
class GapFill;
}

// What a current-quote run did, beside what every run counts.
struct CurrentRunSummary : RunSummary {
    int batches = 0;        // requests sent, re-downloads included
    int failedBatches = 0;  // batches whose download failed
    int unanswered = 0;     // symbols of answered batches without a line of their own
    QStringList changed;    // "OLD -> NEW", " (merged)" when NEW was stored already
    QStringList keptFiles;  // quote files of an old ticker left in place: one of the new name exists
    // The gap fill after the run: per symbol the days filled and the gaps
    // left (gapfill::GapFill::lines()).
    QStringList gaps;

protected:
    bool serviceFailed() const override { return batches > 0 && failedBatches == batches; }
    QString downloadErrors() const override;
};

// The current-quote download run: collects the symbols of the chosen lists,
// downloads them in batches of 180 with one loader per batch, at most
// MaxInFlight (store key, default 8) in flight together, and writes every
// quote to each switched-on format in a fixed order. Symbols an answer left
// out or answered without all values are asked again after the other
// batches, as long as each round brings quotes. Runs on the GUI thread:
// requests run asynchronously, and each answered batch is written as a whole,
// in the order the answers came, in a step of the run of its own.
class CurrentRun : public RunSession {
    Q_OBJECT
public:
    static constexpr int kBatchSize = 180;
    static constexpr int kDefaultMaxInFlight = 8;
    // Rounds of asking again for what the answers left out.
    static constexpr int kMaxAskAgain = 30;

    enum class Mode { Normal, Scheduled };

    explicit CurrentRun(QObject* parent = nullptr);
    ~CurrentRun() override;

    // What to download. Normal mode: one list (`list`, 1..16) or, with
    // `severalLists`, every list whose download flag is on. Scheduled mode:
    // `scheduledList`.
    Mode mode = Mode::Normal;
    bool severalLists = false;
    int list = 1;
    int scheduledList = 1;
    // The list's caption as the list box shows it, for " contains no symbols".
    QString listCaption;
    // When the run wrote quotes: the gaps of its symbols in their last 30
    // sessions are asked for after its own quotes are written, by a gap
    // fill that takes the folder once the run has let go of it (see
    // gapfill::GapFill). `finished` comes after the gap fill; Stop ends it.
    bool fillsGaps = true;
    // The key of the settings store holding the lines of the latest run's
    // gap fill, for the report.
    static constexpr const char* kGapReportKey = "LastGapFill";

    // start() begins a whole download and returns; `finished` reports its
    // end, false when it could not start (no list, no format, no symbols)
    // or was stopped. stop(): no further batch is sent, running requests
    // end, and a batch being written is finished in every format first.

    const CurrentRunSummary& summary() const { return summary_; }

    // The most batches in flight together (store key MaxInFlight, 1..64).
    static int maxInFlight();

    // "," in a price text becomes ".".
    static QString PointDecimal(const QString& text);

    // Renames the per-symbol quote files of a ticker the service replaced.
    // A file is only renamed when none of the new name exists; otherwise the
    // old one stays where it is. Returns the files left in place.
    static QStringList RenameQuoteFiles(const QString& oldTicker, const QString& newTicker);

signals:
    void panel1Changed(const QString& text);  // the phase
    void panel2Changed(const QString& text);  // the detail
    // Requests answered and written of the requests to send plus the
    // whole-run exports; full at the end of a run that was not stopped.
    void progressChanged(int value, int maximum);
    void lockedChanged(bool locked);  // LockWindow / UnlockWindow

protected:
    bool begin() override;
    void proceed() override;
    void advance() override;
    void stopping() override;
    void cancelling() override;

private:
    // Where the run is; each phase of batches ends when every batch sent is
    // written, the last when every format has finished.
    enum class Phase { Dispatching, Draining, AskingAgain, Finishing, Closing };
    bool collect();
    void dispatchStep();
    void dispatch(const QStringList& batch);
    void startWaiting();
    void loaderReady(int k);
    void writeCompleted();
    void nextAskRound();
    void askedAgain();
    void failLeftover();
    void finishExports();
    void exportsFinished();
    void conclude();
    void gapsFilled(bool ok);
    bool idle() const;
    void BatchComplete(int k);
    void lookUpSuccessors(int k);
    void nextLookup(int k);
    void investigate(int k);
    void writeBatch(loader& l);
    // Whether the check's repair of `q` is taken back: the user undid the
    // repair of that day, and the provider still sends what the store keeps.
    bool keptAsSent(CurrentQuote& q, const core::Bar& asSent);
    void checkBatch(loader& l);
    void setPanel1(const QString& text);
    void setPanel2(const QString& text);
    // The lists this run downloads, ascending; empty when none is chosen.
    QVector<int> chosenLists() const;

    static CurrentBatch batchOf(loader& l);

    std::unique_ptr<QuoteClient> client_;  // the run's; made when it starts
    std::vector<std::unique_ptr<loader>> loaders_;
    std::deque<int> waiting_;    // dispatched, request not sent yet
    std::deque<int> completed_;  // answered, not yet written
    // Answered batches whose unknown tickers are being looked up.
    struct Investigation {
        QStringList pending;
        QHash<QString, QString> successors;  // by old ticker
        std::unique_ptr<AsyncFetch> lookup;  // the quote page of the ticker being looked up
    };
    std::map<int, Investigation> investigations_;
    QHash<int, QHash<QString, QString>> successors_;  // of the completed batches
    int inFlight_ = 0;
    int maxInFlight_ = kDefaultMaxInFlight;
    QSet<QString> runTickers_;  // the symbols this run collected
    // Symbols of answered batches without a line, or without all values:
    // asked again after the other batches.
    QStringList leftover_;
    QSet<QString> incomplete_;  // of those, the ones answered without all values
    std::unique_ptr<clsData> data_;
    QHash<QString, core::Bar> sent_;  // the values as sent of the batch's repaired quotes
    std::unique_ptr<RunExports> exports_;
    // Checks new symbols beside the run; the run ends once they have.
    std::unique_ptr<SymbolNaming> naming_;
    std::unique_ptr<gapfill::GapFill> gapFill_;
    CurrentRunSummary summary_;
    int totalDispatched_ = 0;
    int progressDone_ = 0, progressMax_ = 1;  // requests answered and written, of all steps
    int integrityAction_ = 0;                 // integrity::Action of this run
    QChar storedLetter_;                      // the per-symbol text format the stored days are read from
    QVector<clsData::Finding> findings_;      // recorded at the end of the run, one commit
    bool completing_ = false;                 // a batch is being written
    Phase phase_ = Phase::Dispatching;
    QVector<QString> symbols_;  // collected, in the order they are sent
    qsizetype nextSymbol_ = 0;  // the first not sent yet
    bool worksOn_ = false;      // the host answers again what it left out
    int askRound_ = 0;
    int receivedBefore_ = 0;  // quotes received before the round asking again
    QString panel1_, panel2_;
};
