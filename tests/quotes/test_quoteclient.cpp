#include "fakeservice.h"
#include "quotes/fetch.h"
#include "quotes/loader.h"
#include "quotes/quoteclient.h"
#include "quotes/searchyahoo.h"
#include "quotes/tickeronderzoek.h"
#include "support/state.h"
#include "support/yield.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <memory>
#include <vector>

using Fault = FakeQuoteService::Fault;

class QuoteClientTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(fake.isListening());
        fake.useForAllHosts();
        fake.setKeepAlive(true);
        settings().teller2 = 5;
        settings().teller3 = 2;
        settings().isdelay = false;
        fake.addQuote(FakeQuoteService::quote("AAA", "6/4/2004", "1.5", "100", "AAA INC"));
    }

    FetchRequest request(const char* pathAndQuery, FetchVariant variant = FetchVariant::Loader) const
    {
        FetchRequest r;
        r.url = QStringLiteral("http://") + fake.host() + QLatin1String(pathAndQuery);
        r.policy = FetchPolicy::forVariant(variant);
        return r;
    }

    FakeQuoteService fake;
};

// The batches of a run, the investigation's pages and the name lookups of
// one client come on the connection the first request opened.
TEST_F(QuoteClientTest, RequestsOfOneClientShareTheirConnection)
{
    QuoteClient client;
    for (int i = 0; i < 3; ++i) {
        loader l(client);
        l.directUse = true;
        l.setTickers({QStringLiteral("AAA")});
        QSignalSpy ready(&l, &loader::ready);
        l.startnu();
        ASSERT_TRUE(waitUntil([&ready] { return ready.count() == 1; }, 20000)) << i;
        EXPECT_TRUE(l.DownloadOk());
    }
    clsTickeronderzoek t(client);
    t.ticker = QStringLiteral("AAA");
    QSignalSpy looked(&t, &clsTickeronderzoek::goDone);
    t.go();
    ASSERT_TRUE(waitUntil([&looked] { return looked.count() == 1; }, 20000));

    ASSERT_EQ(fake.requests().size(), 4);
    EXPECT_EQ(fake.connections(), 1);
    EXPECT_EQ(client.managers(), 1);

    // Another client has connections of its own.
    QuoteClient other;
    loader l(other);
    l.directUse = true;
    l.setTickers({QStringLiteral("AAA")});
    QSignalSpy ready(&l, &loader::ready);
    l.startnu();
    ASSERT_TRUE(waitUntil([&ready] { return ready.count() == 1; }, 20000));
    EXPECT_EQ(fake.connections(), 2);
}

// Eight batches in flight together are all at the service before any is
// answered: none waits in a queue while its time-out runs. The connections
// they opened serve the next round.
TEST_F(QuoteClientTest, EightRequestsAreInFlightTogetherAndTheirConnectionsServeTheNextRound)
{
    QuoteClient client;
    fake.holdAnswers(true);
    std::vector<std::unique_ptr<AsyncFetch>> fetches;
    const auto round = [&] {
        fetches.clear();
        for (int i = 0; i < 8; ++i) {
            fetches.push_back(std::make_unique<AsyncFetch>(client, request("/d/quotes.csv?s=AAA+&f=sn")));
            fetches.back()->start();
        }
    };
    round();
    ASSERT_TRUE(waitUntil([this] { return fake.requests().size() == 8; }, 20000))
        << fake.requests().size() << " of 8 arrived";
    EXPECT_EQ(fake.connections(), 8);
    fake.releaseAnswers();
    ASSERT_TRUE(waitUntil(
        [&] { return std::none_of(fetches.begin(), fetches.end(), [](const auto& f) { return f->running(); }); },
        20000));
    for (const auto& f : fetches)
        EXPECT_TRUE(f->result().body.startsWith("\"AAA\""));

    fake.holdAnswers(false);
    round();
    ASSERT_TRUE(waitUntil(
        [&] { return std::none_of(fetches.begin(), fetches.end(), [](const auto& f) { return f->running(); }); },
        20000));
    EXPECT_EQ(fake.requests().size(), 16);
    EXPECT_EQ(fake.connections(), 8);
}

// A caller that goes while its request is in flight takes the request with
// it; the client serves the next caller as before.
TEST_F(QuoteClientTest, ACallerGoneMidRequestLeavesTheClientWorking)
{
    QuoteClient client;
    fake.setFault(Fault::Hang);
    {
        auto l = std::make_unique<loader>(client);
        l->directUse = true;
        l->setTickers({QStringLiteral("AAA")});
        l->startnu();
        auto search = std::make_unique<SearchyahooClass>(client);
        search->Searchstring = QStringLiteral("aaa");
        search->go();
        ASSERT_TRUE(waitUntil([this] { return fake.requests().size() == 2; }, 20000));
        l.reset();
        search.reset();
    }
    pause(100);
    fake.setFault(Fault::None);
    loader next(client);
    next.directUse = true;
    next.setTickers({QStringLiteral("AAA")});
    QSignalSpy ready(&next, &loader::ready);
    next.startnu();
    ASSERT_TRUE(waitUntil([&ready] { return ready.count() == 1; }, 20000));
    EXPECT_TRUE(next.DownloadOk());
}

