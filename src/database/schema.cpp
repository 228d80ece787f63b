#include "database/schema.h"

#include "database/db.h"
#include "database/settingstable.h"

namespace schema {
namespace {
QString listColumns()
{
    QStringList columns;
    for (int n = 1; n <= 16; ++n)
        columns << QStringLiteral("list%1 INTEGER NOT NULL DEFAULT 0").arg(n);
    return columns.join(QStringLiteral(", "));
}

// The settings row's columns of the oldest supported version.
QString settingsColumns()
{
    QStringList columns;
    for (const settingstable::Column& c : settingstable::inSchemaOrder()) {
        if (!c.upgrade)
            columns << QLatin1String(c.name) + QLatin1Char(' ') + c.sqlType();
    }
    return columns.join(QStringLiteral(", "));
}

QString checkTable(const char* name)
{
    return QStringLiteral("CREATE TABLE %1 (marktid INTEGER, codeyahoo TEXT COLLATE NOCASE, "
                          "naamyahoo TEXT, typeyahoo TEXT)")
        .arg(QLatin1String(name));
}
// What the integrity check found in the quotes of the latest run.
QString findingsTable()
{
    return QStringLiteral(
        "CREATE TABLE findings (ticker TEXT COLLATE NOCASE, datum TEXT, kind TEXT, seen TEXT, done TEXT)");
}

QString findingsIndex() { return QStringLiteral("CREATE INDEX findings_ticker ON findings (ticker)"); }
}  // namespace

void createTables(Database& db)
{
    Transaction t(db);
    // Tickers and market names compare without regard to case, as users type
    // them either way.
    db.exec(QStringLiteral("CREATE TABLE globaal (") + settingsColumns() + QStringLiteral(")"));
    db.exec(QStringLiteral("INSERT INTO globaal (lijst) VALUES (NULL)"));
    db.exec(QStringLiteral("CREATE TABLE markt (id INTEGER PRIMARY KEY AUTOINCREMENT, Market TEXT COLLATE NOCASE)"));
    db.exec(QStringLiteral("CREATE INDEX markt_market ON markt (Market)"));
    db.exec(QStringLiteral("CREATE TABLE fondsen (marktid INTEGER, codeyahoo TEXT COLLATE NOCASE NOT NULL, "
                           "naamyahoo TEXT, typeyahoo TEXT, ") +
            listColumns() + QStringLiteral(")"));
    db.exec(QStringLiteral("CREATE UNIQUE INDEX fondsen_codeyahoo ON fondsen (codeyahoo)"));
    for (const char* name : {"newticker", "newmarket", "newname", "newtype"})
        db.exec(checkTable(name));
    db.exec(QStringLiteral("CREATE TABLE newtickers (oldticker TEXT COLLATE NOCASE, newticker TEXT COLLATE NOCASE)"));
    db.exec(QStringLiteral("CREATE TABLE nietgelukt (ticker TEXT COLLATE NOCASE)"));
    db.exec(QStringLiteral("CREATE TABLE vervallen (codeyahoo TEXT COLLATE NOCASE)"));
    db.exec(QStringLiteral("CREATE TABLE history (ticker TEXT COLLATE NOCASE, naam TEXT, startdatum TEXT, "
                           "einddatum TEXT, gelukt INTEGER, nietgelukt INTEGER, timeout INTEGER)"));
    db.exec(QStringLiteral("CREATE INDEX history_ticker ON history (ticker)"));
    db.exec(QStringLiteral("CREATE TABLE mappen (map TEXT)"));
    db.exec(findingsTable());
    db.exec(findingsIndex());
    t.commit();
}

QStringList upgradeStatements()
{
    QStringList statements;
    for (const settingstable::Column& c : settingstable::inSchemaOrder()) {
        if (c.upgrade)
            statements
                << QStringLiteral("ALTER TABLE globaal ADD COLUMN %1 %2;").arg(QLatin1String(c.name), c.sqlType());
    }
    statements << QStringLiteral("DROP TABLE metastock;")
               << QStringLiteral("CREATE TABLE metastock (ticker VARCHAR(75) COLLATE NOCASE, map TEXT);")
               << QStringLiteral("CREATE INDEX ID1 ON metastock (ticker);")
               << QStringLiteral("CREATE TABLE verworpen (codeyahoo VARCHAR(25) COLLATE NOCASE);") << findingsTable()
               << findingsIndex();
    return statements;
}

}  // namespace schema
