#include "runs/currentreport.h"

#include "database/bookkeeping.h"
#include "database/clsdata.h"
#include "runs/currentrun.h"
#include "runs/findingsreport.h"
#include "support/errors.h"
#include "support/messages.h"
#include "support/settingsstore.h"

#include <memory>

namespace {

// False when the user aborted the read in the error dialog.
bool readTickers(clsData& data, QStringList (*read)(Database&), QStringList& values)
{
    return guarded([&] { values = read(data.db()); }) != StepOutcome::Aborted;
}

}  // namespace

void CurrentReport::load()
{
    failed.clear();
    notFound.clear();
    changed.clear();
    rejected.clear();
    findings.clear();
    repaired.clear();
    gaps =
        store::read(QLatin1String(CurrentRun::kGapReportKey), QString()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const std::unique_ptr<clsData> data = clsData::open();
    if (!data)
        return;
    if (!readTickers(*data, bookkeeping::failedTickers, failed) ||
        !readTickers(*data, bookkeeping::droppedTickers, notFound))
        return;
    const StepOutcome read = guarded([&] {
        for (const bookkeeping::TickerChange& c : bookkeeping::tickerChanges(data->db()))
            changed.push_back({c.oldTicker, c.newTicker});
    });
    if (read != StepOutcome::Aborted && readTickers(*data, bookkeeping::rejectedTickers, rejected) &&
        findingsreport::load(*data, findings))
        repaired = findingsreport::repairedDays(findings);
}

QStringList CurrentReport::failedText()
{
    return {QStringLiteral("These Symbols have not been downloaded."),
            QStringLiteral("Probably due to a bad connection with the server."),
            QStringLiteral("Try again later to download the quotes.")};
}

QStringList CurrentReport::notFoundText()
{
    return {QStringLiteral("These Symbols were not found."),
            QStringLiteral("The Symbols probably don't exist anymore."),
            QStringLiteral("Try again later or click on the remove Button.")};
}

QStringList CurrentReport::changedText()
{
    return {QStringLiteral("These Symbols have changed."), QStringLiteral("Changes have been made in the database.")};
}

QStringList CurrentReport::rejectedText()
{
    return {QStringLiteral("The following Quotes were not updated due to lack of trade or since no volume was found")};
}

QString CurrentReport::gapsText() { return QStringLiteral("Gaps (filled after the run, and left):"); }

bool CurrentReport::removeNotFound()
{
    const std::unique_ptr<clsData> data = clsData::open();
    if (!data)
        return false;
    // The table, not the list on screen, says what to remove: the list may
    // have been read before the last run ended.
    QStringList dropped;
    if (!readTickers(*data, bookkeeping::droppedTickersAsRecorded, dropped))
        return false;
    if (!dropped.isEmpty() && askYesNo(QStringLiteral("Delete Symbols?"), {}, false)) {
        for (const QString& ticker : dropped) {
            data->removeticker(ticker);
            if (data->aborted())
                return false;
        }
    }
    data->leegvervallen();
    if (data->aborted())
        return false;
    notFound.clear();
    return true;
}
