#include "gatewayfixture.h"

#include "gateway/upstream.h"
#include "support/yield.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>

// The provider's limits, seen from the provider: requests of a burst of
// history downloads.
TEST_F(GatewayTest, AtMostFourAtOnceAndTwoASecondAfterABurstOfFour)
{
    provider.setDelay(300);
    for (int i = 0; i < 10; ++i)
        provider.addQuote(QStringLiteral("P%1").arg(i), 10, 10, 1739566800);
    startGateway();
    // Ten pages of different symbols at once, as several windows might ask.
    QNetworkAccessManager client;
    client.setProxy(QNetworkProxy::NoProxy);
    int finished = 0;
    QList<int> statuses;
    for (int i = 0; i < 10; ++i) {
        QNetworkReply* reply =
            client.get(QNetworkRequest(QUrl(QStringLiteral("http://%1/q?s=P%2&d=v1").arg(gateway->address()).arg(i))));
        QObject::connect(reply, &QNetworkReply::finished, reply, [&, reply] {
            statuses << reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            ++finished;
            reply->deleteLater();
        });
    }
    ASSERT_TRUE(waitUntil([&] { return finished == 10; }, 20000));
    EXPECT_EQ(statuses, QList<int>(10, 200));
    ASSERT_EQ(provider.requests().size(), 10);
    EXPECT_LE(provider.maxInFlight(), 4);
    // Four at once, then one every half second: the tenth goes out 3 s after
    // the first. Timed at the provider, where the first may arrive late on a
    // loaded machine, so with a margin; four at a time without the rate, they
    // would all come within about a second.
    EXPECT_GE(provider.requests()[9].arrivedMs - provider.requests()[0].arrivedMs, 2500);
}

TEST(UpstreamPause, GrowsAfterEachTooManyRequestsAndResetsAfterAnAnswer)
{
    // The pause runs on the upstream's own clock. Each ask meant to fall
    // inside a pause comes right after it began, with most of a second to
    // spare for a loaded machine; each meant to fall after one waits past
    // its end, which a wait never reaches early.
    FakeProvider provider;
    GatewayConfig c;
    c.liveHost = provider.base();
    c.pauseMs = 1000;
    c.maxPauseMs = 4000;
    Upstream upstream(c);
    const auto ask = [&](const QString& symbol) {
        UpstreamReply::Kind kind{};
        bool done = false;
        upstream.getJson(QStringLiteral("/v8/finance/chart/") + symbol, 0, [&](const UpstreamReply& r) {
            kind = r.kind;
            done = true;
        });
        EXPECT_TRUE(waitUntil([&] { return done; }, 10000));
        return kind;
    };
    provider.setFault("/v8/", FakeProvider::Fault::Throttle, 2);
    EXPECT_EQ(ask(QStringLiteral("A")), UpstreamReply::Kind::Throttled);
    EXPECT_EQ(ask(QStringLiteral("B")), UpstreamReply::Kind::Throttled);  // paused: not asked
    EXPECT_EQ(provider.requests().size(), 1);
    waitUntil([] { return false; }, 1100);
    EXPECT_EQ(ask(QStringLiteral("C")), UpstreamReply::Kind::Throttled);  // asked: the second 429
    waitUntil([] { return false; }, 1100);
    EXPECT_EQ(ask(QStringLiteral("D")), UpstreamReply::Kind::Throttled);  // now 2 s
    EXPECT_EQ(provider.requests().size(), 2);
    waitUntil([] { return false; }, 1000);
    EXPECT_EQ(ask(QStringLiteral("NVDA")), UpstreamReply::Kind::Answer);
    EXPECT_TRUE(!upstream.paused());
}

TEST(UpstreamPause, FollowsAFixedScheduleNotADoubling)
{
    // Steps of 1, 2, 5 and 15 pauses: the third 429 in a row pauses 5 s,
    // where doubling would give 4 s. Each wait leaves most of a second to a
    // loaded machine.
    FakeProvider provider;
    GatewayConfig c;
    c.liveHost = provider.base();
    c.pauseMs = 1000;
    c.maxPauseMs = 60000;
    Upstream upstream(c);
    const auto ask = [&](const QString& symbol) {
        UpstreamReply::Kind kind{};
        bool done = false;
        upstream.getJson(QStringLiteral("/v8/finance/chart/") + symbol, 0, [&](const UpstreamReply& r) {
            kind = r.kind;
            done = true;
        });
        EXPECT_TRUE(waitUntil([&] { return done; }, 10000));
        return kind;
    };
    provider.setFault("/v8/", FakeProvider::Fault::Throttle, 3);
    EXPECT_EQ(ask(QStringLiteral("A")), UpstreamReply::Kind::Throttled);  // 1 s
    waitUntil([] { return false; }, 1100);
    EXPECT_EQ(ask(QStringLiteral("B")), UpstreamReply::Kind::Throttled);  // 2 s
    waitUntil([] { return false; }, 2100);
    EXPECT_EQ(ask(QStringLiteral("C")), UpstreamReply::Kind::Throttled);  // 5 s
    EXPECT_EQ(provider.requests().size(), 3);
    waitUntil([] { return false; }, 4300);
    EXPECT_TRUE(upstream.paused());
    waitUntil([] { return false; }, 1000);
    EXPECT_FALSE(upstream.paused());
}

// An answer of any size would be held whole in memory: one past the limit
// is cut off and fails its call, once, without a second ask.
TEST(UpstreamAnswer, OnePastTheLimitFailsItsCall)
{
    FakeProvider provider;
    provider.setChart(QStringLiteral("BIG"), 200, "{\"chart\":{\"result\":[" + QByteArray(1 << 20, ' ') + "]}}");
    GatewayConfig c;
    c.liveHost = provider.base();
    c.maxAnswerBytes = 64 * 1024;
    Upstream upstream(c);
    UpstreamReply got;
    bool done = false;
    upstream.getJson(QStringLiteral("/v8/finance/chart/BIG"), 0, [&](const UpstreamReply& r) {
        got = r;
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done; }, 10000));
    EXPECT_EQ(got.kind, UpstreamReply::Kind::Failed);
    EXPECT_TRUE(got.body.isEmpty());
    EXPECT_EQ(got.detail, QStringLiteral("an answer larger than 64 KiB"));
    EXPECT_EQ(provider.requests().size(), 1);
}
