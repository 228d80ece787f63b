#include "runs/runexcel.h"

#include "quotes/loader.h"
#include "runs/currentrun.h"
#include "support/errors.h"
#include "support/log.h"
#include "support/state.h"
#include "support/yield.h"
#include "writers/amibroker.h"
#include "writers/ewriter.h"
#include "writers/quote.h"

RunExcel::RunExcel(std::function<void(const QString&)> panel2) : panel2_(std::move(panel2)) {}

RunExcel::~RunExcel() = default;

bool RunExcel::start(bool historical)
{
    enabled_ = settings().selectexcel;
    if (!enabled_)
        return true;
    bool taken = false;
    const StepOutcome outcome = guarded([&] {
        workbook_ = ewriter::createWorkbook(historical);
        taken = workbook_.isEmpty();
    });
    if (taken || outcome == StepOutcome::Aborted)
        return false;
    on_ = outcome == StepOutcome::Done;
    return true;
}

void RunExcel::write(const loader& batch, int totalDispatched)
{
    if (!enabled_)
        return;
    const CurrentQuotes& q = batch.quotes();
    for (const QString& t : q.yahooticker)
        handed_ += t.isEmpty() ? 0 : 1;
    if (!on_)
        return;
    WriteLog(QStringLiteral("Writing to Excel"));
    panel2_(QStringLiteral("Writing %1 quotes to Excel...").arg(totalDispatched));
    QStringList date, open, high, low, close, volume;
    for (qsizetype i = 0; i < q.size(); ++i) {
        date << QString::number(q.yahoodate[i]);
        open << quotetext::plainNumber(q.yahooopen[i]);
        high << quotetext::plainNumber(q.yahoohigh[i]);
        low << quotetext::plainNumber(q.yahoolow[i]);
        close << quotetext::plainNumber(q.yahooclose[i]);
        volume << quotetext::plainNumber(q.yahoovolume[i]);
    }
    auto& w = writers_.emplace_back(std::make_unique<ewriter>());
    w->filename(workbook_);
    w->ytickers(QStringList(q.yahooticker.cbegin(), q.yahooticker.cend()));
    w->yname(QStringList(q.yahooname.cbegin(), q.yahooname.cend()));
    w->ydate(date);
    w->yopen(open);
    w->yhigh(high);
    w->ylow(low);
    w->yclose(close);
    w->yvolume(volume);
    w->go();
    WriteLog(QStringLiteral("End writing to Excel"));
}

bool RunExcel::writeBlock(const QString& lines, int rows, const QString& name)
{
    if (!enabled_)
        return true;
    if (!on_) {
        handed_ += rows;
        return true;
    }
    if (writers_.empty())
        writers_.emplace_back(std::make_unique<ewriter>())->filename(workbook_);
    ewriter& w = *writers_.front();
    const bool ready = waitUntil([&w] {
        WriteLog(QStringLiteral("Writing to Excel"));
        return !w.Busy();
    });
    if (!ready)
        return false;
    handed_ += rows;
    w.raw(lines);
    w.HName(name);
    w.go();
    WriteLog(QStringLiteral("End writing to Excel"));
    return true;
}

bool RunExcel::idle() const
{
    for (const auto& w : writers_) {
        if (w->Busy())
            return false;
    }
    return true;
}

void RunExcel::finish(CurrentRunSummary& summary)
{
    finish(summary.written, summary.writeFailures, summary.notes);
}

void RunExcel::finish(QMap<QChar, int>& written, int& writeFailures, QStringList& notes)
{
    if (!enabled_)
        return;
    // A write already started is let finish, also after Stop: the workbook
    // on disk is then complete up to the last block handed.
    waitUntil([this] { return idle(); }, -1, AbortFlag::Ignore);
    int saved = 0, sheets = 0;
    if (on_) {
        ewriter w;
        w.filename(workbook_);  // the workbook the batch writers share
        w.flush();
        saved = w.rowsSaved();
        sheets = w.sheets();
    }
    written[QLatin1Char('E')] += saved;
    writeFailures += handed_ - saved;
    handed_ = 0;
    writers_.clear();
    if (!on_)
        return;
    notes << QStringLiteral("Excel workbook %1: %2 %3")
                         .arg(workbook_)
                         .arg(sheets)
                         .arg(sheets == 1 ? QStringLiteral("sheet") : QStringLiteral("sheets"));
}

void runAmiBrokerImport(QMap<QChar, int>& written, int& writeFailures, QStringList& notes,
                        const std::function<void(const QString&)>& panel)
{
    panel(QStringLiteral("Exporting to Amibroker..."));
    const amibroker::ImportResult r = amibroker::Import();
    if (r.started) {
        notes << r.line.trimmed();
        if (r.ok)
            written[QLatin1Char('A')] += r.quotes;
        else
            writeFailures += r.quotes;
    }
    panel(QString());
}

void runAmiBrokerImport(CurrentRunSummary& summary, const std::function<void(const QString&)>& panel2)
{
    runAmiBrokerImport(summary.written, summary.writeFailures, summary.notes, panel2);
}
