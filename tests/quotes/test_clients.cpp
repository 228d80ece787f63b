#include "fakeservice.h"
#include "quotes/clshistory.h"
#include "quotes/gap.h"
#include "quotes/loader.h"
#include "quotes/quoteclient.h"
#include "quotes/tickeronderzoek.h"
#include "quotes/vraagyahoo.h"
#include "support/state.h"
#include "support/yield.h"
#include "testutil.h"

#include <QSignalSpy>

using Fault = FakeQuoteService::Fault;

// Runs a history download to its end, as a run's loop does.
static void download(clsHistory& h)
{
    h.start();
    waitUntil([&h] { return !h.running(); }, 30000);
}

// Each caller started and its answer waited for, as the caller's
// continuation would be.
template <typename Caller, typename Signal>
static void answered(Caller& caller, Signal signal, const std::function<void()>& start)
{
    QSignalSpy spy(&caller, signal);
    start();
    waitUntil([&spy] { return spy.count() > 0; }, 60000);
}

static void startnu(loader& l)
{
    answered(l, &loader::ready, [&l] { l.startnu(); });
}

static void go(vraagyahoo& v)
{
    answered(v, &vraagyahoo::done, [&v] { v.go(); });
}

static void go(clsTickeronderzoek& t)
{
    answered(t, &clsTickeronderzoek::goDone, [&t] { t.go(); });
}

static bool examine(clsTickeronderzoek& t)
{
    QSignalSpy spy(&t, &clsTickeronderzoek::examined);
    t.examine();
    waitUntil([&spy] { return spy.count() > 0; }, 60000);
    return !spy.isEmpty() && spy.first().first().toBool();
}

class ClientTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(fake.isListening());
        fake.useForAllHosts();
        settings().teller2 = 5;
        settings().teller3 = 2;
        client.currentGap().stop();
        client.currentGap().setInterval(300);
        fake.addQuote({"AAA", "6/4/2004", "4:00pm", "1.5", "1.7", "1.4", "1.6", "1000", "AAA INC", "NYSE"});
        fake.addQuote({"FTEK", "6/4/2004", "4:00pm", "3", "3", "3", "3", "10", "Fuel Tech, Inc.", "NasdaqNM"});
        fake.addQuote({"QUIET", "6/4/2004", "4:00pm", "3", "3", "3", "3", "0", "QUIET CORP", "NYSE"});
        fake.addQuote({"^AEX", "6/4/2004", "4:00pm", "350", "350", "350", "350", "0", "AEX", "Amsterdam"});
    }

    FakeQuoteService fake;
    CancelToken stop;  // the Stop of whoever owns the client
    QuoteClient client{&stop};
};

TEST_F(ClientTest, LoaderSortsTheBatch)
{
    loader l(client);
    l.directUse = true;
    l.setTickers({"AAA", "", "ZZZ", "QUIET", "^AEX", "FTEK"});
    startnu(l);
    EXPECT_TRUE(l.DownloadOk());
    EXPECT_FALSE(l.foundall());
    EXPECT_FALSE(l.timeout());
    EXPECT_EQ(l.tickers(), (QVector<QString>{"AAA", "^AEX", "FTEK"}));
    EXPECT_EQ(l.quotes().quotes[2].name, QStringLiteral("Fuel Tech,Inc."));
    EXPECT_EQ(l.quotes().quotes[0].bar.date, 20040604);
    EXPECT_EQ(l.notfound(), QStringList{QStringLiteral("ZZZ")});
    EXPECT_EQ(l.SymbolsVerworpen(), QStringList{QStringLiteral("QUIET")});
    EXPECT_EQ(l.originaltickers().size(), 6);
    ASSERT_EQ(fake.requests().size(), 1);
    EXPECT_EQ(fake.requests()[0].query.value("s"), QByteArray("AAA+ZZZ+QUIET+^AEX+FTEK+"));

    // A second download of the same component starts from nothing.
    l.setTickers({"ZZZ"});
    startnu(l);
    EXPECT_TRUE(l.DownloadOk());
    EXPECT_TRUE(l.tickers().isEmpty());
    EXPECT_EQ(l.notfound(), QStringList{QStringLiteral("ZZZ")});
}

