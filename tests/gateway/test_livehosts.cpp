#include "database/startup.h"
#include "fakeprovider.h"
#include "gateway/livegateway.h"
#include "gateway/livehosts.h"
#include "quotes/quoteclient.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/yield.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>

class LiveHostsTest : public QuotarisTest {
protected:
    void TearDown() override
    {
        hosts.stop();
        QuotarisTest::TearDown();
    }

    LiveHosts hosts;
};

TEST_F(LiveHostsTest, OnlyHostsLeftAtLiveGoToTheGateway)
{
    // A fresh install: every host is the gateway.
    ASSERT_TRUE(runStartup().opened);
    EXPECT_TRUE(LiveHosts::isLive(settings().chartHost));
    QString error;
    ASSERT_TRUE(hosts.resolve(&error)) << qPrintable(error);
    ASSERT_NE(hosts.running(), nullptr);
    const QString address = hosts.running()->address();
    EXPECT_EQ(settings().quoteHost, address);
    EXPECT_EQ(settings().chartHost, address);

    // A host of the user's own stays; the others share the one gateway.
    hosts.stop();
    store::write(QStringLiteral("QuoteHost"), QStringLiteral("quotes.example:8080"));
    store::write(QStringLiteral("ChartHost"), QStringLiteral(" LIVE "));
    ASSERT_TRUE(runStartup().opened);
    ASSERT_TRUE(hosts.resolve(&error));
    EXPECT_EQ(settings().quoteHost, QStringLiteral("quotes.example:8080"));
    EXPECT_EQ(settings().chartHost, hosts.running()->address());
    EXPECT_EQ(settings().quoteHostAU, hosts.running()->address());
}

// The quote client tells the runs whether a host is the gateway, and only
// while it runs: a stopped gateway's address is any other server's.
TEST_F(LiveHostsTest, TheQuoteClientKnowsTheGatewayWhileItRuns)
{
    store::write(QStringLiteral("QuoteHost"), QStringLiteral("127.0.0.1:9"));
    ASSERT_TRUE(runStartup().opened);
    QString error;
    ASSERT_TRUE(hosts.resolve(&error)) << qPrintable(error);
    QuoteClient client;
    EXPECT_FALSE(client.asksAgainForLeftOut());
    EXPECT_TRUE(client.chartHostKeepsItsPace());
    settings().quoteHost = hosts.running()->address();
    EXPECT_TRUE(client.asksAgainForLeftOut());

    hosts.stop();
    EXPECT_FALSE(client.asksAgainForLeftOut());
    EXPECT_FALSE(client.chartHostKeepsItsPace());
    {
        // The gateway goes with its owner.
        LiveHosts owned;
        settings().chartHost = QStringLiteral("live");
        ASSERT_TRUE(owned.resolve(&error)) << qPrintable(error);
        EXPECT_TRUE(client.chartHostKeepsItsPace());
    }
    EXPECT_FALSE(client.chartHostKeepsItsPace());
}

TEST_F(LiveHostsTest, NoGatewayWhenEveryHostIsSet)
{
    for (const char* key : {"QuoteHost", "QuoteHostAU", "QuoteHostSG", "ChartHost"})
        store::write(QLatin1String(key), QStringLiteral("127.0.0.1:9"));
    ASSERT_TRUE(runStartup().opened);
    QString error;
    EXPECT_TRUE(hosts.resolve(&error));
    EXPECT_EQ(hosts.running(), nullptr);
    EXPECT_EQ(settings().chartHost, QStringLiteral("127.0.0.1:9"));
}

TEST_F(LiveHostsTest, ANewTimeOutReachesTheRunningGateway)
{
    FakeProvider provider;
    provider.useInStore();
    provider.setFault("/v8/", FakeProvider::Fault::Hang);
    ASSERT_TRUE(runStartup().opened);
    QString error;
    ASSERT_TRUE(hosts.resolve(&error)) << qPrintable(error);
    EXPECT_EQ(hosts.running()->budgetMs(), 9250);

    // The Options window sets 2 seconds: the gateway gives up on a request
    // after 1.25 s from then on, without a restart.
    settings().teller2 = 2;
    waitUntil([] { return false; }, 1500);
    QNetworkAccessManager client;
    client.setProxy(QNetworkProxy::NoProxy);
    QElapsedTimer clock;
    clock.start();
    QNetworkReply* reply =
        client.get(QNetworkRequest(QUrl(QStringLiteral("http://%1/q?s=NVDA&d=v1").arg(hosts.running()->address()))));
    ASSERT_TRUE(waitUntil([&] { return reply->isFinished(); }, 15000));
    EXPECT_FALSE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid());
    EXPECT_GE(clock.elapsed(), 1100);
    EXPECT_LT(clock.elapsed(), 1250 + 4000);  // far from 9.25 s, with a margin for a loaded machine
    delete reply;
}
