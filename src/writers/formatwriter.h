#pragma once

#include "core/bar.h"
#include "quotes/currentquotes.h"
#include "support/cancel.h"
#include "writers/quote.h"
#include "writers/textio.h"

#include <QChar>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

struct ExportFormat;
class RunFiles;

enum class RunKind { Current, Historical };

// What a run counts of the quotes it hands to the formats.
struct WriteCounts {
    QMap<QChar, int> written;  // quotes that reached a file, per format letter
    int writeFailures = 0;     // quotes a format did not take (no date, no file name, file error)
    QStringList notes;         // lines of the whole-run exports (workbook, AmiBroker)
    QStringList leftOut;       // formats left out of the run: their folder cannot be written in

    int totalWritten() const;
};

// One answered batch of a current run as the formats take it.
struct CurrentBatch {
    // The accepted quotes that passed the integrity check, prices and volume
    // as the service sent them.
    QVector<CurrentQuote> quotes;
    int serial = 0;  // numbers the batches of a run

    // Quote `i` as the text writers take it.
    Quote quote(qsizetype i) const;
    // A missing open, high or low takes the close, for this format and
    // every later one.
    void fillMissingPrices();
};

// The days of one symbol in a historical run: either one requested range as
// it came in, or every range of the symbol with today's top-up.
class HistoryBlock {
public:
    HistoryBlock(const QString& ticker, const QString& name, const QVector<core::Bar>& days, int serial)
        : ticker_(ticker), name_(name), days_(days), serial_(serial)
    {
    }

    const QString& ticker() const { return ticker_; }
    const QString& name() const { return name_; }  // as the database holds it
    const QVector<core::Bar>& days() const { return days_; }
    int size() const { return static_cast<int>(days_.size()); }
    int serial() const { return serial_; }

    // The days as quotes of the text writers carrying `name`; built once
    // per name asked.
    const QVector<Quote>& quotes(const QString& name) const;

private:
    QString ticker_, name_;
    const QVector<core::Bar>& days_;
    int serial_;
    mutable QVector<Quote> quotes_;
    mutable QString quotesName_;
    mutable bool quotesBuilt_ = false;
};

// What a format sees of the run it writes for.
class ExportRun {
public:
    ExportRun(RunKind kind, RunFiles& files, WriteCounts& counts, std::function<void(const QString&)> panel)
        : kind_(kind), files_(files), counts_(counts), panel_(std::move(panel))
    {
    }

    RunKind kind() const { return kind_; }
    bool historical() const { return kind_ == RunKind::Historical; }
    RunFiles& files() { return files_; }
    WriteCounts& counts() { return counts_; }
    // The run's detail text in its status bar.
    void panel(const QString& text) const { panel_(text); }
    // A format's pending write has ended: the run takes its next step.
    void settled() const
    {
        if (wake_)
            wake_();
    }
    void setWake(std::function<void()> wake) { wake_ = std::move(wake); }
    // The run's Stop as the formats see it.
    void setCancelToken(const CancelToken* token) { cancel_ = token; }
    const CancelToken* cancelToken() const { return cancel_; }
    bool cancelled() const { return cancel_ && cancel_->cancelled(); }
    // The ends of files read ahead for this run's integrity check, for the
    // writers of the same files; cleared after every batch.
    textio::KeptTails& keptTails() { return kept_; }

    void wrote(QChar letter, int quotes) { counts_.written[letter] += quotes; }
    void notWritten(int quotes) { counts_.writeFailures += quotes; }

    // Current run: the symbols handed to loaders so far.
    int totalDispatched = 0;
    // Historical run: the symbol being written is the run's last.
    bool lastSymbol = false;

private:
    RunKind kind_;
    RunFiles& files_;
    WriteCounts& counts_;
    std::function<void(const QString&)> panel_;
    std::function<void()> wake_;
    const CancelToken* cancel_ = nullptr;
    textio::KeptTails kept_;
};

// When a historical run hands a format a symbol's days: as each requested
// range comes in, or once every range of the symbol is in.
enum class HistoryStep { EachRange, WholeSymbol };

// The writer of one export format. A run makes one writer of each format
// that is on (see formats::registry()) and calls them in the registry's order:
// begin() when the run starts, writeBatch() or writeHistory() for the
// quotes, finish() when every quote is handed. A format that writes from the
// event loop is not idle() meanwhile and calls ExportRun::settled() when its
// write has ended; a run hands it a historical block, and finishes it, only
// when it is idle. Writing operations return
// false only when the user chose Abort in an error dialog (or, for a
// historical block, when the run was stopped while the format waited).
class FormatWriter {
public:
    explicit FormatWriter(const ExportFormat& format) : format_(format) {}
    virtual ~FormatWriter();
    FormatWriter(const FormatWriter&) = delete;
    FormatWriter& operator=(const FormatWriter&) = delete;

    const ExportFormat& format() const { return format_; }
    QChar letter() const;

    virtual HistoryStep historyStep() const { return HistoryStep::WholeSymbol; }
    // The format writes through the run's staging files (ami1.txt, ami2.txt).
    virtual bool stages() const { return false; }

    // When the run begins. False when the run cannot go on (every name
    // taken, Abort chosen): the run then stops.
    virtual bool begin(ExportRun& run);
    virtual bool writeBatch(CurrentBatch& batch, ExportRun& run) = 0;
    virtual bool writeHistory(const HistoryBlock& block, ExportRun& run) = 0;
    // No write of this format is still pending.
    virtual bool idle() const { return true; }
    // When every quote is handed: the whole-run export (if any) runs. A
    // stopped run exports nothing. An export that goes on from the event
    // loop leaves the format not idle() until it calls run.settled().
    virtual void finish(ExportRun& run);
    // Stop came: an export on its way ends now.
    virtual void stop() {}

private:
    const ExportFormat& format_;
};
