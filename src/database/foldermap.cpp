#include "database/foldermap.h"

namespace foldermap {
namespace {
const QString kInsert = QStringLiteral("INSERT INTO metastock (ticker, map) VALUES (?, ?)");
}

void clear(Database& db, const QStringList& keptFolders)
{
    // A kept row names the folder itself or a file right in it.
    QString sql = QStringLiteral("DELETE FROM metastock");
    QStringList kept;
    for (int i = 0; i < keptFolders.size(); ++i)
        kept << QStringLiteral("(substr(map, 1, length(?%1)) = ?%1 AND instr(substr(map, length(?%1) + 1), '/') = 0)")
                    .arg(i + 1);
    if (!kept.isEmpty())
        sql += QStringLiteral(" WHERE NOT (") + kept.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    Statement del = db.prepare(sql);
    for (int i = 0; i < keptFolders.size(); ++i)
        del.bind(i + 1, keptFolders[i]);
    del.run();
    db.exec(QStringLiteral("DELETE FROM mappen"));
}

QString folder(Database& db, const QString& ticker)
{
    const QVariant map = db.scalar(QStringLiteral("SELECT map FROM metastock WHERE ticker = ?"), {ticker});
    return map.isValid() && !map.isNull() ? map.toString() : QString();
}

QVector<QPair<QString, QString>> rows(Database& db)
{
    QVector<QPair<QString, QString>> out;
    Statement st = db.prepare(QStringLiteral("SELECT ticker, map FROM metastock"));
    while (st.next())
        out.append({st.text(0), st.text(1)});
    return out;
}

QStringList tickersStartingWith(Database& db, const QString& prefix)
{
    QStringList out;
    Statement st = db.prepare(
        QStringLiteral("SELECT ticker FROM metastock WHERE substr(ticker, 1, length(?1)) = ?1 COLLATE NOCASE"));
    st.bind(1, prefix);
    while (st.next())
        out << st.text(0);
    return out;
}

void rename(Database& db, const QString& from, const QString& to)
{
    db.exec(QStringLiteral("UPDATE metastock SET ticker = ? WHERE ticker = ?"), {to, from});
}

void add(Database& db, const QString& ticker, const QString& folder) { db.exec(kInsert, {ticker, folder}); }

Filler::Filler(Database& db)
    : drop_(db.prepare(QStringLiteral("DELETE FROM metastock WHERE ticker = ?"))), insert_(db.prepare(kInsert))
{
}

void Filler::place(const QString& ticker, const QString& folder, bool replace)
{
    if (replace) {
        drop_.bind(1, ticker);
        drop_.run();
        drop_.reset();
    }
    insert_.bind(1, ticker).bind(2, folder);
    insert_.run();
    insert_.reset();
}

}  // namespace foldermap
