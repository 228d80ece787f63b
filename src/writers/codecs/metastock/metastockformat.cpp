// MetaStock: every quote goes into the MetaStock folder of its symbol,
// found or placed by classzoekmetastock, through metaclass.
#include "writers/codecs/builtin.h"

#include "support/folders.h"
#include "support/log.h"
#include "support/messages.h"
#include "support/yield.h"
#include "writers/formatregistry.h"
#include "writers/formatwriter.h"
#include "writers/metaclass.h"
#include "writers/metastockmap.h"
#include "writers/metastockrun.h"

namespace {

class MetastockFormat final : public FormatWriter {
public:
    using FormatWriter::FormatWriter;

    // Rebuilds the ticker-to-folder map (in the load window where one is
    // installed). The folder choices start afresh with each run's writer. A
    // scan stopped by the run's Stop or by closing the window stops the
    // run: with the map incomplete, symbols the folders hold would be
    // placed anew.
    bool begin(ExportRun& run) override
    {
        // A root that is gone (a disk not mounted) leaves MetaStock out of
        // this run; the setting stays for when it is back, and nothing is
        // made anywhere else.
        const QString root = metastock::root();
        unavailable_ = !folders::canCreateFileIn(root, QStringLiteral("testx.tst"));
        if (unavailable_) {
            const QString text = QStringLiteral("The Metastock folder ") + root +
                                 QStringLiteral(" cannot be found.\r\nNothing is written to Metastock in this run.");
            WriteLog(text);
            msgBox(text, Icon::Critical);
            run.counts().notes << QStringLiteral("Metastock not written: the folder ") + root +
                                      QStringLiteral(" cannot be found");
            return true;
        }
        return !metastockmap::rebuildForRun(state_, run.cancelToken()).stopped;
    }

    // Tickers a folder cannot tell apart from another one's are listed.
    void finish(ExportRun& run) override
    {
        const QStringList& indistinct = state_.indistinct;
        if (!indistinct.isEmpty())
            run.counts().notes << QStringLiteral("Metastock not written, a folder cannot tell them apart: ") +
                                      indistinct.join(QStringLiteral(", "));
    }

    // One metaclass per quote. A Stop seen here still lets the batch reach
    // every format; only Abort in an error dialog ends it.
    bool writeBatch(CurrentBatch& batch, ExportRun& run) override
    {
        if (unavailable_) {
            run.notWritten(static_cast<int>(batch.quotes.size()));
            return true;
        }
        yieldToGui();
        WriteLog(QStringLiteral("Writing to Metastock"));
        int slot = 0;
        for (const CurrentQuote& q : std::as_const(batch.quotes)) {
            run.panel(QStringLiteral("Writing %1 quotes to Metastock...").arg(slot++));
            if (q.bar.date == 0) {
                run.notWritten(1);
                continue;
            }
            metaclass writer(state_);
            writer.cancelWith(run.cancelToken());
            writer.setBar(q.ticker, q.name, q.bar);
            const StepOutcome outcome = writer.go();
            if (outcome == StepOutcome::Aborted)
                return false;
            if (outcome == StepOutcome::Done)
                run.wrote(letter(), 1);
            else
                run.notWritten(1);
        }
        WriteLog(QStringLiteral("End Writing to Metastock"));
        return true;
    }

    bool writeHistory(const HistoryBlock& block, ExportRun& run) override
    {
        if (unavailable_) {
            run.notWritten(block.size());
            return true;
        }
        yieldToGui();
        if (run.cancelled())
            return false;
        WriteLog(QStringLiteral("Writing to Metastock"));
        run.panel(QStringLiteral("Writing quotes to Metastock...."));
        metaclass m(state_);
        m.cancelWith(run.cancelToken());
        m.NaamHistorie(block.name());
        m.GeefHistorieticker(block.ticker());
        m.islaatste(run.lastSymbol);
        m.days(block.days());
        const StepOutcome outcome = m.goraw();
        run.panel(QString());
        WriteLog(QStringLiteral("End writing to Metastock"));
        if (outcome == StepOutcome::Aborted)
            return false;
        // Days the writer could not take never reached the folder.
        const int stored = outcome == StepOutcome::Done ? static_cast<int>(m.block().dates.size()) : 0;
        run.wrote(letter(), stored);
        run.notWritten(block.size() - stored);
        return true;
    }

private:
    MetastockRunState state_;
    bool unavailable_ = false;
};

}  // namespace

namespace formatwriters {

std::unique_ptr<FormatWriter> metastock(const ExportFormat& format)
{
    return std::make_unique<MetastockFormat>(format);
}

}  // namespace formatwriters
