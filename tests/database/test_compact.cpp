#include "databasetest.h"

#include "database/compact.h"
#include "database/db.h"
#include "support/paths.h"

#include <QFile>
#include <QFileInfo>

namespace {
// Every row of fondsen in a stable order, as text.
QStringList symbolRows(Database& db)
{
    QStringList rows;
    Statement st = db.prepare(
        QStringLiteral("SELECT codeyahoo, naamyahoo, typeyahoo, list1, list7 FROM fondsen ORDER BY codeyahoo"));
    while (st.next())
        rows << QStringLiteral("%1|%2|%3|%4|%5").arg(st.text(0), st.text(1), st.text(2), st.text(3), st.text(4));
    return rows;
}
}  // namespace

class CompactTest : public DatabaseTest {
protected:
    // Adds `count` symbols, then deletes all but every fiftieth, leaving the
    // file full of free pages.
    void fillAndThinOut(int count)
    {
        Database db(paths::databaseFile());
        Transaction t(db);
        for (int i = 0; i < count; ++i)
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1, list7) "
                                   "VALUES (1, ?, ?, 'Stock', 1, ?)"),
                    {QStringLiteral("T%1.AS").arg(i), QStringLiteral("Naam \"%1\" – café").arg(i), i % 3 == 0 ? 1 : 0});
        db.exec(QStringLiteral(
            "DELETE FROM fondsen WHERE codeyahoo LIKE 'T%' AND CAST(substr(codeyahoo, 2) AS INTEGER) % 50 <> 0"));
        t.commit();
    }
};

TEST_F(CompactTest, ShrinksTheFileAndKeepsEveryRowUnderTheSameKey)
{
    data.reset();
    fillAndThinOut(20000);
    QStringList before;
    {
        Database db(paths::databaseFile());
        before = symbolRows(db);
    }
    ASSERT_GE(before.size(), 400);
    const qint64 sizeBefore = QFileInfo(paths::databaseFile()).size();

    ASSERT_TRUE(compaction::compactDatabase()) << qPrintable(msgs.texts().join(QLatin1Char('\n')));

    EXPECT_LT(QFileInfo(paths::databaseFile()).size(), sizeBefore / 4);
    EXPECT_FALSE(QFile::exists(compaction::targetFile()));
    Database db(paths::databaseFile());  // opens with the program's password
    EXPECT_EQ(symbolRows(db), before);
    EXPECT_EQ(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    // Still encrypted: the file does not start with the plain SQLite header.
    EXPECT_FALSE(readAll(paths::databaseFile()).startsWith("SQLite format 3"));
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(CompactTest, ALeftoverCopyOrADamagedDatabaseLeavesEverythingAsItWas)
{
    data.reset();
    const QByteArray database = readAll(paths::databaseFile());
    writeFile(compaction::targetFile(), "left from a compaction that was killed");

    EXPECT_FALSE(compaction::compactDatabase());
    ASSERT_EQ(msgs.shown.size(), 1);
    EXPECT_TRUE(msgs.shown[0].text.contains(compaction::targetFile()));
    EXPECT_EQ(msgs.shown[0].icon, Icon::Warning);
    EXPECT_EQ(readAll(paths::databaseFile()), database);
    EXPECT_EQ(readAll(compaction::targetFile()), QByteArray("left from a compaction that was killed"));

    // Once the leftover is gone, the compaction goes through.
    QFile::remove(compaction::targetFile());
    EXPECT_TRUE(compaction::compactDatabase()) << qPrintable(msgs.texts().join(QLatin1Char('\n')));

    // A damaged database: the engine's description, no copy left behind.
    msgs.shown.clear();
    writeFile(paths::databaseFile(), QByteArray(8192, 'x'));
    EXPECT_FALSE(compaction::compactDatabase());
    ASSERT_EQ(msgs.shown.size(), 1);
    EXPECT_FALSE(msgs.shown[0].text.isEmpty());
    EXPECT_EQ(readAll(paths::databaseFile()), QByteArray(8192, 'x'));
    EXPECT_FALSE(QFile::exists(compaction::targetFile()));
}

TEST_F(CompactTest, AMissingDatabaseIsNotCreated)
{
    data.reset();
    QFile::remove(paths::databaseFile());
    EXPECT_FALSE(compaction::compactDatabase());
    EXPECT_FALSE(QFile::exists(paths::databaseFile()));
    EXPECT_FALSE(QFile::exists(compaction::targetFile()));
    EXPECT_EQ(msgs.shown.size(), 1);
}