TEST_F(ClientTest, LoaderGoReportsReadyFromTheEventLoop)
{
    loader l(client);
    QSignalSpy ready(&l, &loader::ready);
    l.setTickers({"AAA"});
    l.go();
    EXPECT_TRUE(l.Busy());
    EXPECT_EQ(ready.count(), 0);
    EXPECT_TRUE(waitUntil([&] { return ready.count() == 1; }, 10000));
    EXPECT_FALSE(l.Busy());
    EXPECT_TRUE(l.DownloadOk());
    EXPECT_TRUE(l.foundall());

    // Direct use: go starts nothing.
    loader direct(client);
    direct.directUse = true;
    QSignalSpy none(&direct, &loader::ready);
    direct.setTickers({"AAA"});
    direct.go();
    pause(100);
    EXPECT_EQ(none.count(), 0);
    EXPECT_EQ(fake.requests().size(), 1);
}

TEST_F(ClientTest, LoaderFailures)
{
    loader l(client);
    l.directUse = true;
    l.setTickers({"AAA"});

    fake.setFault(Fault::HtmlPage);
    startnu(l);
    EXPECT_FALSE(l.DownloadOk());
    EXPECT_FALSE(l.timeout());

    // An answer without CR LF is not an answer.
    fake.setFault(Fault::None);
    fake.setResponder([](const FakeQuoteService::Request&) {
        return FakeQuoteService::Reply{200, "\"AAA\",\"6/4/2004\",\"4:00pm\",1,1,1,1,1,\"A\"\n"};
    });
    startnu(l);
    EXPECT_FALSE(l.DownloadOk());

    // Nor is one whose lines are none of them quote lines.
    fake.setResponder([](const FakeQuoteService::Request&) {
        return FakeQuoteService::Reply{200, "Service temporarily unavailable\r\n;;;\x01\xff\r\n,,,\r\n"};
    });
    startnu(l);
    EXPECT_FALSE(l.DownloadOk());
    EXPECT_FALSE(l.foundall());

    // Timed out on every fetch: teller3 fetches of teller3 attempts each.
    fake.setResponder({});
    fake.clearRequests();
    settings().teller2 = 1;
    fake.setFault(Fault::Hang);
    startnu(l);
    EXPECT_TRUE(l.timeout());
    EXPECT_FALSE(l.DownloadOk());
    EXPECT_EQ(fake.requests().size(), 4);

    // The time-out result stays; a later good answer is still used.
    fake.setFault(Fault::None);
    startnu(l);
    EXPECT_TRUE(l.DownloadOk());
    EXPECT_TRUE(l.timeout());
}

TEST_F(ClientTest, ConcurrentLoadersAreInFlightTogetherWithTheirStartsSpaced)
{
    settings().isdelay = true;
    client.currentGap().setInterval(500);
    // No answer until all three requests have arrived: loaders that waited
    // for each other's answers would only end by their time-outs.
    fake.holdAnswers(true);
    QObject::connect(&fake, &FakeQuoteService::requestArrived, &fake, [this](int index) {
        if (index == 2)
            fake.releaseAnswers();
    });
    std::vector<std::unique_ptr<loader>> loaders;
    int done = 0;
    for (int i = 0; i < 3; ++i) {
        loaders.push_back(std::make_unique<loader>(client));
        loaders.back()->setTickers({"AAA"});
        QObject::connect(loaders.back().get(), &loader::ready, [&done] { ++done; });
        loaders.back()->go();
    }
    ASSERT_TRUE(waitUntil([&] { return done == 3; }, 30000));
    for (const auto& l : loaders) {
        EXPECT_TRUE(l->DownloadOk());
        EXPECT_FALSE(l->timeout());
    }
    auto reqs = fake.requests();
    ASSERT_EQ(reqs.size(), 3);
    std::sort(reqs.begin(), reqs.end(), [](const auto& a, const auto& b) { return a.arrivedMs < b.arrivedMs; });
    // The gap spaces the starts by 500 ms; timed at the service, where a
    // request may arrive late on a loaded machine, so with a margin.
    for (int i = 1; i < 3; ++i)
        EXPECT_GE(reqs[i].arrivedMs - reqs[i - 1].arrivedMs, 300) << i;
}

