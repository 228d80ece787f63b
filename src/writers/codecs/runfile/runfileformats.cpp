// Vision2000 and Vikingen: one file per run that every quote is appended
// to, one line (record) per quote.
#include "writers/codecs/builtin.h"

#include "support/errors.h"
#include "support/log.h"
#include "support/yield.h"
#include "writers/formatregistry.h"
#include "writers/formatwriter.h"
#include "writers/runfiles.h"

namespace {

struct RunFileKind {
    // Makes the run's file with its header; see runfiles.
    QString (*create)(bool historical, const QDate& day);
    // Appends the line of one quote; `current` reads a decimal comma.
    void (*append)(QByteArray& out, const Quote& quote, bool current);
    const char* startLog;
    const char* endLog;
    const char* panelName;  // "Writing ... quotes to <panelName>..."
};

class RunFileFormat : public FormatWriter {
public:
    RunFileFormat(const ExportFormat& format, const RunFileKind& layout) : FormatWriter(format), layout_(layout) {}

    // A file that cannot be made leaves the format out of this run.
    bool begin(ExportRun& run) override
    {
        bool aborted = false;
        file_ = run.files().create(layout_.create, &aborted);
        return !aborted;
    }

    bool writeBatch(CurrentBatch& batch, ExportRun& run) override
    {
        if (!file_) {
            // The run file could not be made (the user was told then).
            run.notWritten(static_cast<int>(batch.quotes.size()));
            return true;
        }
        yieldToGui();
        WriteLog(QLatin1String(layout_.startLog));
        run.panel(QStringLiteral("Writing %1 quotes to %2...")
                      .arg(run.totalDispatched)
                      .arg(QLatin1String(layout_.panelName)));
        QByteArray line;
        for (qsizetype i = 0; i < batch.quotes.size(); ++i) {
            const Quote q = batch.quote(i);
            if (q.date == 0) {
                run.notWritten(1);
                continue;
            }
            line.clear();
            layout_.append(line, q, true);
            bool written = false;
            const StepOutcome outcome = guarded([&] {
                file_->write(line);
                written = true;
            });
            if (outcome == StepOutcome::Aborted)
                return false;
            if (written)
                run.wrote(letter(), 1);
            else
                run.notWritten(1);
        }
        WriteLog(QLatin1String(layout_.endLog));
        return true;
    }

    // Each range of a symbol is appended as it comes in, in one write.
    HistoryStep historyStep() const override { return HistoryStep::EachRange; }

    bool writeHistory(const HistoryBlock& block, ExportRun& run) override
    {
        if (!file_)
            return true;
        QByteArray lines;
        lines.reserve(block.size() * 96);
        for (const Quote& q : block.quotes(block.name()))
            layout_.append(lines, q, false);
        WriteLog(QLatin1String(layout_.startLog));
        bool done = false;
        const StepOutcome outcome = guarded([&] {
            file_->write(lines);
            done = true;
        });
        WriteLog(QLatin1String(layout_.endLog));
        if (done)
            run.wrote(letter(), block.size());
        else
            run.notWritten(block.size());
        return outcome != StepOutcome::Aborted;
    }

private:
    RunFileKind layout_;
    AppendFile* file_ = nullptr;  // owned by the run's files
};

}  // namespace

namespace formatwriters {

std::unique_ptr<FormatWriter> vision(const ExportFormat& format)
{
    return std::make_unique<RunFileFormat>(format,
                                           RunFileKind{runfiles::createVisionFile, runfiles::appendVisionLine,
                                                       "Writing to Vision2000", "End writing to Vision2000", "Vision"});
}

std::unique_ptr<FormatWriter> vikingen(const ExportFormat& format)
{
    return std::make_unique<RunFileFormat>(format,
                                           RunFileKind{runfiles::createVikingenFile, runfiles::appendVikingenRecord,
                                                       "Writing to Vikingen", "End writing to Vikingen", "Vikingen"});
}

}  // namespace formatwriters
