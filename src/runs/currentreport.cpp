#include "runs/currentreport.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "support/errors.h"
#include "support/messages.h"

#include <memory>

namespace {

// False when the user aborted the read in the error dialog.
bool readColumn(Database& db, const QString& sql, QStringList& values)
{
    return guarded([&] {
        values.clear();
        Statement st = db.prepare(sql);
        while (st.next())
            values << st.text(0);
    }) != StepOutcome::Aborted;
}

}  // namespace

void CurrentReport::load()
{
    failed.clear();
    notFound.clear();
    changed.clear();
    rejected.clear();
    const std::unique_ptr<clsData> data = clsData::open();
    if (!data)
        return;
    Database& db = data->db();
    if (!readColumn(db, QStringLiteral("SELECT ticker FROM nietgelukt ORDER BY ticker"), failed) ||
        !readColumn(db, QStringLiteral("SELECT codeyahoo FROM vervallen ORDER BY codeyahoo"), notFound))
        return;
    const StepOutcome read = guarded([&] {
        changed.clear();
        Statement st = db.prepare(QStringLiteral("SELECT oldticker, newticker FROM newtickers ORDER BY oldticker"));
        while (st.next())
            changed.push_back({st.text(0), st.text(1)});
    });
    if (read != StepOutcome::Aborted)
        readColumn(db, QStringLiteral("SELECT codeyahoo FROM verworpen ORDER BY codeyahoo"), rejected);
}

QStringList CurrentReport::failedText()
{
    return {QStringLiteral("These Symbols have not been downloaded."),
            QStringLiteral("Probably due to a bad connection with the server."),
            QStringLiteral("Try again later to download the quotes.")};
}

QStringList CurrentReport::notFoundText()
{
    return {QStringLiteral("These Symbols were not found."), QStringLiteral("The Symbols probably don't exist anymore."),
            QStringLiteral("Try again later or click on the remove Button.")};
}

QStringList CurrentReport::changedText()
{
    return {QStringLiteral("These Symbols have changed."), QStringLiteral("Changes have been made in the database.")};
}

QStringList CurrentReport::rejectedText()
{
    return {QStringLiteral(
        "The following Quotes were not updated due to lack of trade or since no volume was found")};
}

bool CurrentReport::removeNotFound()
{
    const std::unique_ptr<clsData> data = clsData::open();
    if (!data)
        return false;
    // The table, not the list on screen, says what to remove: the list may
    // have been read before the last run ended.
    QStringList dropped;
    if (!readColumn(data->db(), QStringLiteral("SELECT codeyahoo FROM vervallen"), dropped))
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
