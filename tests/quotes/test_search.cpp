#include "fakeservice.h"
#include "quotes/quoteclient.h"
#include "quotes/searchyahoo.h"
#include "support/state.h"
#include "support/yield.h"
#include "testutil.h"

#include <QSignalSpy>

using Fault = FakeQuoteService::Fault;

// The search started and its answer waited for.
static void go(SearchyahooClass& s)
{
    QSignalSpy done(&s, &SearchyahooClass::done);
    s.go();
    waitUntil([&done] { return done.count() > 0; }, 60000);
}

class SearchTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(fake.isListening());
        fake.useForAllHosts();
        settings().teller2 = 5;
        settings().teller3 = 2;
    }

    // n symbols S000, S001, ... each known to the service with a name.
    QList<QByteArray> symbols(int n)
    {
        QList<QByteArray> all;
        for (int i = 0; i < n; ++i) {
            const QByteArray s = "S" + QByteArray::number(i).rightJustified(3, '0');
            fake.addQuote(FakeQuoteService::quote(s, "6/4/2004", "1", "10", s + " CORP", "NYSE"));
            all << s;
        }
        return all;
    }

    FakeQuoteService fake;
    QuoteClient client;
};

TEST_F(SearchTest, LookupPageMarkers)
{
    SearchyahooClass s(client);
    s.GeefZoekNaar = QStringLiteral("Stock");
    EXPECT_TRUE(s.scrape("<html><p>Your search for XYZ returned no matches</p>").isEmpty());
    EXPECT_TRUE(s.NoMatch);

    // One page and a middle page: the counters and the last symbol link.
    const QStringList one = s.scrape(FakeQuoteService::lookupPage({"A", "B.AS", "^C"}, 1, 3));
    EXPECT_FALSE(s.NoMatch);
    EXPECT_EQ(one, QStringList({"A", "B.AS", "^C"}));
    EXPECT_EQ(std::tuple(s.Tickerfrom, s.Tickerto, s.results), std::tuple(1, 3, 3));
    s.scrape("<td>>Showing 51 - 100 of 135</td><a href=\"/q?s=X\">x</a><td><a href=\"/q?s=P+Q&f=sl1\">all</a>");
    EXPECT_EQ(std::tuple(s.Tickerfrom, s.Tickerto, s.results), std::tuple(51, 100, 135));

    // Counters that are not numbers make the page count as empty; a total
    // that is not a number is left at 0.
    s.scrape("<b>>Showing x - 10 of 20</b>");
    EXPECT_TRUE(s.NoMatch);
    s.scrape("<b>>Showing 1 - 10 of many</b><td><a href=\"/q?s=K&f=s\">");
    EXPECT_FALSE(s.NoMatch);
    EXPECT_EQ(s.results, 0);
    // Cut-off pages do not read past their end.
    for (const char* cut : {">Showing ", ">Showing 1", ">Showing 1 - ", ">Showing 1 - 2 of 3"})
        s.scrape(cut);
    EXPECT_TRUE(s.scrape("").isEmpty());
    EXPECT_TRUE(s.NoMatch);
}

TEST_F(SearchTest, LookupRequestEncodesTheTextAndStartsAtTheOffset)
{
    SearchyahooClass s(client);
    s.Searchstring = QStringLiteral("a b&c+d#e%f'g\"h");
    s.GeefZoekNaar = QStringLiteral("Mutual fund");
    s.firstticker = 0;
    const QString zero = s.lookupUrl();
    s.firstticker = 1;
    EXPECT_EQ(s.lookupUrl(), zero);
    EXPECT_TRUE(zero.endsWith(QStringLiteral("/l?m=&s=a%20b%26c%2Bd%23e%25f%27g%22h&t=M&b=0"))) << qPrintable(zero);
    s.US = true;
    s.GeefZoekNaar = QStringLiteral("Index");
    s.firstticker = 51;
    EXPECT_TRUE(s.lookupUrl().contains(QStringLiteral("/l?m=US&s=")));
    EXPECT_TRUE(s.lookupUrl().endsWith(QStringLiteral("&t=I&b=50")));

    // What the service receives is the text as typed, in UTF-8.
    for (const QString& text : {QStringLiteral("a b&c=d"), QStringLiteral("Société Générale"), QStringLiteral("株式"),
                                QString(1000, QLatin1Char('x'))}) {
        fake.clearRequests();
        s.Searchstring = text;
        s.US = false;
        go(s);
        EXPECT_TRUE(s.NoMatch);
        EXPECT_TRUE(s.answered);
        ASSERT_EQ(fake.requests().size(), 1);
        const QByteArray got = fake.requests()[0].query.value("s");
        EXPECT_EQ(got, text.toUtf8());
        EXPECT_EQ(fake.requests()[0].query.value("b"), QByteArray("50"));
    }
}

