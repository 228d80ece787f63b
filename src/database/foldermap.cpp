#include "database/foldermap.h"

namespace foldermap {
namespace {
const QString kInsert = QStringLiteral("INSERT INTO metastock (ticker, map) VALUES (?, ?)");
}

void clear(Database& db, const QStringList& keptFolders)
{
    QString sql = QStringLiteral("DELETE FROM metastock");
    if (!keptFolders.isEmpty()) {
        const QStringList marks(keptFolders.size(), QStringLiteral("?"));
        sql += QStringLiteral(" WHERE map NOT IN (") + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    }
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

void add(Database& db, const QString& ticker, const QString& folder)
{
    db.exec(kInsert, {ticker, folder});
}

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
