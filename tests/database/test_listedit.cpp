#include "databasetest.h"

#include "database/db.h"
#include "database/listedit.h"
#include "database/lists.h"

using listedit::Column;

class ListEditTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        market = data->markt0();
        for (const char* t : {"AA", "BB", "CC", "DD"})
            data->addtodatabase2(QLatin1String(t), QStringLiteral("Name ") + QLatin1String(t), market,
                                 QStringLiteral("Stock"));
        listedit::addSelected({"AA", "BB", "CC"}, 2);
    }

    QStringList onList(int n)
    {
        QStringList t;
        for (const auto& r : lists::symbolsOfList(data->db(), n, listedit::listOrder(Column::Symbol)))
            t << r.ticker;
        return t;
    }

    int market = 0;
};

TEST_F(ListEditTest, MoveAndCopyBetweenLists)
{
    listedit::addSelected({"AA"}, 5);
    // Moving leaves the symbols on the target only; one already there stays once.
    EXPECT_TRUE(listedit::kopieernaarlijst({"AA", "BB"}, 5, true, 2));
    EXPECT_EQ(onList(2), QStringList({"CC"}));
    EXPECT_EQ(onList(5), QStringList({"AA", "BB"}));
    // Copying leaves them on both.
    EXPECT_TRUE(listedit::kopieernaarlijst({"CC"}, 7, false, 2));
    EXPECT_EQ(onList(2), QStringList({"CC"}));
    EXPECT_EQ(onList(7), QStringList({"CC"}));
    // Onto the list itself: nothing, in particular no move that empties it.
    EXPECT_FALSE(listedit::kopieernaarlijst({"CC"}, 2, true, 2));
    EXPECT_EQ(onList(2), QStringList({"CC"}));
    EXPECT_FALSE(listedit::kopieernaarlijst({"CC"}, 17, false, 2));
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(ListEditTest, RemovalsAnsweredNoChangeNothing)
{
    msgs.queue(Answer::No);
    EXPECT_FALSE(listedit::removeAll(2));
    msgs.queue(Answer::No);
    EXPECT_FALSE(listedit::removeFromDatabase({"AA", "BB"}));
    msgs.queue(Answer::No);
    EXPECT_FALSE(listedit::verwijdervandatabase({"CC"}));
    EXPECT_EQ(msgs.texts(), QStringList({"All symbols will be removed from list 2, are you sure?",
                                         "All selected symbols will be removed from the database\r\n" +
                                             QString(33, QLatin1Char(' ')) + "Are you sure?",
                                         "CC will be removed from database\r\n Are you sure?"}));
    EXPECT_EQ(onList(2), QStringList({"AA", "BB", "CC"}));
    EXPECT_EQ(data->db().scalar(QStringLiteral("SELECT count(*) FROM fondsen")).toInt(), 4);
}

TEST_F(ListEditTest, RemovalsAnsweredYes)
{
    listedit::addSelected({"AA"}, 9);
    EXPECT_TRUE(listedit::removeFromDatabase({"AA"}));
    EXPECT_EQ(msgs.texts().last(),
              "AA will be removed from the database\r\n" + QString(24, QLatin1Char(' ')) + "Are you sure?");
    EXPECT_TRUE(onList(9).isEmpty());
    EXPECT_TRUE(listedit::verwijdervandatabase({"BB", "DD"}));
    EXPECT_EQ(msgs.texts().last(), QStringLiteral("2 Symbols will be removed from database\r\n Are you sure?"));
    EXPECT_EQ(onList(2), QStringList({"CC"}));
    EXPECT_TRUE(listedit::removeSelected({"CC"}, 2));
    msgs.shown.clear();
    // An empty list is not asked about.
    EXPECT_FALSE(listedit::removeAll(2));
    EXPECT_TRUE(msgs.shown.isEmpty());
    EXPECT_FALSE(listedit::removeFromDatabase({}));
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(ListEditTest, AddAllOfAMarket)
{
    EXPECT_FALSE(listedit::addAll(0, 3));
    EXPECT_TRUE(onList(3).isEmpty());
    EXPECT_TRUE(listedit::addAll(market, 2));
    EXPECT_EQ(onList(2), QStringList({"AA", "BB", "CC", "DD"}));
    EXPECT_TRUE(listedit::removeAll(2));
    EXPECT_TRUE(onList(2).isEmpty());
}

TEST_F(ListEditTest, GridOrders)
{
    data->addtodatabase2(QStringLiteral("ZZ"), QStringLiteral("aardvark"), market, QStringLiteral("Fund"));
    listedit::addSelected({"ZZ"}, 2);
    auto names = [&](const QVector<lists::Symbol>& rows) {
        QStringList t;
        for (const auto& r : rows)
            t << r.ticker;
        return t;
    };
    EXPECT_EQ(names(lists::symbolsOfList(data->db(), 2, listedit::listOrder(Column::Name))),
              QStringList({"ZZ", "AA", "BB", "CC"}));
    EXPECT_EQ(names(lists::symbolsOfList(data->db(), 2, listedit::listOrder(Column::Type))),
              QStringList({"ZZ", "AA", "BB", "CC"}));
    EXPECT_EQ(names(lists::symbolsOfMarket(data->db(), market, listedit::marketOrder(Column::Symbol))),
              QStringList({"AA", "BB", "CC", "DD", "ZZ"}));
}
