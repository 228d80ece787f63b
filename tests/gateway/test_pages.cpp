#include "gatewayfixture.h"

#include "quotes/pages.h"

#include <QTimeZone>

TEST_F(GatewayTest, FirstDateOfHistoryAsTheProgramReadsIt)
{
    startGateway();
    const Answer nvda = get(QStringLiteral("/q/hp?s=NVDA"));
    const auto start = findHistoryStart(nvda.body);
    ASSERT_TRUE(start) << nvda.body.constData();
    EXPECT_EQ(QDate(start->year, start->month, start->day), QDate(1999, 1, 22));

    // No first trade date: the first monthly bar, and there is none.
    const Answer index = get(QStringLiteral("/q/hp?s=^VXAPL"));
    EXPECT_TRUE(index.body.contains("There is no Historical Prices data available for"));
    // Asked from 99 years ago: the provider refuses more than 100 years.
    const qint64 earliest =
        QDateTime(QDateTime::currentDateTimeUtc().date().addYears(-99).addDays(1), QTime(0, 0), QTimeZone::utc())
            .toSecsSinceEpoch();
    EXPECT_TRUE(
        provider.requests().last().query.startsWith("interval=1mo&period1=" + QByteArray::number(earliest) + '&'))
        << provider.requests().last().query.constData();

    EXPECT_TRUE(get(QStringLiteral("/q/hp?s=SI")).body.contains("Invalid Ticker Symbol"));
}

TEST_F(GatewayTest, TickerChangesOnlyFromTheUsersTable)
{
    writeFile(dataFolder() + QStringLiteral("/changes.txt"),
              "# old new\nSI SICP\nfb,META   # renamed 2022\nbroken-line\n");
    startGateway();
    // Listed, whether the provider still knows the old ticker or not.
    for (const char* old : {"SI", "FB"}) {
        const Answer a = get(QStringLiteral("/q?s=%1&d=v1").arg(QLatin1String(old)));
        EXPECT_EQ(findChangedTicker(a.body), QString::fromLatin1(old == QByteArray("SI") ? "SICP" : "META"));
    }
    EXPECT_EQ(provider.count("/v8/"), 0);

    // Not listed: never a change, whatever the provider says.
    const Answer known = get(QStringLiteral("/q?s=NVDA&d=v1"));
    EXPECT_EQ(known.status, 200);
    EXPECT_FALSE(findChangedTicker(known.body));
    EXPECT_FALSE(known.body.contains("Invalid Ticker Symbol"));
    EXPECT_TRUE(get(QStringLiteral("/q?s=ZZZZ&d=v1")).body.contains("Invalid Ticker Symbol"));

    // A failure is no page at all: "not changed" would be a guess.
    provider.setFault("/v8/", FakeProvider::Fault::Throttle);
    EXPECT_EQ(get(QStringLiteral("/q?s=MSFT&d=v1")).status, 0);
    EXPECT_EQ(get(QStringLiteral("/q/hp?s=MSFT")).status, 0);
}

TEST_F(GatewayTest, LookupPagesFilterByKindAndMarket)
{
    startGateway();
    const Answer a = get(QStringLiteral("/l?m=US&s=AAPL&b=0"));
    EXPECT_TRUE(a.body.contains(">Showing 1 - 2 of 2<")) << a.body.constData();
    EXPECT_TRUE(a.body.contains("><a href=\"/q?s=AAPL+AAPU&f=s"));

    // Every market: the six listings of one company; only the OTC one is
    // American.
    const QString bmw = QStringLiteral("/l?m=%1&s=Bayerische Motoren Werke AG&b=0");
    EXPECT_TRUE(
        get(bmw.arg(QString())).body.contains("><a href=\"/q?s=BMW.DE+BMW.SG+BAMXF+BMWM5N.MX+BMW3D.XC+BMW.DU&f=s"));
    EXPECT_TRUE(get(bmw.arg(QStringLiteral("US"))).body.contains("><a href=\"/q?s=BAMXF&f=s"));

    const Answer none = get(QStringLiteral("/l?m=US&s=AAPL&t=M&b=0"));
    EXPECT_TRUE(none.body.contains("Your search for AAPL returned no matches"));
}

