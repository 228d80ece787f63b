#include "tablecolumns.h"
#include "testutil.h"

#include "database/db.h"
#include "database/schema.h"
#include "database/settingsrow.h"
#include "database/startup.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <sqlcipher/sqlite3.h>

namespace {

// A database as an old installation has it: no upgrade columns, no
// metastock or verworpen table, settings columns Null.
void makeOldDatabase()
{
    Database db(paths::databaseFile(), Database::Mode::CreateIfMissing);
    schema::createTables(db);
}
}  // namespace

class StartupTest : public QuotarisTest {};

TEST_F(StartupTest, FirstStartCreatesAnEncryptedDatabaseWithEveryTable)
{
    const StartupResult r = runStartup();
    EXPECT_TRUE(r.opened);
    EXPECT_TRUE(r.created);
    EXPECT_TRUE(msgs.shown.isEmpty()) << qPrintable(msgs.texts().join(QLatin1Char('|')));
    EXPECT_EQ(msgs.busyDepth, 0);

    // Not readable as a plain SQLite file.
    EXPECT_FALSE(readAll(paths::databaseFile()).startsWith("SQLite format 3"));

    Database db(paths::databaseFile());
    for (const char* table : {"globaal", "markt", "fondsen", "newticker", "newmarket", "newname", "newtype",
                              "newtickers", "nietgelukt", "vervallen", "verworpen", "history", "metastock", "mappen"})
        EXPECT_FALSE(columnsOf(db, QLatin1String(table)).isEmpty()) << table;
    // The settings row's columns in the order every earlier file has them:
    // the first version's, then those the upgrade adds.
    EXPECT_EQ(columnsOf(db, QStringLiteral("globaal")).join(QLatin1Char(' ')),
              QStringLiteral("excel metastock prn stockguru h1 h2 h3 h5 selectamibroker selectmetastock "
                             "selectstockguru selectprn selectexcel select1 select2 select3 select4 select5 select6 "
                             "select7 select8 select9 lijst teller2 teller3 teller4 teller5 select10 select11 "
                             "select12 select13 select14 h6 h7 h8 h9 h10 h11 h12"));
    EXPECT_EQ(columnsOf(db, QStringLiteral("history")),
              QStringList({"ticker", "naam", "startdatum", "einddatum", "gelukt", "nietgelukt", "timeout"}));
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM globaal")).toInt(), 1);
    EXPECT_EQ(settingsrow::read(db, QStringLiteral("h11")).toString(), QStringLiteral("0"));
    EXPECT_EQ(settingsrow::read(db, QStringLiteral("h12")).toString(), QStringLiteral("PRN"));
    EXPECT_EQ(settingsrow::read(db, QStringLiteral("excel")).toString(), home());

    // A second start is no first start and shows nothing either.
    resetProcessState();
    EXPECT_FALSE(runStartup().created);
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(StartupTest, OldDatabaseIsUpgradedAndNullSettingsGetDefaults)
{
    makeOldDatabase();
    {
        Database db(paths::databaseFile());
        EXPECT_FALSE(columnsOf(db, QStringLiteral("globaal")).contains(QStringLiteral("h12")));
    }
    const StartupResult r = runStartup();
    EXPECT_TRUE(r.opened);
    EXPECT_FALSE(r.created);
    EXPECT_TRUE(msgs.shown.isEmpty()) << qPrintable(msgs.texts().join(QLatin1Char('|')));

    const ProgramSettings& s = settings();
    EXPECT_EQ(s.lijst, 1);
    EXPECT_EQ(s.teller2, 10);
    EXPECT_EQ(s.teller3, 5);
    EXPECT_EQ(s.teller4, 0);
    EXPECT_EQ(s.teller5, 1);
    EXPECT_EQ(s.format('P').value("h11"), QStringLiteral("0"));
    EXPECT_EQ(s.format('P').value("h12"), QStringLiteral("PRN"));
    EXPECT_EQ(s.format('E').folder, home());
    EXPECT_FALSE(s.format('E').on);
    EXPECT_EQ(s.listNames[1], QString());  // a list has a name once the user gives it one
    EXPECT_EQ(s.listNames[2], QString());
    EXPECT_TRUE(s.isdelay);
    EXPECT_EQ(s.intervalDownload, 1500);
    EXPECT_EQ(s.metaversion, 2000);

    Database db(paths::databaseFile());
    const QStringList globaal = columnsOf(db, QStringLiteral("globaal"));
    for (const char* column :
         {"select10", "select11", "select12", "select13", "select14", "h6", "h7", "h8", "h9", "h10", "h11", "h12"})
        EXPECT_TRUE(globaal.contains(QLatin1String(column))) << column;
    EXPECT_EQ(settingsrow::read(db, QStringLiteral("h11")).toString(), QStringLiteral("0"));
    EXPECT_EQ(settingsrow::read(db, QStringLiteral("h12")).toString(), QStringLiteral("PRN"));
    // No first-start probe on an installed database.
    EXPECT_TRUE(settingsrow::read(db, QStringLiteral("selectstockguru")).isNull());
}

TEST_F(StartupTest, StoredSettingsAreLoaded)
{
    runStartup();
    {
        Database db(paths::databaseFile());
        const QString quotes = path(QStringLiteral("quotes/"));
        QDir().mkpath(quotes);
        settingsrow::write(db, {{QStringLiteral("h1"), QStringLiteral("  ") + quotes + QStringLiteral("  ")},
                                {QStringLiteral("select1"), 1},
                                {QStringLiteral("select12"), 1},
                                {QStringLiteral("lijst"), 7},
                                {QStringLiteral("teller3"), 2},
                                {QStringLiteral("h12"), QStringLiteral("CSV")}});
        db.exec(QStringLiteral("INSERT INTO metastock (ticker, map) VALUES ('IBM', '/x/')"));
    }
    store::write(QStringLiteral("list2"), QStringLiteral("  Dutch shares "));
    store::write(QStringLiteral("Isdelay"), QStringLiteral("False"));
    store::write(QStringLiteral("Intervaldownload"), QStringLiteral("2500"));
    store::write(QStringLiteral("metaversion"), QStringLiteral("6000"));
    store::write(QStringLiteral("TList4"), QStringLiteral("9:30:00"));
    store::write(QStringLiteral("DList4"), QStringLiteral("True"));
    store::write(QStringLiteral("server"), QStringLiteral("E"));
    store::write(QStringLiteral("reject"), QStringLiteral("False"));
    store::write(QStringLiteral("quotehost"), QStringLiteral("127.0.0.1:8123"));

    resetProcessState();
    ASSERT_TRUE(runStartup().opened);
    const ProgramSettings& s = settings();
    EXPECT_EQ(s.format('C').folder, path(QStringLiteral("quotes/")));
    EXPECT_TRUE(s.format('C').on);
    EXPECT_TRUE(s.format('D').on);
    EXPECT_FALSE(s.format('K').on);
    EXPECT_EQ(s.lijst, 7);
    EXPECT_EQ(s.teller3, 2);
    EXPECT_EQ(s.format('P').value("h12"), QStringLiteral("CSV"));
    EXPECT_EQ(s.listNames[2], QStringLiteral("Dutch shares"));
    EXPECT_FALSE(s.isdelay);
    EXPECT_EQ(s.intervalDownload, 2500);
    EXPECT_EQ(s.metaversion, 6000);
    EXPECT_EQ(s.tList[4], QTime(9, 30));
    EXPECT_EQ(s.eList[4], QTime(9, 30));  // the end time defaults to the start time
    EXPECT_TRUE(s.dList[4]);
    EXPECT_FALSE(s.dList[5]);
    EXPECT_EQ(s.server, QLatin1Char('E'));
    EXPECT_FALSE(s.reject);
    EXPECT_EQ(s.quoteHost, QStringLiteral("127.0.0.1:8123"));
    EXPECT_EQ(s.chartHost, QStringLiteral("live"));

    // The folder map starts empty in every process.
    Database db(paths::databaseFile());
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM metastock")).toInt(), 0);
}

TEST_F(StartupTest, GarbageSettingsGiveDefaults)
{
    runStartup();
    {
        Database db(paths::databaseFile());
        settingsrow::write(db, {{QStringLiteral("lijst"), QStringLiteral("many")},
                                {QStringLiteral("teller2"), QStringLiteral("ten")},
                                {QStringLiteral("teller3"), 99999},
                                {QStringLiteral("selectprn"), QStringLiteral("perhaps")}});
    }
    store::write(QStringLiteral("Isdelay"), QStringLiteral("sometimes"));
    store::write(QStringLiteral("IntervalDownload"), QStringLiteral("soon"));
    store::write(QStringLiteral("Metaversion"), QStringLiteral("-5"));
    store::write(QStringLiteral("split"), QStringLiteral("x"));
    store::write(QStringLiteral("TList1"), QStringLiteral("25:99"));
    store::write(QStringLiteral("IList1"), QStringLiteral("later"));

    resetProcessState();
    ASSERT_TRUE(runStartup().opened);
    const ProgramSettings& s = settings();
    EXPECT_EQ(s.lijst, 1);
    EXPECT_EQ(s.teller2, 10);
    EXPECT_EQ(s.teller3, 5);
    EXPECT_FALSE(s.format('P').on);
    EXPECT_TRUE(s.isdelay);
    EXPECT_EQ(s.intervalDownload, 1500);
    EXPECT_EQ(s.metaversion, 2000);
    EXPECT_EQ(s.split, 0);
    EXPECT_TRUE(s.tList[1].isValid());
    EXPECT_EQ(s.iList[1], QTime(0, 0));
}

// A folder that is gone for a while (a disk not mounted) keeps its setting:
// start-up changes no folder and asks nothing.
TEST_F(StartupTest, AFolderThatIsGoneKeepsItsSetting)
{
    runStartup();
    const QString gone = path(QStringLiteral("gone/"));
    {
        Database db(paths::databaseFile());
        settingsrow::write(db, {{QStringLiteral("h2"), gone}});
    }
    resetProcessState();
    runStartup();
    EXPECT_EQ(settings().format('K').folder, gone);
    EXPECT_TRUE(msgs.shown.isEmpty());
    Database db(paths::databaseFile());
    EXPECT_EQ(settingsrow::read(db, QStringLiteral("h2")).toString(), gone);
}

// Every column of the row comes back under its own name, in the order the
// info command prints it, before the settings store's entries.
TEST_F(StartupTest, InfoListsEveryRowSettingInOrderWithItsStoredValue)
{
    runStartup();
    // What goes into each column, and the line the listing shows for it.
    settingsrow::Columns columns;
    QVector<QPair<QString, QString>> expected;
    auto column = [&](const QString& name, const QVariant& stored, const QString& shown) {
        columns.append({name, stored});
        expected.append({name, shown});
    };
    for (const char* name : {"excel", "metastock", "prn", "stockguru", "h1", "h2", "h3", "h5", "h7", "h8"}) {
        const QString folder = path(QStringLiteral("f/") + QLatin1String(name) + QLatin1Char('/'));
        QDir().mkpath(folder);
        column(QLatin1String(name), folder, folder);
    }
    column("h11", "1", "1");
    column("h12", "TXT", "TXT");
    // Every other switch on, the first one off.
    int i = 0;
    for (const char* name : {"selectamibroker", "selectmetastock", "selectstockguru", "selectprn", "select1", "select2",
                             "selectexcel", "select7", "select8", "select12", "select3", "select5", "select6",
                             "select13", "select4", "select9", "select10", "select11"}) {
        const bool on = i++ % 2;
        column(QLatin1String(name), on ? 1 : 0, on ? "True" : "False");
    }
    column("lijst", 9, "9");
    column("teller2", 20, "20");
    column("teller3", 4, "4");
    column("teller4", 1, "1");
    column("teller5", 0, "0");
    {
        Database db(paths::databaseFile());
        settingsrow::write(db, columns);
    }
    resetProcessState();
    ASSERT_TRUE(runStartup().opened);
    EXPECT_TRUE(msgs.shown.isEmpty()) << qPrintable(msgs.texts().join(QLatin1Char('|')));

    expected.append({QStringLiteral("server"), QStringLiteral("U")});
    EXPECT_EQ(settingsrow::describe().mid(0, expected.size()), expected);

    const ProgramSettings& s = settings();
    EXPECT_EQ(s.h7, path("f/h7/"));
    EXPECT_EQ(s.format('P').value("h11"), QStringLiteral("1"));
    EXPECT_FALSE(s.format('A').on);
    EXPECT_TRUE(s.format('D').on);
    EXPECT_FALSE(s.format('S').longNames);
    EXPECT_TRUE(s.format('D').longNames);
    EXPECT_TRUE(s.select11);
    EXPECT_EQ(s.lijst, 9);
    EXPECT_EQ(s.teller4, 1);
}

TEST_F(StartupTest, FirstStartFindsStockguru)
{
    QDir().mkpath(home() + QStringLiteral("stockguru/stocks"));
    runStartup();
    EXPECT_TRUE(settings().format('S').on);
    EXPECT_EQ(settings().format('S').folder, home() + QStringLiteral("stockguru/stocks/"));
}

// Files that are not our database: each gives "unable to open database",
// leaves the built-in defaults, and the file exactly as it was.
TEST_F(StartupTest, UnusableFilesAreReportedAndLeftAlone)
{
    QByteArray valid;
    {
        runStartup();
        valid = readAll(paths::databaseFile());
    }
    QByteArray garbage(8192, '\0');
    for (char& c : garbage)
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    // A small SQLite file, plain or keyed with another password.
    auto sqliteFile = [this](const char* name, const QByteArray& key) {
        const QString file = path(QLatin1String(name));
        sqlite3* h = nullptr;
        sqlite3_open(file.toUtf8().constData(), &h);
        if (!key.isEmpty())
            sqlite3_key(h, key.constData(), static_cast<int>(key.size()));
        sqlite3_exec(h, "CREATE TABLE globaal (x); INSERT INTO globaal VALUES (1);", nullptr, nullptr, nullptr);
        sqlite3_close(h);
        return readAll(file);
    };
    const QList<QPair<const char*, QByteArray>> cases = {
        {"zero bytes", QByteArray()},
        {"garbage", garbage},
        {"truncated", valid.left(valid.size() / 2 + 100)},
        {"plain sqlite", sqliteFile("plain.db", {})},
        {"other password", sqliteFile("other.db", "other")},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        writeFile(paths::databaseFile(), bytes);
        resetProcessState();
        msgs.shown.clear();
        const StartupResult r = runStartup();
        EXPECT_FALSE(r.opened);
        ASSERT_EQ(msgs.shown.size(), 1);
        EXPECT_EQ(msgs.shown[0].text, QStringLiteral("unable to open database"));
        EXPECT_EQ(msgs.shown[0].title, QString());
        EXPECT_EQ(readAll(paths::databaseFile()), bytes);
        EXPECT_FALSE(QFile::exists(paths::databaseFile() + QStringLiteral("-journal")));
        EXPECT_EQ(settings().teller2, 10);
        EXPECT_EQ(settings().lijst, 1);
        EXPECT_EQ(msgs.busyDepth, 0);
    }
}

TEST_F(StartupTest, SaveCurrentListAndOptions)
{
    runStartup();
    settings().lijst = 12;
    settingsrow::saveCurrentList();
    settings().teller2 = 30;
    settings().teller3 = 2;
    settings().teller4 = 1;
    settings().teller5 = 0;
    settings().split = 1;
    settings().dcurrent = 1;
    {
        Database db(paths::databaseFile());
        settingsrow::saveOptions(db);
    }
    resetProcessState();
    runStartup();
    EXPECT_EQ(settings().lijst, 12);
    EXPECT_EQ(settings().teller2, 30);
    EXPECT_EQ(settings().teller3, 2);
    EXPECT_EQ(settings().teller4, 1);
    EXPECT_EQ(settings().teller5, 0);
    EXPECT_EQ(settings().split, 1);
    EXPECT_EQ(settings().dcurrent, 1);
}

TEST_F(StartupTest, DatabaseWithoutFindingsTableGetsIt)
{
    makeOldDatabase();
    {
        Database db(paths::databaseFile());
        db.exec(QStringLiteral("DROP TABLE findings"));
    }
    ASSERT_TRUE(runStartup().opened);
    EXPECT_TRUE(msgs.shown.isEmpty()) << qPrintable(msgs.texts().join(QLatin1Char('|')));
    Database db(paths::databaseFile());
    EXPECT_EQ(columnsOf(db, QStringLiteral("findings")), QStringList({"ticker", "datum", "kind", "seen", "done"}));
}