TEST_F(ClientTest, NamesMarketsAndIndexMembers)
{
    vraagyahoo v(client);
    v.tickers = {"AAA", "FTEK", "^AEX", "ZZZ"};
    v.getname = v.getmarket = true;
    go(v);
    EXPECT_EQ(v.yahooticker, (QVector<QString>{"AAA", "FTEK", "^AEX", "ZZZ"}));
    EXPECT_EQ(v.yahooname, (QVector<QString>{"AAA INC", "Fuel Tech, Inc.", "AEX", "ZZZ"}));
    EXPECT_EQ(v.yahoomarket, (QVector<QString>{"NYSE", "NasdaqNM", "Indices", "N/A"}));
    EXPECT_EQ(fake.requests()[0].target.mid(fake.requests()[0].target.indexOf("&h=")), QByteArray("&h=0&f=snx&e=.csv"));

    QList<QByteArray> members{"^SUB"};
    for (int i = 0; i < 60; ++i)
        members << "M" + QByteArray::number(i) + ".AS";
    fake.setMembers("^AEX", members);
    vraagyahoo c(client);
    c.getcomponents = QStringLiteral("^AEX");
    c.vanafwaarzoeken = 50;
    c.getname = true;
    go(c);
    ASSERT_EQ(c.yahooticker.size(), 11);  // members 50 to 60, the index left out
    EXPECT_EQ(c.yahooticker.first(), QStringLiteral("M49.AS"));
    EXPECT_EQ(fake.requests().last().query.value("s"), QByteArray("@^AEX"));
    EXPECT_EQ(fake.requests().last().query.value("h"), QByteArray("50"));
}

TEST_F(ClientTest, LongLookupAnswersAreAskedAgainWithoutCommas)
{
    fake.setResponder([](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        if (r.query.value("s").contains(','))
            return FakeQuoteService::Reply{200, QByteArray("\"X\",\"n\"\r\n").repeated(60)};
        return FakeQuoteService::Reply{200, "\"A\",\"n\"\r\n"};
    });
    vraagyahoo v(client);
    v.tickers = {"A,B"};
    v.getname = true;
    go(v);
    ASSERT_EQ(fake.requests().size(), 2);
    EXPECT_EQ(fake.requests()[1].query.value("s"), QByteArray("AB+"));
    EXPECT_EQ(v.yahooticker, QVector<QString>{"A"});
}

TEST_F(ClientTest, InvestigationFindsSuccessorAndHistoryStart)
{
    fake.setPage("/q", "LEH", {200, FakeQuoteService::changedTickerPage("LEH", "LEHMQ.PK"), "text/html"});
    fake.setPage("/q/hp", "IBM", {200, FakeQuoteService::historyPricesPage(0, 2, 1962), "text/html"});
    clsTickeronderzoek t(client);
    t.ticker = QStringLiteral("LEH");
    go(t);
    EXPECT_TRUE(t.changed);
    EXPECT_EQ(t.newticker, QStringLiteral("LEHMQ.PK"));
    EXPECT_EQ(fake.requests().last().target, QByteArray("/q?s=LEH&d=v1"));

    t.ticker = QStringLiteral("IBM");
    go(t);
    EXPECT_FALSE(t.changed);
    EXPECT_EQ(t.newticker, QStringLiteral("LEHMQ.PK"));  // kept from before
    ASSERT_TRUE(examine(t));
    EXPECT_EQ(t.startDatumDay, 2);
    EXPECT_EQ(t.startDatumMonth, 12);
    EXPECT_EQ(t.startDatumYear, 1962);

    // Invalid ticker: false, the fields as they were.
    t.ticker = QStringLiteral("ZZZ");
    EXPECT_FALSE(examine(t));
    EXPECT_EQ(t.startDatumYear, 1962);
    EXPECT_FALSE(t.pageMissing);

    // Stop: go does nothing at all.
    stop.cancel();
    fake.clearRequests();
    t.ticker = QStringLiteral("LEH");
    t.changed = true;
    go(t);
    EXPECT_TRUE(t.changed);
    EXPECT_TRUE(fake.requests().isEmpty());
}

