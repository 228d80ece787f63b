#pragma once

#include "writers/formatwriter.h"
#include "writers/runfiles.h"

#include <functional>
#include <memory>
#include <vector>

// The export side of a download run, the same for both runs: one writer of
// each format that is on when the run starts, called in the registry's
// order, and the run's files. The run says when; the formats say what.
class RunExports {
public:
    // `counts` is the run's summary; `panel` shows the run's detail text.
    // A format whose folder is missing, read-only or full is left out of
    // the run: the user is told (an unattended run only logs it), the
    // setting stays, and nothing of it is written anywhere else. With
    // `only` set, the run writes that format alone (when it is on).
    RunExports(RunKind kind, WriteCounts& counts, std::function<void(const QString&)> panel, bool unattended = false,
               QChar only = QChar());
    ~RunExports();
    RunExports(const RunExports&) = delete;
    RunExports& operator=(const RunExports&) = delete;

    // Creates the staging files; a run of one format that does not stage
    // leaves them as they are. False when the user chose Abort.
    bool createStaging();
    // Every writer's begin(). False when one of them cannot go on.
    bool begin();

    // A current run's answered batch to every format. False when the user
    // chose Abort in an error dialog: the rest of the batch is left out.
    bool writeBatch(CurrentBatch& batch);
    // A historical run's days of one symbol to the formats that take them
    // at `step`. False when the user chose Abort or the run was stopped.
    bool writeHistory(const QString& ticker, const QString& name, const QVector<core::Bar>& days, HistoryStep step);

    // No format has a write pending.
    bool idle() const;
    // Called when a format's pending write has ended (from the event loop).
    void setWake(std::function<void()> wake) { run_.setWake(std::move(wake)); }
    // The run's Stop as the formats see it.
    void setCancelToken(const CancelToken* token) { run_.setCancelToken(token); }
    // The end of the run, once idle(): the run's files are closed (complete
    // on disk), then every writer finishes, in order: unless the run was
    // stopped the whole-run exports run. False while a writer's export goes
    // on from the event loop; the run calls finish() again when woken, and
    // it goes on with the writers after that one.
    bool finish();
    // Stop came: an export on its way ends now.
    void stop();

    // Texts and decisions of the formats that depend on the run's progress.
    void setTotalDispatched(int total) { run_.totalDispatched = total; }
    void setLastSymbol(bool last) { run_.lastSymbol = last; }

    // Where the run's integrity check leaves the ends of the files it read,
    // for the batch's writers to take over.
    textio::KeptTails& keptTails() { return run_.keptTails(); }

    // The writers of this run, in order (for the per-symbol files).
    const std::vector<std::unique_ptr<FormatWriter>>& writers() const { return writers_; }

private:
    RunFiles files_;
    ExportRun run_;
    std::vector<std::unique_ptr<FormatWriter>> writers_;
    bool onlyOne_ = false;  // one format asked for alone
    int serial_ = 0;
    size_t finishing_ = 0;        // the writer finishing
    bool closed_ = false;         // the run's files are closed
    bool finishStarted_ = false;  // finish() of writer `finishing_` was called
};
