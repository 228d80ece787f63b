#include "databasetest.h"
#include "testutil.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/listimport.h"
#include "database/lists.h"
#include "database/startup.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"

class ListsTest : public DatabaseTest {
protected:
    QStringList tickers(const QVector<lists::Symbol>& symbols)
    {
        QStringList t;
        for (const auto& s : symbols)
            t << s.ticker;
        return t;
    }
};

TEST_F(ListsTest, MembershipAcrossLists)
{
    Database& db = data->db();
    const int unknown = data->markt0();
    for (const char* t : {"A", "B", "C"})
        data->addtodatabase3(QLatin1String(t), QLatin1String(t), unknown, 3);
    data->addtodatabase3(QStringLiteral("B"), QString(), unknown, 5);
    data->addtodatabase3(QStringLiteral("D'Q"), QStringLiteral("D"), unknown, 5);

    EXPECT_EQ(tickers(lists::symbolsForDownload(db, QVector<int>{5, 3})), QStringList({"A", "B", "C", "D'Q"}));
    lists::empty(db, 3);
    EXPECT_EQ(tickers(lists::symbolsForDownload(db, 5)), QStringList({"B", "D'Q"}));
    EXPECT_EQ(lists::symbolCount(db, 3), 0);

    Lijstinvoeg invoeg;
    invoeg.downloaden(QStringLiteral("d'q"), false, QStringLiteral("list5"));
    invoeg.downloaden(QStringLiteral("A"), true, QStringLiteral("List7"));
    invoeg.downloaden(QStringLiteral("NOPE"), true, QStringLiteral("list7"));
    EXPECT_EQ(tickers(lists::symbolsForDownload(db, 5)), QStringList({"B"}));
    EXPECT_EQ(tickers(lists::symbolsForDownload(db, 7)), QStringList({"A"}));
    EXPECT_TRUE(msgs.shown.isEmpty());

    // Removing a symbol takes it off every list.
    invoeg.remove(QStringLiteral("B"));
    EXPECT_TRUE(lists::symbolsForDownload(db, 5).isEmpty());

    // Anything but a list column is refused.
    msgs.queue(Answer::Ignore);
    invoeg.downloaden(QStringLiteral("A"), true, QStringLiteral("naamyahoo"));
    EXPECT_EQ(msgs.shown.size(), 1);
}

TEST_F(ListsTest, MarketsAndDisplayRows)
{
    Database& db = data->db();
    data->tickercode = QStringLiteral("INGA.AS");
    data->fondsnaam = QStringLiteral("ING");
    data->MarktNaam.clear();
    data->go();
    const int amsterdam = data->marketid;
    data->addtodatabase2(QStringLiteral("INGA.AS"), QStringLiteral("ING"), amsterdam, QStringLiteral("Equity"));
    data->addtodatabase2(QStringLiteral("ASML.AS"), QStringLiteral("ASML"), amsterdam, QStringLiteral("Equity"));
    data->addtodatabase2(QStringLiteral("AAB.AS"), QStringLiteral("ABN"), amsterdam, QStringLiteral("Bank"));
    data->addtodatabase3(QStringLiteral("INGA.AS"), QString(), 0, 2);
    data->addtodatabase3(QStringLiteral("OTHER"), QStringLiteral("aaa"), data->markt0(), 2);

    lists::addMarket(db, amsterdam, 2);
    const auto rows = lists::symbolsOfList(db, 2);
    EXPECT_EQ(tickers(rows), QStringList({"AAB.AS", "ASML.AS", "INGA.AS", "OTHER"}));
    EXPECT_EQ(rows[0].market, QStringLiteral("Amsterdam"));
    EXPECT_TRUE(rows[0].on[2]);
    EXPECT_FALSE(rows[0].on[3]);
    EXPECT_EQ(tickers(lists::symbolsOfList(db, 2, {lists::SortKey::Name})),
              QStringList({"OTHER", "AAB.AS", "ASML.AS", "INGA.AS"}));
    EXPECT_EQ(tickers(lists::symbolsOfMarket(db, amsterdam)), QStringList({"AAB.AS", "ASML.AS", "INGA.AS"}));

    const auto all = lists::markets(db);
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0].second, QStringLiteral("Amsterdam"));
    EXPECT_EQ(all[1].second, QStringLiteral("Unknown"));
}

