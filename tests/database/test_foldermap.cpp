#include "databasetest.h"

#include "database/foldermap.h"

class FolderMapTest : public DatabaseTest {
protected:
    int rows(const char* table)
    {
        return data->db().scalar(QStringLiteral("SELECT count(*) FROM ") + QLatin1String(table)).toInt();
    }
};

TEST_F(FolderMapTest, ClearingKeepsOnlyTheRowsOfTheKeptFolders)
{
    Database& db = data->db();
    foldermap::add(db, QStringLiteral("A"), QStringLiteral("/ms/a/"));
    foldermap::add(db, QStringLiteral("B"), QStringLiteral("/ms/bad1/"));
    foldermap::add(db, QStringLiteral("C"), QStringLiteral("/ms/bad2/"));
    foldermap::add(db, QStringLiteral("D"), QStringLiteral("/ms/d/"));
    db.exec(QStringLiteral("INSERT INTO mappen (map) VALUES ('/ms/a/')"));

    foldermap::clear(db, {QStringLiteral("/ms/bad1/"), QStringLiteral("/ms/bad2/")});
    EXPECT_EQ(foldermap::folder(db, QStringLiteral("b")), QStringLiteral("/ms/bad1/"));
    EXPECT_EQ(foldermap::folder(db, QStringLiteral("C")), QStringLiteral("/ms/bad2/"));
    EXPECT_EQ(foldermap::folder(db, QStringLiteral("A")), QString());
    EXPECT_EQ(rows("metastock"), 2);
    EXPECT_EQ(rows("mappen"), 0);

    foldermap::clear(db);
    EXPECT_EQ(rows("metastock"), 0);
}

TEST_F(FolderMapTest, ReplacingATickerDropsItsRowsWhateverTheCase)
{
    Database& db = data->db();
    foldermap::Filler filler(db);
    filler.place(QStringLiteral("O'NEIL"), QStringLiteral("/ms/a/"), false);
    filler.place(QStringLiteral("X"), QStringLiteral("/ms/a/"), false);
    filler.place(QStringLiteral("o'neil"), QStringLiteral("/ms/b/"), true);
    EXPECT_EQ(foldermap::folder(db, QStringLiteral("O'Neil")), QStringLiteral("/ms/b/"));
    EXPECT_EQ(rows("metastock"), 2);
}
