#pragma once

#include "quotes/fetch.h"
#include "writers/formatwriter.h"

#include <QString>
#include <functional>

// What a download run did, for the status line, the headless summary and
// the tests: the quotes each format got (WriteCounts) and what both runs
// count; each run adds its own counts.
struct RunSummary : WriteCounts {
    RunSummary() = default;
    RunSummary(const RunSummary&) = default;
    RunSummary& operator=(const RunSummary&) = default;
    virtual ~RunSummary() = default;

    int symbols = 0;         // symbols the run was asked for
    int symbolsWritten = 0;  // symbols whose quotes reached a file
    int notFound = 0;        // symbols the quote service did not know, or had nothing for
    int failedSymbols = 0;   // symbols whose request failed or got no answer
    int rejected = 0;        // symbols the service or the integrity check refused
    int quotesReceived = 0;  // accepted quotes
    int findings = 0;        // what the integrity check recorded
    bool aborted = false;
    bool nothingToDo = false;  // no list, no format or no symbol: nothing started
    bool busy = false;         // another run held the data folder: nothing started

    // What the fetches of the run's quote client met; the run hands it over
    // when it ends.
    FetchRecord fetches;
    // Set by a run that knows better than the tally why answers were
    // unusable (an answer the decoder could not read).
    QString serviceProblem;
    // What went wrong with the quote service during the run: it could not
    // be reached, it answered with something unusable, or (nothing else
    // failed, nothing came) it had no match. Empty when nothing did.
    QString problem() const;

    // The one-line outcome shown in the status bar and printed by the
    // headless commands: what was asked, written, not found, failed and
    // rejected ("Download finished: 32 of 5,027 written; 4,995 not found
    // (see the report)"); never claims success for quotes not written, and
    // says why the quote service gave nothing.
    QString outcome() const;
    // `n` with thousands grouping, as the outcome shows it: "5,027".
    static QString count(qint64 n);

    // Everything asked came and was written: not stopped, no request or range
    // failed, no quote left unwritten.
    bool complete() const
    {
        return !nothingToDo && !aborted && !serviceFailed() && totalWritten() > 0 && downloadErrors().isEmpty() &&
               writeFailures == 0 && leftOut.isEmpty();
    }

protected:
    // The outcome's first words: "Download finished", "Download failed"...
    virtual QString head() const;
    // "32 of 5,027 written" and what a run of its kind adds.
    virtual QString writtenText() const;
    // Nothing usable came from the quote service.
    virtual bool serviceFailed() const = 0;
    // What of the download failed, "" when nothing did.
    virtual QString downloadErrors() const = 0;
};

// A run refused because another holds the data folder: the user is told
// (a scheduled run only logs it and shows it), nothing is started.
void refuseBusy(const QString& refusal, bool scheduled, RunSummary& summary,
                const std::function<void(const QString&)>& show);
