// The per-symbol formats: Stockguru, Advanced GET, ASCII and KBF keep one
// file per symbol, written through clsschrijfstock.
#include "writers/codecs/builtin.h"
#include "writers/codecs/symbolfiles/symbolfiles.h"

#include "support/log.h"
#include "support/yield.h"
#include "writers/clsschrijfstock.h"
#include "writers/filenames.h"
#include "writers/formatregistry.h"
#include "writers/formatwriter.h"

namespace {

// Per-symbol files are opened one by one: the event loop gets a turn after
// this many quotes of a batch.
constexpr int kQuotesPerYield = 30;

using formatwriters::SymbolFormatTexts;

class SymbolFileFormat : public FormatWriter {
public:
    SymbolFileFormat(const ExportFormat& format, const SymbolFormatTexts& texts) : FormatWriter(format), texts_(texts)
    {
    }

    // A batch is written quote by quote, each merged into its file.
    bool writeBatch(CurrentBatch& batch, ExportRun& run) override
    {
        yieldToGui();
        if (halted(batch.quotes.size(), run))
            return true;
        WriteLog(QLatin1String(texts_.startLog));
        int slot = 0;
        for (qsizetype i = 0; i < batch.quotes.size(); ++i) {
            Quote q = batch.quote(i);
            // Answers that arrive meanwhile only queue their batch, so the
            // window may turn here too.
            if (slot > 0 && slot % kQuotesPerYield == 0)
                yieldToGui();
            run.panel(QStringLiteral("Writing %1 quotes to %2...").arg(slot++).arg(QLatin1String(texts_.panelName)));
            // A long name becomes a file name only with its letters and digits.
            q.name = filenames::reduceName(q.name);
            clsschrijfstock writer;
            writer.cancelWith(run.cancelToken());
            writer.takeTailsFrom(&run.keptTails());
            writer.useFormat(letter());
            writer.setQuote(q);
            if (writer.go() == StepOutcome::Aborted) {
                run.notWritten(static_cast<int>(batch.quotes.size()) - slot + 1);
                return false;
            }
            run.wrote(letter(), writer.written());
            run.notWritten(1 - writer.written());
            if (halt(writer, run)) {
                run.notWritten(static_cast<int>(batch.quotes.size()) - slot);
                break;
            }
        }
        WriteLog(QLatin1String(texts_.currentEndLog ? texts_.currentEndLog : texts_.endLog));
        return true;
    }

    // A symbol's history is merged into its file in one rewrite.
    bool writeHistory(const HistoryBlock& block, ExportRun& run) override
    {
        yieldToGui();
        if (run.cancelled())
            return false;
        if (halted(block.size(), run))
            return true;
        WriteLog(QLatin1String(texts_.startLog));
        run.panel(QStringLiteral("Writing quotes to %1....").arg(QLatin1String(texts_.panelName)));
        const QString tname = filenames::reduceName(block.name());
        clsschrijfstock writer;
        writer.cancelWith(run.cancelToken());
        writer.useFormat(letter());
        writer.tname(tname);
        writer.days(block.ticker(), block.days());
        const StepOutcome outcome = writer.goraw();
        run.panel(QString());
        WriteLog(QLatin1String(texts_.endLog));
        if (outcome == StepOutcome::Aborted)
            return false;
        // A file the writer refused (corrupt, or not written) holds none
        // of the block: the symbol is not written for this format.
        if (writer.failure().isEmpty())
            run.wrote(letter(), block.size());
        else if (block.size() > 0)
            run.notWritten(block.size());
        halt(writer, run);
        return true;
    }

private:
    // After a failure that every file of the folder shares (a full disk, a
    // read-only folder), the format writes nothing more in this run: the
    // user was told once, the rest counts as not written.
    bool halt(const clsschrijfstock& writer, ExportRun& run)
    {
        if (!writer.folderFailed() || !haltedBy_.isEmpty())
            return !haltedBy_.isEmpty();
        haltedBy_ = writer.failure();
        run.counts().notes.append(
            QStringLiteral("%1: nothing more written in this run. %2").arg(format().name(), haltedBy_));
        return true;
    }
    bool halted(qsizetype quotes, ExportRun& run) const
    {
        if (haltedBy_.isEmpty())
            return false;
        run.notWritten(static_cast<int>(quotes));
        return true;
    }

    SymbolFormatTexts texts_;
    QString haltedBy_;
};

}  // namespace

namespace formatwriters {

std::unique_ptr<FormatWriter> perSymbol(const ExportFormat& format, const SymbolFormatTexts& texts)
{
    return std::make_unique<SymbolFileFormat>(format, texts);
}

std::unique_ptr<FormatWriter> stockguru(const ExportFormat& format)
{
    return std::make_unique<SymbolFileFormat>(
        format, SymbolFormatTexts{"Writing to Stockguru", "End writing to Stockguru", nullptr, "Stockguru"});
}

std::unique_ptr<FormatWriter> advancedGet(const ExportFormat& format)
{
    return std::make_unique<SymbolFileFormat>(
        format, SymbolFormatTexts{"Writing to GET", "End writing to GET", nullptr, "PRN"});
}

std::unique_ptr<FormatWriter> ascii(const ExportFormat& format)
{
    return std::make_unique<SymbolFileFormat>(
        format, SymbolFormatTexts{"Writing to ASCII", "End writing to ASCII", "End Writing to ASCII", "ASCII"});
}

std::unique_ptr<FormatWriter> kbf(const ExportFormat& format)
{
    return std::make_unique<SymbolFileFormat>(
        format, SymbolFormatTexts{"Writing to KBF", "End writing to KBF", nullptr, "KBF"});
}

}  // namespace formatwriters
