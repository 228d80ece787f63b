#include "database/startup.h"
#include "gateway/livegateway.h"
#include "gateway/livehosts.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "testutil.h"

class LiveHostsTest : public QuotarisTest {
protected:
    void TearDown() override
    {
        livehosts::stop();
        QuotarisTest::TearDown();
    }
};

TEST_F(LiveHostsTest, OnlyHostsLeftAtLiveGoToTheGateway)
{
    // A fresh install: every host is the gateway.
    ASSERT_TRUE(runStartup().opened);
    EXPECT_TRUE(livehosts::isLive(settings().chartHost));
    QString error;
    ASSERT_TRUE(livehosts::resolve(&error)) << qPrintable(error);
    ASSERT_NE(livehosts::running(), nullptr);
    const QString address = livehosts::running()->address();
    EXPECT_EQ(settings().quoteHost, address);
    EXPECT_EQ(settings().chartHost, address);

    // A host of the user's own stays; the others share the one gateway.
    livehosts::stop();
    store::write(QStringLiteral("QuoteHost"), QStringLiteral("quotes.example:8080"));
    store::write(QStringLiteral("ChartHost"), QStringLiteral(" LIVE "));
    ASSERT_TRUE(runStartup().opened);
    ASSERT_TRUE(livehosts::resolve(&error));
    EXPECT_EQ(settings().quoteHost, QStringLiteral("quotes.example:8080"));
    EXPECT_EQ(settings().chartHost, livehosts::running()->address());
    EXPECT_EQ(settings().quoteHostAU, livehosts::running()->address());
}

TEST_F(LiveHostsTest, NoGatewayWhenEveryHostIsSet)
{
    for (const char* key : {"QuoteHost", "QuoteHostAU", "QuoteHostSG", "ChartHost"})
        store::write(QLatin1String(key), QStringLiteral("127.0.0.1:9"));
    ASSERT_TRUE(runStartup().opened);
    QString error;
    EXPECT_TRUE(livehosts::resolve(&error));
    EXPECT_EQ(livehosts::running(), nullptr);
    EXPECT_EQ(settings().chartHost, QStringLiteral("127.0.0.1:9"));
}
