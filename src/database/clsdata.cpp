#include "database/clsdata.h"

#include "database/db.h"
#include "database/lists.h"
#include "database/settingsrow.h"
#include "support/errors.h"

QString storedText(const QString& text)
{
    QString stored = text;
    return stored.replace(QLatin1Char('\''), QLatin1Char('"'));
}

clsData::clsData() : db_(Database::openDefault()) {}

clsData::~clsData() = default;

std::unique_ptr<clsData> clsData::open()
{
    std::unique_ptr<clsData> data;
    guarded([&data] { data = std::make_unique<clsData>(); });
    return data;
}

bool clsData::step(const std::function<void()>& statement)
{
    if (guarded(statement) != StepOutcome::Aborted)
        return true;
    aborted_ = true;
    return false;
}

void clsData::addtodatabase2(const QString& ticker, const QString& name, int marketId, const QString& type)
{
    addgelukt = false;
    if (ticker.isEmpty() || name.isEmpty() || marketId == 0)
        return;
    // The unique index on codeyahoo refuses a ticker that is already stored;
    // that refusal goes to the error dialog and leaves addgelukt false.
    step([&] {
        addgelukt = db_->exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo) "
                                             "VALUES (?, ?, ?, ?)"),
                              {marketId, ticker, storedText(name), storedText(type)}) > 0;
    });
}

void clsData::addtodatabase3(const QString& ticker, const QString& name, int marketId, int listNumber)
{
    addgelukt = false;
    if (ticker.isEmpty())
        return;
    QString c;
    if (!step([&] { c = lists::column(listNumber); }) || c.isEmpty())
        return;
    int changed = 0;
    if (!step([&] {
            changed = db_->exec(QStringLiteral("UPDATE fondsen SET codeyahoo = ?, %1 = 1 WHERE codeyahoo = ?").arg(c),
                                {ticker, ticker});
        }))
        return;
    if (changed == 0) {
        step([&] {
            changed = db_->exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, %1, typeyahoo) "
                                               "VALUES (?, ?, ?, 1, 'Unknown')")
                                    .arg(c),
                                {marketId, ticker, storedText(name)});
        });
    }
    addgelukt = changed > 0;
}

int clsData::markt0()
{
    const QString unknown = QStringLiteral("Unknown");
    int changed = 0;
    if (!step([&] {
            changed = db_->exec(QStringLiteral("UPDATE markt SET Market = ? WHERE Market = ?"), {unknown, unknown});
        }))
        return 0;
    if (changed == 0 && !step([&] { db_->exec(QStringLiteral("INSERT INTO markt (Market) VALUES (?)"), {unknown}); }))
        return 0;
    int id = 0;
    step([&] {
        id = db_->scalar(QStringLiteral("SELECT id FROM markt WHERE Market = ? ORDER BY id"), {unknown}).toInt();
    });
    return id;
}

void clsData::changeticker(const QString& oldTicker, const QString& newTicker)
{
    successorExisted = false;
    if (!step([&] {
            // A successor already stored keeps its row (a ticker is the key
            // of a symbol) and takes over the lists of the old one. Tickers
            // compare without case: a change of case alone is one row.
            const bool both = db_->scalar(QStringLiteral("SELECT count(*) FROM fondsen WHERE codeyahoo IN (?, ?)"),
                                          {oldTicker, newTicker})
                                  .toInt() == 2;
            if (!both) {
                db_->exec(QStringLiteral("UPDATE fondsen SET codeyahoo = ? WHERE codeyahoo = ?"),
                          {newTicker, oldTicker});
                return;
            }
            QStringList lists;
            for (int n = 1; n <= 16; ++n)
                lists << QStringLiteral("list%1 = (coalesce(list%1, 0) <> 0 OR EXISTS (SELECT 1 FROM fondsen "
                                        "WHERE codeyahoo = ?1 AND coalesce(list%1, 0) <> 0))")
                             .arg(n);
            Transaction t(*db_);
            db_->exec(QStringLiteral("UPDATE fondsen SET ") + lists.join(QStringLiteral(", ")) +
                          QStringLiteral(" WHERE codeyahoo = ?2"),
                      {oldTicker, newTicker});
            db_->exec(QStringLiteral("DELETE FROM fondsen WHERE codeyahoo = ?"), {oldTicker});
            t.commit();
            successorExisted = true;
        }))
        return;
    step([&] {
        db_->exec(QStringLiteral("INSERT INTO newtickers (oldticker, newticker) VALUES (?, ?)"),
                  {oldTicker, newTicker});
    });
}

void clsData::removeticker(const QString& ticker)
{
    step([&] { db_->exec(QStringLiteral("DELETE FROM fondsen WHERE codeyahoo = ?"), {ticker}); });
}

void clsData::schrijftimeout()
{
    step([&] { settingsrow::saveOptions(*db_); });
}

void clsData::leegmetastock()
{
    if (step([&] { db_->exec(QStringLiteral("DELETE FROM metastock")); }))
        step([&] { db_->exec(QStringLiteral("DELETE FROM mappen")); });
}
