#include "runs/historyreport.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "support/errors.h"

#include <memory>

void HistoryReport::load()
{
    downloaded.clear();
    notDownloaded.clear();
    timedOut.clear();
    unsuccessful = 0;
    const std::unique_ptr<clsData> data = clsData::open();
    if (!data)
        return;
    Database& db = data->db();
    auto read = [&db](const char* flag, QVector<Entry>& entries) {
        return guarded([&] {
            entries.clear();
            Statement st = db.prepare(QStringLiteral("SELECT ticker, startdatum, einddatum FROM history WHERE %1 = 1 "
                                                     "ORDER BY rowid")
                                          .arg(QLatin1String(flag)));
            while (st.next()) {
                entries.push_back({st.text(0), QDate::fromString(st.text(1), Qt::ISODate),
                                   QDate::fromString(st.text(2), Qt::ISODate)});
            }
        }) != StepOutcome::Aborted;
    };
    if (!read("gelukt", downloaded) || !read("nietgelukt", notDownloaded) || !read("timeout", timedOut))
        return;
    guarded([&] {
        unsuccessful = db.scalar(QStringLiteral("SELECT count(*) FROM history WHERE gelukt = 0")).toInt();
    });
}

QStringList HistoryReport::downloadedText()
{
    return {QStringLiteral("Quotes downloaded: ")};
}

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
