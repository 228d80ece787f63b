#include "runs/historyreport.h"

#include "database/bookkeeping.h"
#include "database/clsdata.h"
#include "runs/findingsreport.h"
#include "support/errors.h"

#include <memory>

void HistoryReport::load()
{
    downloaded.clear();
    notDownloaded.clear();
    timedOut.clear();
    findings.clear();
    repaired.clear();
    unsuccessful = 0;
    const std::unique_ptr<clsData> data = clsData::open();
    if (!data)
        return;
    using bookkeeping::HistoryOutcome;
    auto read = [&data](HistoryOutcome outcome, QVector<Entry>& entries) {
        return guarded([&] {
                   for (const bookkeeping::HistoryRow& row : bookkeeping::historyRanges(data->db(), outcome))
                       entries.push_back({row.ticker, row.start, row.end});
               }) != StepOutcome::Aborted;
    };
    if (!read(HistoryOutcome::Downloaded, downloaded) || !read(HistoryOutcome::NotDownloaded, notDownloaded) ||
        !read(HistoryOutcome::TimedOut, timedOut) || !findingsreport::load(*data, findings))
        return;
    repaired = findingsreport::repairedDays(findings);
    guarded([&] { unsuccessful = bookkeeping::unsuccessfulHistoryCount(data->db()); });
}

QStringList HistoryReport::downloadedText() { return {QStringLiteral("Quotes downloaded: ")}; }

QStringList HistoryReport::notDownloadedText()
{
    return {QStringLiteral("Quotes not downloaded: "), QStringLiteral("The server misses the data or"),
            QStringLiteral("Markets were closed these days.")};
}

QStringList HistoryReport::timedOutText()
{
    return {QStringLiteral("These quotes were not found:"), QStringLiteral("A timeout occured on the server."),
            QStringLiteral("Try again later.")};
}
