// AmiBroker and PRN: every quote of a run is staged in ami2.txt and
// ami1.txt; at the end of the run AmiBroker imports ami2.txt and ami1.txt
// becomes the PRN run file. The two formats share the staging: whichever
// comes first stages a batch for both.
#include "writers/codecs/builtin.h"

#include "support/errors.h"
#include "support/log.h"
#include "support/state.h"
#include "writers/amibroker.h"
#include "writers/formatregistry.h"
#include "writers/formatwriter.h"
#include "writers/location.h"
#include "writers/runfiles.h"

namespace {

// The PRN run file's open-interest column, which the staged lines carry for
// both formats.
QString openInterest() { return settings().format(QLatin1Char('P')).value(kOpenInterest); }

class StagingFormat : public FormatWriter {
public:
    using FormatWriter::FormatWriter;

    bool writeBatch(CurrentBatch& batch, ExportRun& run) override
    {
        RunFiles::Staged& staged = run.files().staged();
        if (staged.serial == batch.serial)
            return true;
        staged = {batch.serial, 0, false};
        WriteLog(QStringLiteral("Writing to PRN"));
        run.panel(QStringLiteral("Writing %1 quotes to .prn...").arg(run.totalDispatched));
        batch.fillMissingPrices();
        const QString h11 = openInterest();
        for (qsizetype i = 0; i < batch.quotes.size(); ++i) {
            const Quote q = batch.quote(i);
            if (q.date == 0) {
                run.notWritten(1);
                continue;
            }
            bool written = false;
            const StepOutcome outcome = guarded([&] {
                run.files().ami1().write(runfiles::ami1Line(q, h11));
                run.files().ami2().write(runfiles::ami2Line(q, batch.quotes[i].time, true));
                written = true;
            });
            if (outcome == StepOutcome::Aborted)
                return false;
            if (written)
                ++staged.quotes;
            else
                run.notWritten(1);
        }
        WriteLog(QStringLiteral("End writing to PRN"));
        return true;
    }

    // Each range of a symbol is staged as it comes in.
    HistoryStep historyStep() const override { return HistoryStep::EachRange; }
    bool stages() const override { return true; }

    bool writeHistory(const HistoryBlock& block, ExportRun& run) override
    {
        RunFiles::Staged& staged = run.files().staged();
        if (staged.serial == block.serial())
            return true;
        staged = {block.serial(), 0, false};
        const QVector<Quote>& quotes = block.quotes(block.name());
        const QString h11 = openInterest();
        QByteArray staged1, staged2;
        staged1.reserve(quotes.size() * 64);
        staged2.reserve(quotes.size() * 96);
        for (const Quote& q : quotes) {
            runfiles::appendAmi1Line(staged1, q, h11);
            runfiles::appendAmi2Line(staged2, q, QString(), false);
        }
        const StepOutcome outcome = guarded([&] {
            run.files().ami1().write(staged1);
            staged.ami1Written = true;
        });
        if (outcome == StepOutcome::Aborted)
            return false;
        return guarded([&] { run.files().ami2().write(staged2); }) != StepOutcome::Aborted;
    }
};

class AmiBrokerFormat final : public StagingFormat {
public:
    using StagingFormat::StagingFormat;

    // The import of ami2.txt, from the event loop: the run finishes the
    // next format once it has ended.
    void finish(ExportRun& run) override
    {
        if (run.cancelled())
            return;
        if (run.historical())
            WriteLog(QStringLiteral("Writing to Amibroker"));
        run.panel(QStringLiteral("Exporting to Amibroker..."));
        importer_ = std::make_unique<amibroker::Importer>();
        QObject::connect(importer_.get(), &amibroker::Importer::done, importer_.get(), [this, &run] {
            const amibroker::ImportResult& r = importer_->result();
            if (r.started) {
                run.counts().notes << r.line.trimmed();
                if (r.ok)
                    run.wrote(letter(), r.quotes);
                else
                    run.notWritten(r.quotes);
            }
            run.panel(QString());
            if (run.historical())
                WriteLog(QStringLiteral("End writing to Amibroker"));
            run.settled();
        });
        importer_->start();
    }

    bool idle() const override { return !importer_ || !importer_->running(); }
    void stop() override
    {
        if (importer_)
            importer_->stop();
    }

private:
    std::unique_ptr<amibroker::Importer> importer_;
};

class PrnFormat final : public StagingFormat {
public:
    using StagingFormat::StagingFormat;

    // A staged quote counts as written; it reaches the run file at the end.
    bool writeBatch(CurrentBatch& batch, ExportRun& run) override
    {
        if (!StagingFormat::writeBatch(batch, run))
            return false;
        run.wrote(letter(), run.files().staged().quotes);
        return true;
    }

    bool writeHistory(const HistoryBlock& block, ExportRun& run) override
    {
        const bool goOn = StagingFormat::writeHistory(block, run);
        if (run.files().staged().ami1Written)
            run.wrote(letter(), block.size());
        else
            run.notWritten(block.size());
        return goOn;
    }

    // The copy of ami1.txt to the PRN run file. Quotes only staged never
    // reached it when the run was stopped or the copy failed.
    void finish(ExportRun& run) override
    {
        const int staged = run.counts().written.value(letter());
        if (run.cancelled()) {
            run.counts().written.remove(letter());
            return;
        }
        if (run.historical())
            WriteLog(QStringLiteral("Writing to PRN"));
        run.panel(QStringLiteral("Exporting to PRN..."));
        const bool historical = run.historical();
        if (guarded([historical] { runfiles::copyRunFile(historical); }) != StepOutcome::Done) {
            run.notWritten(staged);
            run.counts().written.remove(letter());
        }
        run.panel(QString());
    }
};

}  // namespace

namespace formatwriters {

bool amibrokerCanImport(const LocationChoice& choice, QString* why)
{
    return amibroker::presenceTest(choice.importCommand, why);
}

std::unique_ptr<FormatWriter> amibroker(const ExportFormat& format)
{
    return std::make_unique<AmiBrokerFormat>(format);
}

std::unique_ptr<FormatWriter> prn(const ExportFormat& format) { return std::make_unique<PrnFormat>(format); }

}  // namespace formatwriters