// A ticker with "&", "+", "=", "#", "%" or a blank is one value of the
// query in every request: the quote page, the historical-prices page, the
// daily history and the name lookup all reach the service with it whole.
TEST_F(ClientTest, TickersWithQuerySignsReachEveryRequestWhole)
{
    for (const QByteArray& ticker : {QByteArray("M&M.NS"), QByteArray("A+B=X"), QByteArray("H#1 %2B")}) {
        SCOPED_TRACE(ticker.constData());
        fake.clearRequests();
        fake.setPage("/q", ticker, {200, FakeQuoteService::changedTickerPage(ticker, "NEW.NS"), "text/html"});
        fake.setPage("/q/hp", ticker, {200, FakeQuoteService::historyPricesPage(3, 9, 1999), "text/html"});
        fake.setPage("/table.csv", ticker,
                     {200,
                      "Date,Open,High,Low,Close,Volume\n14-Jun-04,10.00,10.50,9.80,10.20," +
                          QByteArray::number(ticker.size()) + "\n",
                      "text/plain"});
        clsTickeronderzoek t(client);
        t.ticker = QString::fromLatin1(ticker);
        go(t);
        EXPECT_EQ(t.newticker, QStringLiteral("NEW.NS"))
            << fake.requests().value(0).target.constData() << " " << t.pageMissing;
        EXPECT_TRUE(examine(t));
        EXPECT_EQ(t.startDatumYear, 1999);

        clsHistory h(client);
        h.HTicker = QString::fromLatin1(ticker);
        h.startdate = {QDate(2004, 6, 1)};
        h.enddate = {QDate(2004, 6, 30)};
        h.today = QDate(2004, 7, 1);
        download(h);
        ASSERT_EQ(h.records().size(), 1);
        EXPECT_EQ(h.records()[0].date, 20040614);

        vraagyahoo v(client);
        v.tickers = {QString::fromLatin1(ticker), QStringLiteral("AAA")};
        v.getname = true;
        go(v);
        ASSERT_EQ(fake.requests().size(), 4);
        EXPECT_EQ(fake.requests()[2].query.value("s"), ticker.toLower());
        EXPECT_EQ(fake.requests()[3].symbols, (QList<QByteArray>{ticker, "AAA"}));
        EXPECT_EQ(v.yahooticker.value(0), QString::fromLatin1(ticker));
    }
}

// Two-digit years take their century from the range asked, a day after the
// range is dropped, and a date the answer holds twice gives one day: the
// later row's.
TEST_F(ClientTest, HistoryDaysFollowTheRangeAskedOnePerDate)
{
    fake.setPage("/table.csv", "^DJI",
                 {200,
                  "Date,Open,High,Low,Close,Volume\n"
                  "3-Jan-28,2.00,2.00,2.00,2.00,0\n"  // after the range
                  "30-Dec-27,1.50,1.50,1.50,1.50,0\n"
                  "30-Dec-27,1.40,1.40,1.40,1.40,0\n"  // the later row of the date
                  "4-Jan-27,1.00,1.00,1.00,1.00,0\n",
                  "text/plain"});
    clsHistory h(client);
    h.HTicker = QStringLiteral("^DJI");
    h.startdate = {QDate(1927, 1, 3)};
    h.enddate = {QDate(1927, 12, 30)};
    download(h);
    ASSERT_EQ(h.records().size(), 2);
    EXPECT_EQ(h.records()[0].date, 19270104);
    EXPECT_EQ(h.records()[1].date, 19271230);
    EXPECT_EQ(h.records()[1].close.text, QStringLiteral("1.40"));
    EXPECT_EQ(h.lastDate(), 19271230);

    // A range that ends in this century reads the same digits as 20xx.
    fake.setPage("/table.csv", "^DJI",
                 {200, "Date,Open,High,Low,Close,Volume\n4-Jan-27,1.00,1.00,1.00,1.00,0\n30-Dec-26,1.0,1.0,1.0,1.0,0\n",
                  "text/plain"});
    clsHistory later(client);
    later.HTicker = QStringLiteral("^DJI");
    later.startdate = {QDate(2026, 12, 1)};
    later.enddate = {QDate(2027, 1, 29)};
    download(later);
    ASSERT_EQ(later.records().size(), 2);
    EXPECT_EQ(later.records()[0].date, 20261230);
    EXPECT_EQ(later.records()[1].date, 20270104);
}
