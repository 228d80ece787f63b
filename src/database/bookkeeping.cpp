#include "database/bookkeeping.h"

#include "database/db.h"

namespace bookkeeping {
namespace {

QStringList firstColumn(Database& db, const QString& sql)
{
    QStringList values;
    Statement st = db.prepare(sql);
    while (st.next())
        values << st.text(0);
    return values;
}

QDate isoDate(const QString& text) { return QDate::fromString(text, Qt::ISODate); }

const char* flagColumn(HistoryOutcome outcome)
{
    switch (outcome) {
    case HistoryOutcome::Downloaded:
        return "gelukt";
    case HistoryOutcome::NotDownloaded:
        return "nietgelukt";
    case HistoryOutcome::TimedOut:
        return "timeout";
    }
    return "gelukt";
}

}  // namespace

QStringList failedTickers(Database& db)
{
    return firstColumn(db, QStringLiteral("SELECT ticker FROM nietgelukt ORDER BY ticker"));
}

QStringList droppedTickers(Database& db)
{
    return firstColumn(db, QStringLiteral("SELECT codeyahoo FROM vervallen ORDER BY codeyahoo"));
}

QStringList droppedTickersAsRecorded(Database& db)
{
    return firstColumn(db, QStringLiteral("SELECT codeyahoo FROM vervallen ORDER BY rowid"));
}

QStringList rejectedTickers(Database& db)
{
    return firstColumn(db, QStringLiteral("SELECT codeyahoo FROM verworpen ORDER BY codeyahoo"));
}

QVector<TickerChange> tickerChanges(Database& db)
{
    QVector<TickerChange> changes;
    Statement st = db.prepare(QStringLiteral("SELECT oldticker, newticker FROM newtickers ORDER BY oldticker"));
    while (st.next())
        changes.push_back({st.text(0), st.text(1)});
    return changes;
}

QString FindingRow::line() const
{
    return ticker + QLatin1Char(' ') + date.toString(Qt::ISODate) + QLatin1Char(' ') + kind + QStringLiteral(": ") +
           seen + QStringLiteral("; ") + done;
}

QVector<FindingRow> findings(Database& db)
{
    QVector<FindingRow> rows;
    Statement st = db.prepare(
        QStringLiteral("SELECT ticker, datum, kind, seen, done FROM findings ORDER BY ticker, datum, rowid"));
    while (st.next())
        rows.push_back({st.text(0), isoDate(st.text(1)), st.text(2), st.text(3), st.text(4)});
    return rows;
}

QVector<HistoryRow> historyRanges(Database& db, HistoryOutcome outcome)
{
    QVector<HistoryRow> rows;
    Statement st = db.prepare(QStringLiteral("SELECT ticker, startdatum, einddatum FROM history WHERE %1 = 1 "
                                             "ORDER BY rowid")
                                  .arg(QLatin1String(flagColumn(outcome))));
    while (st.next())
        rows.push_back({st.text(0), QString(), isoDate(st.text(1)), isoDate(st.text(2))});
    return rows;
}

QVector<HistoryRow> unsuccessfulHistory(Database& db)
{
    QVector<HistoryRow> rows;
    Statement st = db.prepare(QStringLiteral(
        "SELECT ticker, naam, startdatum, einddatum, timeout FROM history WHERE gelukt = 0 ORDER BY rowid"));
    while (st.next())
        rows.push_back({st.text(0), st.text(1), isoDate(st.text(2)), isoDate(st.text(3)), st.integer(4) != 0});
    return rows;
}

int unsuccessfulHistoryCount(Database& db)
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM history WHERE gelukt = 0")).toInt();
}

QVector<QDate> findingDates(Database& db, const QString& ticker)
{
    const QVariant table =
        db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'findings'"));
    if (table.toInt() == 0)
        return {};
    QVector<QDate> dates;
    Statement st = db.prepare(QStringLiteral("SELECT DISTINCT datum FROM findings WHERE ticker = ? ORDER BY datum"));
    st.bind(1, ticker);
    while (st.next()) {
        const QDate d = isoDate(st.text(0));
        if (d.isValid())
            dates.append(d);
    }
    return dates;
}

}  // namespace bookkeeping