TEST_F(SearchTest, NameSearchAsksNamesAndExchangesOfThePage)
{
    const QList<QByteArray> all = symbols(3);
    fake.setLookup("corp", all);
    SearchyahooClass s(client);
    s.Searchstring = QStringLiteral("corp");
    s.GeefZoekNaar = QStringLiteral("Stock");
    go(s);
    ASSERT_FALSE(s.NoMatch);
    EXPECT_EQ(s.yahooticker, (QVector<QString>{"S000", "S001", "S002"}));
    EXPECT_EQ(s.yahooname[1], QStringLiteral("S001 CORP"));
    EXPECT_EQ(s.yahoomarket[2], QStringLiteral("NYSE"));
    EXPECT_EQ(s.yahootype, QVector<QString>(3, QStringLiteral("Stock")));
    EXPECT_EQ(std::tuple(s.Tickerfrom, s.Tickerto, s.results), std::tuple(1, 3, 3));
    ASSERT_EQ(fake.requests().size(), 2);
    EXPECT_EQ(fake.requests()[1].path, QByteArray("/d/quotes.csv"));
}

TEST_F(SearchTest, ExactSymbolAndNoAnswer)
{
    SearchyahooClass s(client);
    s.alleensymbol = true;
    s.Searchstring = QStringLiteral("NOSUCH");
    go(s);
    // The service echoes an unknown symbol as its own name.
    ASSERT_EQ(s.yahooticker.size(), 1);
    EXPECT_EQ(s.yahooname[0], QStringLiteral("NOSUCH"));
    EXPECT_EQ(s.yahoomarket[0], QStringLiteral("N/A"));

    fake.setFault(Fault::CloseBeforeAnswer);
    s.alleensymbol = false;
    go(s);
    EXPECT_TRUE(s.NoMatch);
    EXPECT_FALSE(s.answered);
    s.getcomponents = QStringLiteral("^DJI");
    go(s);
    EXPECT_TRUE(s.NoMatch);
    EXPECT_FALSE(s.answered);

    // A failure page where the CSV answer was due is no answer either, for
    // the exact symbol and for the members, not "no match".
    fake.setFault(Fault::HtmlPage);
    for (const bool members : {false, true}) {
        SearchyahooClass e(client);
        e.Searchstring = QStringLiteral("AAPL");
        e.alleensymbol = !members;
        e.getcomponents = members ? QStringLiteral("^DJI") : QString();
        go(e);
        EXPECT_TRUE(e.NoMatch);
        EXPECT_FALSE(e.answered) << members;
    }
}

TEST_F(SearchTest, MembersComeInPagesOfFifty)
{
    fake.setMembers("^BIG", symbols(120));
    SearchyahooClass s(client);
    s.getcomponents = QStringLiteral("^BIG");
    go(s);
    ASSERT_EQ(s.yahooticker.size(), 50);
    EXPECT_EQ(s.yahooticker.first(), QStringLiteral("S000"));
    s.vanafwaarzoeken = 100;
    go(s);
    ASSERT_EQ(s.yahooticker.size(), 20);
    EXPECT_EQ(s.yahooticker.first(), QStringLiteral("S100"));
    EXPECT_EQ(fake.requests().last().query.value("h"), QByteArray("100"));
}
