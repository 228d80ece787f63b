#include "database/schema.h"

#include "database/db.h"

namespace schema {
namespace {
QString listColumns()
{
    QStringList columns;
    for (int n = 1; n <= 16; ++n)
        columns << QStringLiteral("list%1 INTEGER NOT NULL DEFAULT 0").arg(n);
    return columns.join(QStringLiteral(", "));
}

QString checkTable(const char* name)
{
    return QStringLiteral("CREATE TABLE %1 (marktid INTEGER, codeyahoo TEXT COLLATE NOCASE, "
                          "naamyahoo TEXT, typeyahoo TEXT)")
        .arg(QLatin1String(name));
}
}  // namespace

void createTables(Database& db)
{
    Transaction t(db);
    // Tickers and market names compare without regard to case, as users type
    // them either way.
    db.exec(QStringLiteral(
        "CREATE TABLE globaal (excel TEXT, metastock TEXT, prn TEXT, stockguru TEXT, "
        "h1 TEXT, h2 TEXT, h3 TEXT, h5 TEXT, "
        "selectamibroker INTEGER, selectmetastock INTEGER, selectstockguru INTEGER, "
        "selectprn INTEGER, selectexcel INTEGER, select1 INTEGER, select2 INTEGER, "
        "select3 INTEGER, select4 INTEGER, select5 INTEGER, select6 INTEGER, "
        "select7 INTEGER, select8 INTEGER, select9 INTEGER, "
        "lijst INTEGER, teller2 INTEGER, teller3 INTEGER, teller4 INTEGER, teller5 INTEGER)"));
    db.exec(QStringLiteral("INSERT INTO globaal (lijst) VALUES (NULL)"));
    db.exec(QStringLiteral(
        "CREATE TABLE markt (id INTEGER PRIMARY KEY AUTOINCREMENT, Market TEXT COLLATE NOCASE)"));
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
    t.commit();
}

QStringList upgradeStatements()
{
    QStringList statements;
    for (int n = 10; n <= 14; ++n)
        statements << QStringLiteral("ALTER TABLE globaal ADD COLUMN select%1 INTEGER;").arg(n);
    for (int n = 6; n <= 12; ++n)
        statements << QStringLiteral("ALTER TABLE globaal ADD COLUMN h%1 VARCHAR(200);").arg(n);
    statements << QStringLiteral("DROP TABLE metastock;")
               << QStringLiteral("CREATE TABLE metastock (ticker VARCHAR(75) COLLATE NOCASE, map TEXT);")
               << QStringLiteral("CREATE INDEX ID1 ON metastock (ticker);")
               << QStringLiteral("CREATE TABLE verworpen (codeyahoo VARCHAR(25) COLLATE NOCASE);");
    return statements;
}

}  // namespace schema
