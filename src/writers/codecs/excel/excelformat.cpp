// Excel: one workbook per run. A current run hands every batch to an
// ewriter of its own (each adds the batch's rows and writes the workbook
// from the event loop); a historical run hands the symbols' blocks one
// after the other to a single writer.
#include "writers/codecs/builtin.h"

#include "support/errors.h"
#include "support/log.h"
#include "writers/ewriter.h"
#include "writers/formatregistry.h"
#include "writers/formatwriter.h"
#include "writers/location.h"

#include <vector>

namespace {

class ExcelFormat final : public FormatWriter {
public:
    using FormatWriter::FormatWriter;

    // Makes this run's workbook. False when every name is taken or the user
    // chose Abort; a workbook that cannot be written is otherwise reported
    // and leaves the format out of this run.
    bool begin(ExportRun& run) override
    {
        bool taken = false;
        const bool historical = run.historical();
        const StepOutcome outcome = guarded([&] {
            workbook_ = books_.create(historical);
            taken = workbook_.isEmpty();
        });
        if (taken || outcome == StepOutcome::Aborted)
            return false;
        on_ = outcome == StepOutcome::Done;
        return true;
    }

    bool writeBatch(CurrentBatch& batch, ExportRun& run) override
    {
        handed_ += static_cast<int>(batch.quotes.size());
        if (!on_)
            return true;
        WriteLog(QStringLiteral("Writing to Excel"));
        run.panel(QStringLiteral("Writing %1 quotes to Excel...").arg(run.totalDispatched));
        auto& w = writers_.emplace_back(std::make_unique<ewriter>());
        w->filename(workbook_, books_);
        w->rows(batch.quotes);
        QObject::connect(w.get(), &ewriter::done, w.get(), [&run] { run.settled(); });
        w->go();
        WriteLog(QStringLiteral("End writing to Excel"));
        return true;
    }

    // The run hands a block once the one before is on disk.
    bool writeHistory(const HistoryBlock& block, ExportRun& run) override
    {
        run.panel(QStringLiteral("Writing quotes to Excel...."));
        const bool handed = writeBlock(block, run);
        run.panel(QString());
        return handed;
    }

    bool idle() const override
    {
        for (const auto& w : writers_) {
            if (w->Busy())
                return false;
        }
        return true;
    }

    // The run comes here once every write started has ended, also after
    // Stop: the workbook on disk is then complete up to the last block
    // handed. The rows on disk count as written, the rest as not written.
    void finish(ExportRun& run) override
    {
        int saved = 0, sheets = 0;
        bool failed = false;
        if (on_) {
            ewriter w;
            w.filename(workbook_, books_);  // the workbook the batch writers share
            failed = !w.flush();
            saved = w.rowsSaved();
            sheets = w.sheets();
        }
        run.wrote(letter(), saved);
        run.notWritten(handed_ - saved);
        handed_ = 0;
        writers_.clear();
        if (!on_)
            return;
        if (failed) {
            run.counts().notes
                << QStringLiteral("Excel workbook %1: could not be saved; it holds %2 rows").arg(workbook_).arg(saved);
            return;
        }
        run.counts().notes << QStringLiteral("Excel workbook %1: %2 %3")
                                  .arg(workbook_)
                                  .arg(sheets)
                                  .arg(sheets == 1 ? QStringLiteral("sheet") : QStringLiteral("sheets"));
    }

private:
    bool writeBlock(const HistoryBlock& block, ExportRun& run)
    {
        if (!on_) {
            handed_ += block.size();
            return true;
        }
        if (writers_.empty()) {
            ewriter& first = *writers_.emplace_back(std::make_unique<ewriter>());
            first.filename(workbook_, books_);
            QObject::connect(&first, &ewriter::done, &first, [&run] { run.settled(); });
        }
        ewriter& w = *writers_.front();
        WriteLog(QStringLiteral("Writing to Excel"));
        if (w.Busy())
            return false;
        handed_ += block.size();
        w.rows(block.ticker(), block.name(), block.days());
        w.go();
        WriteLog(QStringLiteral("End writing to Excel"));
        return true;
    }

    Workbooks books_;  // this run's workbook, shared by its writers
    QString workbook_;
    bool on_ = false;  // the workbook could be made
    int handed_ = 0;   // quotes handed to the writers
    std::vector<std::unique_ptr<ewriter>> writers_;
};

}  // namespace

namespace formatwriters {

bool excelCanBeWritten(const LocationChoice& choice, QString* why)
{
    if (ewriter::engineTest(choice.folder))
        return true;
    if (why)
        *why = QStringLiteral("The Excel folder is not writable: ") + choice.folder;
    return false;
}

std::unique_ptr<FormatWriter> excel(const ExportFormat& format) { return std::make_unique<ExcelFormat>(format); }

}  // namespace formatwriters