TEST_F(ListsTest, NamesGoToTheStoreAndTheCaptions)
{
    lists::setName(4, QStringLiteral("Tech"));
    EXPECT_EQ(settings().listNames[4], QStringLiteral("Tech"));
    EXPECT_EQ(store::read(QStringLiteral("List4"), QString()), QStringLiteral("Tech"));
    EXPECT_EQ(lists::chooserCaption(4), QStringLiteral("list 4 - Tech"));
    EXPECT_EQ(lists::checkboxCaption(4), QStringLiteral("4 - Tech"));
    EXPECT_EQ(lists::chooserCaption(1), QStringLiteral("list 1 - "));
    EXPECT_THROW(lists::column(0), AppError);
    EXPECT_THROW(lists::column(17), AppError);
}

TEST_F(ListsTest, ImportFileFields)
{
    using listimport::parse;
    EXPECT_EQ(parse("AAA,BBB\r\nCCC"), QStringList({"AAA", "BBB", "CCC"}));
    EXPECT_EQ(parse("AAA\n\n\r\n  BBB  \rCCC\n"), QStringList({"AAA", "BBB", "CCC"}));
    EXPECT_EQ(parse("ABCDEFGHIJKLMNOPQRSTUVWXYZ\nABCDEFGHIJKLMNOPQRS TUV"),
              QStringList({"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRS"}));
    // Latin-1 and UTF-8 bytes both give the letter.
    EXPECT_EQ(parse("N\xc9S\n"), QStringList({QStringLiteral("N\u00c9S")}));
    EXPECT_EQ(parse("N\xc3\x89S\n"), QStringList({QStringLiteral("N\u00c9S")}));
    // A field with a comma, a quote or a control character is no symbol:
    // refused and listed, the others kept.
    QStringList refused;
    EXPECT_EQ(parse("\"IBM,MSFT\",\"C\"\n\"\",\tTAB\tX\t,Y,IB\"M\n", &refused), QStringList({"C", "Y"}));
    EXPECT_EQ(refused, QStringList({"IBM,MSFT", "TAB\tX", "IB\"M"}));
    refused.clear();
    EXPECT_EQ(parse(QByteArray("A\0B\x01,\x02,OK", 9), &refused), QStringList({"OK"}));
    EXPECT_EQ(refused.size(), 2);
    // UTF-16 and UTF-8 with their byte-order mark are text; a DOS end of file
    // ends it.
    const QString nestle = QStringLiteral("NESN.SW,N\u00c9S\r\nIBM\r\n");
    QByteArray le("\xFF\xFE"), be("\xFE\xFF");
    for (QChar c : nestle) {
        le.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
        be.append(static_cast<char>(c.unicode() >> 8)).append(static_cast<char>(c.unicode() & 0xFF));
    }
    const QStringList expected({"NESN.SW", QStringLiteral("N\u00c9S"), "IBM"});
    EXPECT_EQ(parse(le), expected);
    EXPECT_EQ(parse(be), expected);
    EXPECT_EQ(parse("\xEF\xBB\xBF" + nestle.toUtf8() + "\x1A\x1A"), expected);
    EXPECT_TRUE(listimport::notText(le).isEmpty());
    EXPECT_TRUE(listimport::notText("IBM\r\nMSFT\r\n\x1A").isEmpty());
    // Binary data is not a list of symbols at all.
    QByteArray garbage;
    for (int i = 0; i < 5000; ++i)
        garbage.append(static_cast<char>((i * 7919 + 13) % 256));
    EXPECT_EQ(listimport::notText(garbage), QStringLiteral("holds NUL bytes"));
    garbage.replace('\0', '\x01');
    EXPECT_EQ(listimport::notText(garbage), QStringLiteral("holds binary data"));
}

TEST_F(ListsTest, ImportFileSizeLimit)
{
    const QString ok = path(QStringLiteral("ok.txt"));
    QByteArray bytes(63000, 'A');
    bytes[10] = '\n';
    writeFile(ok, bytes);
    auto r = listimport::readFile(ok);
    EXPECT_FALSE(r.tooBig);
    EXPECT_EQ(r.entries.size(), 2);

    const QString big = path(QStringLiteral("big.txt"));
    writeFile(big, bytes + "B");
    r = listimport::readFile(big);
    EXPECT_TRUE(r.tooBig);
    EXPECT_TRUE(r.entries.isEmpty());

    r = listimport::readFile(path(QStringLiteral("missing.txt")));
    EXPECT_FALSE(r.error.isEmpty());
}