TEST_F(GatewayTest, AStockSearchListsExchangeTradedFundsToo)
{
    provider.addQuote(QStringLiteral("AAPL"), 244.6, 100, 1739566800, QStringLiteral("Apple Inc."));
    provider.addQuote(QStringLiteral("AAPU"), 30, 100, 1739566800, QStringLiteral("Direxion Daily Apple Bull 2X"));
    provider.setQuoteType(QStringLiteral("AAPU"), QStringLiteral("ETF"));
    provider.addQuote(QStringLiteral("APLFX"), 12, 0, 1739566800, QStringLiteral("Apple Growth Fund"));
    provider.setQuoteType(QStringLiteral("APLFX"), QStringLiteral("MUTUALFUND"));
    startGateway();
    const Answer stocks = get(QStringLiteral("/l?m=US&s=apple&b=0"));
    EXPECT_TRUE(stocks.body.contains("><a href=\"/q?s=AAPL+AAPU&f=s")) << stocks.body.constData();
    const Answer funds = get(QStringLiteral("/l?m=US&s=apple&t=M&b=0"));
    EXPECT_TRUE(funds.body.contains("><a href=\"/q?s=APLFX&f=s")) << funds.body.constData();
}

TEST_F(GatewayTest, LookupInUtf8PagesBeyondTheFirstFifty)
{
    for (int i = 0; i < 120; ++i)
        provider.addQuote(QStringLiteral("W%1.WA").arg(i, 3, 10, QLatin1Char('0')), 10, 10, 1739566800,
                          QString::fromUtf8("Łódź Widget %1").arg(i));
    startGateway();
    // "Łódź" as the program sends it: UTF-8, percent-encoded.
    const QString path = QStringLiteral("/l?m=&s=%C5%81%C3%B3d%C5%BA&b=%1");
    const Answer first = get(path.arg(0));
    EXPECT_TRUE(first.body.contains(">Showing 1 - 50 of 120<")) << first.body.left(300).constData();
    EXPECT_TRUE(first.body.contains("><a href=\"/q?s=W000.WA+W001.WA+"));
    EXPECT_TRUE(first.body.contains("W049.WA&f=s"));
    // The provider gets the text as typed; the page's names are Latin-1.
    EXPECT_TRUE(provider.requests().last().query.startsWith("query=%C5%81%C3%B3d%C5%BA&type=all&start=0&count=50"));
    EXPECT_TRUE(first.body.contains("L\xF3"
                                    "dz Widget 0"));

    const Answer second = get(path.arg(50));
    EXPECT_TRUE(second.body.contains(">Showing 51 - 100 of 120<"));
    EXPECT_TRUE(second.body.contains("><a href=\"/q?s=W050.WA+"));
    const Answer last = get(path.arg(100));
    EXPECT_TRUE(last.body.contains(">Showing 101 - 120 of 120<"));
    EXPECT_TRUE(last.body.contains("W119.WA&f=s"));
    EXPECT_TRUE(get(path.arg(150)).body.contains("returned no matches"));

    // A Latin-1 text of an older client still reads as typed.
    get(QStringLiteral("/l?m=&s=M%FCller&b=0"));
    bool asked = false;
    for (const FakeProvider::Request& r : provider.requests())
        asked = asked || r.query.startsWith("query=M%C3%BCller&");
    EXPECT_TRUE(asked);
}

TEST_F(GatewayTest, IndexMembersFromTheUsersListsInPagesOfFifty)
{
    QByteArray list = "# members of a made-up index\n";
    for (int i = 0; i < 60; ++i) {
        const QString symbol = QStringLiteral("M%1.AS").arg(i, 2, 10, QLatin1Char('0'));
        provider.addQuote(symbol, 20, 100, 1739566800, QStringLiteral("Member %1, N.V.").arg(i));
        list += symbol.toLatin1() + (i % 2 ? ",Member name\n" : "\n");
    }
    writeFile(dataFolder() + QStringLiteral("/members/MADE.txt"), list);
    startGateway();

    const QList<QByteArray> first = get(QStringLiteral("/d/quotes?s=@^MADE&h=0&f=snx&e=.csv")).body.split('\n');
    ASSERT_EQ(first.size(), 51);
    EXPECT_EQ(first[0], "\"M00.AS\",\"Member 0, N.V.\",\"NYSE\"\r");
    const QList<QByteArray> second = get(QStringLiteral("/d/quotes?s=@^MADE&h=50&f=snx&e=.csv")).body.split('\n');
    ASSERT_EQ(second.size(), 11);
    EXPECT_EQ(second[9], "\"M59.AS\",\"Member 59, N.V.\",\"NYSE\"\r");

    // No list kept: no members, and nobody asked.
    const int asked = provider.requests().size();
    const Answer none = get(QStringLiteral("/d/quotes?s=@^AEX&h=0&f=snx&e=.csv"));
    EXPECT_EQ(none.status, 200);
    EXPECT_TRUE(none.body.isEmpty());
    EXPECT_EQ(provider.requests().size(), asked);
}
