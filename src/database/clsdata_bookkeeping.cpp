// The bookkeeping tables of the downloads: failed, dropped and rejected
// symbols of a current run, and the history of historical downloads.
#include "database/clsdata.h"

#include "database/db.h"
#include "support/errors.h"

#include <algorithm>
#include <optional>

void clsData::leegvervallen()
{
    if (step([&] { db_->exec(QStringLiteral("DELETE FROM vervallen")); }))
        step([&] { db_->exec(QStringLiteral("DELETE FROM verworpen")); });
}

void clsData::leegnewtickers()
{
    step([&] { db_->exec(QStringLiteral("DELETE FROM newtickers")); });
}

void clsData::leegnietgelukt()
{
    step([&] { db_->exec(QStringLiteral("DELETE FROM nietgelukt")); });
}

void clsData::leegfindings()
{
    step([&] { db_->exec(QStringLiteral("DELETE FROM findings")); });
}

void clsData::voegfindingstoe(const QVector<Finding>& findings)
{
    if (findings.isEmpty())
        return;
    // Inside the caller's transaction when it has one: a commit is a wait
    // for the disk.
    step([&] {
        std::optional<Transaction> t;
        if (!db_->inTransaction())
            t.emplace(*db_);
        Statement st = db_->prepare(
            QStringLiteral("INSERT INTO findings (ticker, datum, kind, seen, done) VALUES (?, ?, ?, ?, ?)"));
        for (const Finding& f : findings) {
            const QDate day(f.date / 10000, f.date / 100 % 100, f.date % 100);
            st.bindAll({f.ticker, day.isValid() ? day.toString(Qt::ISODate) : QString::number(f.date), f.kind, f.seen,
                        f.done});
            st.run();
            st.reset();
        }
        if (t)
            t->commit();
    });
}

void clsData::tickersmislukt(const QStringList& tickers)
{
    // A ticker that cannot be recorded is skipped: the run goes on regardless.
    for (const QString& ticker : tickers) {
        try {
            db_->exec(QStringLiteral("INSERT INTO nietgelukt (ticker) VALUES (?)"), {ticker});
        } catch (const AppError&) {
        }
    }
}

int clsData::nameUnnamed(const QVector<QPair<QString, QString>>& names)
{
    int named = 0;
    step([&] {
        named = 0;
        std::optional<Transaction> t;
        if (!db_->inTransaction())
            t.emplace(*db_);
        for (const auto& [ticker, name] : names) {
            const QString clean = name.trimmed();
            if (ticker.isEmpty() || clean.isEmpty() || clean.compare(ticker, Qt::CaseInsensitive) == 0)
                continue;
            named += db_->exec(QStringLiteral("UPDATE fondsen SET naamyahoo = ? WHERE codeyahoo = ? AND "
                                              "(naamyahoo IS NULL OR naamyahoo = '' OR naamyahoo = codeyahoo) AND "
                                              "(typeyahoo IS NULL OR typeyahoo = 'Unknown')"),
                               {storedText(clean), ticker});
        }
        if (t)
            t->commit();
    });
    return named;
}

void clsData::markOnce(const char* table, const QString& ticker)
{
    int changed = 0;
    const QString name = QLatin1String(table);
    if (!step([&] {
            changed = db_->exec(QStringLiteral("UPDATE %1 SET codeyahoo = ? WHERE codeyahoo = ?").arg(name),
                                {ticker, ticker});
        }))
        return;
    if (changed == 0)
        step([&] { db_->exec(QStringLiteral("INSERT INTO %1 (codeyahoo) VALUES (?)").arg(name), {ticker}); });
}

void clsData::voegvervallentoe(const QString& ticker) { markOnce("vervallen", ticker); }

void clsData::voegverWorpentoe(const QString& ticker) { markOnce("verworpen", ticker); }

void clsData::leeghistory()
{
    if (!step([&] { db_->exec(QStringLiteral("DELETE FROM history")); }))
        return;
    // A fresh connection, as after any large delete.
    step([&] {
        db_.reset();
        db_ = Database::openDefault();
    });
}