TEST_F(ListsTest, ImportPutsKnownSymbolsOnTheListAndAddsNewOnes)
{
    data->addtodatabase2(QStringLiteral("IBM"), QStringLiteral("Intl Business"), 42, QStringLiteral("Equity"));
    QVector<int> visited;
    QStringList status;
    listimport::Progress progress;
    progress.entry = [&visited](int i) { visited << i; };
    progress.status = [&status](const QString& s) { status << s; };
    const QStringList entries = {"ibm", "NEW1", "O'NEW", "NEW1"};
    const auto result = listimport::importSymbols(*data, entries, 6, progress);
    EXPECT_EQ(result.added, 4);
    EXPECT_FALSE(result.aborted);
    EXPECT_EQ(visited, QVector<int>({0, 1, 2, 3}));
    EXPECT_EQ(status.last(), QStringLiteral("4 Imported"));
    EXPECT_EQ(status.first(), QStringLiteral("Importing 1 from 4"));

    Database& db = data->db();
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM fondsen")).toInt(), 3);
    EXPECT_EQ(lists::symbolCount(db, 6), 3);
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT naamyahoo FROM fondsen WHERE codeyahoo = 'IBM'")).toString(),
              QStringLiteral("Intl Business"));
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT Market FROM markt JOIN fondsen ON markt.id = fondsen.marktid "
                                       "WHERE codeyahoo = ?"),
                        {"O'NEW"})
                  .toString(),
              QStringLiteral("Unknown"));
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(ListsTest, MarketSizesSearchesAndKnownTickers)
{
    Database& db = data->db();
    const int unknown = data->markt0();
    db.exec(QStringLiteral("INSERT INTO markt (Market) VALUES ('amsterdam'), ('empty')"));
    const int amsterdam = db.scalar(QStringLiteral("SELECT id FROM markt WHERE Market = 'amsterdam'")).toInt();
    data->addtodatabase2(QStringLiteral("AB"), QStringLiteral("abc a"), unknown, QStringLiteral("Stock"));
    data->addtodatabase2(QStringLiteral("cd"), QStringLiteral("Other"), unknown, QStringLiteral("Fund"));
    data->addtodatabase2(QStringLiteral("ZZ"), QStringLiteral("Abc z"), amsterdam, QStringLiteral("Stock"));

    // Names sort without regard to case; a market without symbols counts 0.
    EXPECT_EQ(lists::marketSizes(db), (QVector<QPair<QString, int>>{{"amsterdam", 1}, {"empty", 0}, {"Unknown", 2}}));
    EXPECT_EQ(lists::totalSymbolCount(db), 3);

    // By market first, then ticker.
    const auto named = lists::symbolsNamedLike(db, QStringLiteral("%abc%"));
    EXPECT_EQ(tickers(named), QStringList({"ZZ", "AB"}));
    ASSERT_EQ(named.size(), 2);
    EXPECT_EQ(named[0].market, QStringLiteral("amsterdam"));
    EXPECT_EQ(named[1].type, QStringLiteral("Stock"));
    EXPECT_EQ(named[1].name, QStringLiteral("abc a"));
    EXPECT_EQ(tickers(lists::symbolsNamedLike(db, QStringLiteral("abc"))), QStringList());
    const auto byTicker = lists::symbolsWithTicker(db, QStringLiteral("CD"));
    ASSERT_EQ(byTicker.size(), 1);
    EXPECT_EQ(byTicker[0].ticker, QStringLiteral("cd"));
    EXPECT_EQ(byTicker[0].market, QStringLiteral("Unknown"));

    // Tickers compare without regard to case and keep the order given.
    QStringList missing;
    EXPECT_EQ(lists::knownTickers(db, {"cd", "NOPE", "ab", "O'X"}, missing), QStringList({"cd", "ab"}));
    EXPECT_EQ(missing, QStringList({"NOPE", "O'X"}));
}