// A client that goes while a fetch of it is in flight ends the fetch as
// stopped, from the event loop: its caller is told and nothing is counted.
TEST_F(QuoteClientTest, AClientGoneMidRequestEndsItsFetchesAsStopped)
{
    fake.setFault(Fault::Hang);
    auto client = std::make_unique<QuoteClient>();
    AsyncFetch fetch(*client, request("/d/quotes.csv?s=AAA+&f=sn"));
    QSignalSpy finished(&fetch, &AsyncFetch::finished);
    fetch.start();
    ASSERT_TRUE(waitUntil([this] { return fake.requests().size() == 1; }, 20000));
    client.reset();
    EXPECT_EQ(finished.count(), 0);
    ASSERT_TRUE(waitUntil([&finished] { return finished.count() == 1; }, 5000));
    EXPECT_TRUE(fetch.result().aborted);
    EXPECT_TRUE(fetch.result().body.isEmpty());
    EXPECT_EQ(fetch.result().problem, FetchProblem::None);
    EXPECT_FALSE(fetch.running());
}

// What the fetches met is the client's: a run's summary reads its own
// client's problems, not those of a search made meanwhile.
TEST_F(QuoteClientTest, TheTallyBelongsToItsClient)
{
    QuoteClient run, search;
    fake.setFault(Fault::HtmlPage);
    AsyncFetch failed(search, request("/d/quotes.csv?s=AAA+&f=sn"));
    failed.start();
    ASSERT_TRUE(waitUntil([&failed] { return !failed.running(); }, 20000));
    fake.setFault(Fault::None);
    AsyncFetch good(run, request("/d/quotes.csv?s=AAA+&f=sn"));
    good.start();
    ASSERT_TRUE(waitUntil([&good] { return !good.running(); }, 20000));

    EXPECT_EQ(run.record().answered(), 1u);
    EXPECT_TRUE(run.record().problem().isEmpty());
    EXPECT_EQ(search.record().answered(), 0u);
    EXPECT_EQ(search.record().problem(),
              QStringLiteral("the quote service answered with something unusable (%1: an HTML page)").arg(fake.host()));
}

// A Stop ends the requests of the client made with its token, wherever they
// stand, and nothing else: the symbol search's own client and a client with
// another token keep theirs in flight and get their answers.
TEST_F(QuoteClientTest, AStopEndsTheRequestsOfItsOwnClientOnly)
{
    CancelToken runStop, otherStop;
    QuoteClient run(&runStop), other(&otherStop), search;
    fake.holdAnswers(true);
    AsyncFetch batch(run, request("/d/quotes.csv?s=AAA+&f=sn"));
    AsyncFetch otherBatch(other, request("/d/quotes.csv?s=AAA+&f=sn"));
    AsyncFetch searched(search, request("/d/quotes.csv?s=AAA+&f=sn", FetchVariant::Search));
    // The investigation's page of the stopped client: sent before the Stop,
    // its answer is not taken after it.
    clsTickeronderzoek investigation(run);
    investigation.ticker = QStringLiteral("AAA");
    QSignalSpy looked(&investigation, &clsTickeronderzoek::goDone);
    for (AsyncFetch* f : {&batch, &otherBatch, &searched})
        f->start();
    investigation.go();
    ASSERT_TRUE(waitUntil([this] { return fake.heldAnswers() == 4; }, 20000));

    runStop.cancel();
    QElapsedTimer sinceStop;
    sinceStop.start();
    ASSERT_TRUE(waitUntil([&] { return !batch.running() && looked.count() == 1; }, 20000));
    EXPECT_LT(sinceStop.elapsed(), 500);
    EXPECT_TRUE(batch.result().aborted);
    EXPECT_TRUE(investigation.pageMissing);
    EXPECT_TRUE(otherBatch.running());
    EXPECT_TRUE(searched.running());

    fake.releaseAnswers();
    ASSERT_TRUE(waitUntil([&] { return !otherBatch.running() && !searched.running(); }, 20000));
    for (const AsyncFetch* f : {&otherBatch, &searched}) {
        EXPECT_FALSE(f->result().aborted);
        EXPECT_TRUE(f->result().body.startsWith("\"AAA\"")) << f->result().body.constData();
    }
    // Nothing of the stopped client goes out any more.
    fake.clearRequests();
    investigation.go();
    ASSERT_TRUE(waitUntil([&looked] { return looked.count() == 2; }, 20000));
    EXPECT_TRUE(fake.requests().isEmpty());
}