// A failed attempt that starts at most ten days after the end of an earlier
// failed range of the symbol extends that range.
bool clsData::historyFailureMerged()
{
    Statement st = db_->prepare(QStringLiteral("SELECT rowid, einddatum FROM history WHERE nietgelukt = 1 AND ticker = "
                                               "? AND einddatum > ? ORDER BY rowid LIMIT 1"));
    st.bindAll({historyticker, historystartdate.addDays(-10)});
    if (!st.next())
        return false;
    const qint64 row = st.integer(0);
    // Never shorten a recorded range: a later end already there stays.
    const QDate end = std::max(QDate::fromString(st.text(1), Qt::ISODate), historyenddate);
    db_->exec(QStringLiteral("UPDATE history SET einddatum = ? WHERE rowid = ?"), {end, row});
    return true;
}

// A success that meets an earlier successful range of the symbol extends it
// (or, when it lies before that range, is left out); true when no new row is
// needed. Otherwise a failed range that the success follows is cut back.
bool clsData::historySuccessMerged()
{
    const QDate s = historystartdate;
    const QDate e = historyenddate;
    {
        Statement st = db_->prepare(QStringLiteral("SELECT rowid, startdatum, einddatum FROM history WHERE gelukt = 1 "
                                                   "AND ticker = ? AND einddatum > ? ORDER BY rowid LIMIT 1"));
        st.bindAll({historyticker, s.addDays(-10)});
        if (st.next()) {
            const qint64 row = st.integer(0);
            const QDate start = QDate::fromString(st.text(1), Qt::ISODate);
            if (st.isNull(1) || start <= s) {
                const QDate end = std::max(QDate::fromString(st.text(2), Qt::ISODate), e);
                db_->exec(QStringLiteral("UPDATE history SET einddatum = ? WHERE rowid = ?"), {end, row});
            }
            return true;
        }
    }
    const int reach = historyticker.contains(QLatin1Char('.')) ? 200 : 3000;
    Statement st = db_->prepare(QStringLiteral("SELECT rowid, startdatum, einddatum FROM history WHERE nietgelukt = 1 "
                                               "AND ticker = ? AND einddatum > ? ORDER BY rowid LIMIT 1"));
    st.bindAll({historyticker, s.addDays(-reach)});
    if (!st.next())
        return false;
    const qint64 row = st.integer(0);
    const QString start = st.text(1);
    const QDate end = QDate::fromString(st.text(2), Qt::ISODate);
    if (s == e && start == st.text(2))
        db_->exec(QStringLiteral("DELETE FROM history WHERE rowid = ?"), {row});
    else if (s > end)
        db_->exec(QStringLiteral("UPDATE history SET einddatum = ? WHERE rowid = ?"), {s.addDays(-1), row});
    return false;
}

void clsData::insertHistory()
{
    db_->exec(QStringLiteral("INSERT INTO history (ticker, naam, startdatum, einddatum, gelukt, nietgelukt, timeout) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?)"),
              {historyticker, storedText(historynaam), historystartdate, historyenddate, historygelukt ? 1 : 0,
               historymislukt ? 1 : 0, historytimeout ? 1 : 0});
}

void clsData::writehistory()
{
    const QDate s = historystartdate;
    if (!s.isValid() || !historyenddate.isValid())
        return;
    if (s == historyenddate && s.dayOfWeek() >= Qt::Saturday)
        return;
    // A failed attempt is recorded on a best-effort basis: its errors are
    // not worth interrupting a download for.
    const bool quiet = historymislukt;
    auto run = [&](const std::function<void()>& statement) {
        if (!quiet)
            return step(statement);
        try {
            statement();
        } catch (const AppError&) {
        }
        return true;
    };
    if (historymislukt) {
        bool merged = false;
        run([&] { merged = historyFailureMerged(); });
        if (merged)
            return;
    }
    if (historygelukt) {
        bool merged = false;
        if (!run([&] { merged = historySuccessMerged(); }) || merged)
            return;
    }
    run([&] { insertHistory(); });
}
