#include "gatewayfixture.h"

#include "support/settingsstore.h"

#include <QDateTime>

using Fault = FakeProvider::Fault;

namespace {

const QByteArray kAapl = "\"AAPL\",\"2/14/2025\",\"4:00pm\",241.07,245.41,241.00,244.60,40896227,\"Apple Inc.\"\r\n";
const QByteArray kBaba =
    "\"BABA\",\"2/14/2025\",\"4:00pm\",126.59,126.80,120.50,124.73,52086273,\"Alibaba Group Holding Limited\"\r\n";
const QByteArray kIndex =
    "\"^VXAPL\",\"2/14/2025\",\"4:02pm\",23.77,23.77,23.77,23.77,0,\"CBOE EQUITY VIXON APPLE\"\r\n";

QString quotesPath(const QString& symbols)
{
    return QStringLiteral("/d/quotes.csv?s=") + symbols + QStringLiteral("&f=sd1t1ohgl1vn&e=.csv");
}

}  // namespace

TEST_F(GatewayTest, QuotesInRequestOrderWithEchoLinesOnlyForUnknownSymbols)
{
    startGateway();
    const Answer a = get(quotesPath(QStringLiteral("AAPL+ZZZZ+^VXAPL+BABA+")));
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body, kAapl + "\"ZZZZ\",\"N/A\",\"N/A\",N/A,N/A,N/A,0.00,N/A,\"ZZZZ\"\r\n" + kIndex + kBaba);
    // Cookie, crumb, one quote call; to be sure of ZZZZ, its chart twice and
    // a search.
    EXPECT_EQ(provider.count("/fc"), 1);
    EXPECT_EQ(provider.count("/v1/test/getcrumb"), 1);
    EXPECT_EQ(provider.count("/v7/finance/quote"), 1);
    EXPECT_EQ(provider.count("/v8/finance/chart/"), 2);
    EXPECT_EQ(provider.count("/v1/finance/search"), 1);

    // Within a minute the same quotes are not asked again; the session stays.
    EXPECT_EQ(get(quotesPath(QStringLiteral("AAPL+ZZZZ+^VXAPL+BABA+"))).body, a.body);
    EXPECT_EQ(provider.requests().size(), 6);

    // Names and exchanges from the same endpoint.
    const Answer names = get(QStringLiteral("/d/quotes.csv?s=AAPL+NVDA+&h=0&f=snx&e=.csv"));
    EXPECT_EQ(names.body, "\"AAPL\",\"Apple Inc.\",\"NasdaqGS\"\r\n\"NVDA\",\"NVIDIA Corporation\",\"NasdaqGS\"\r\n");
}

TEST_F(GatewayTest, QuoteCallsOfAtMostFiftyAndARefusedCallIsSplit)
{
    QStringList symbols;
    for (int i = 0; i < 180; ++i) {
        symbols << QStringLiteral("S%1").arg(i, 3, 10, QLatin1Char('0'));
        provider.addQuote(symbols.last(), 10 + i, 1000 + i, 1739566800);
    }
    // Faster than the provider's pace, so that the 24 calls of the split
    // fit into one attempt.
    startGateway([](GatewayConfig& c) { c.ratePerSec = 20; });
    const auto largestCall = [this] {
        qsizetype most = 0;
        for (const FakeProvider::Request& r : provider.requests()) {
            if (r.path == "/v7/finance/quote")
                most = std::max(most, r.query.count(',') + 1);
        }
        return most;
    };
    const Answer a = get(quotesPath(symbols.join(QLatin1Char('+')) + QLatin1Char('+')));
    ASSERT_EQ(a.status, 200);
    QList<QByteArray> lines = a.body.split('\n');
    ASSERT_EQ(lines.size(), 181);
    EXPECT_EQ(lines[0], "\"S000\",\"2/14/2025\",\"4:00pm\",9.00,11.00,8.00,10.00,1000,\"S000 Corp\"\r");
    EXPECT_EQ(lines[179], "\"S179\",\"2/14/2025\",\"4:00pm\",188.00,190.00,187.00,189.00,1179,\"S179 Corp\"\r");
    EXPECT_EQ(provider.count("/v7/finance/quote"), 4);
    EXPECT_EQ(largestCall(), 50);
    EXPECT_EQ(provider.count("/v8/"), 0);

    // A provider that refuses calls of more than 20: each refused call is
    // asked again in halves (50 -> 25 + 25 -> 12 + 13 each; the last call of
    // 30 -> 15 + 15), never a failed batch.
    for (QString& s : symbols)
        s.replace(QLatin1Char('S'), QLatin1Char('R'));
    for (int i = 0; i < 180; ++i)
        provider.addQuote(symbols[i], 10 + i, 1000 + i, 1739566800);
    provider.setQuoteLimit(20);
    provider.clearRequests();
    const Answer b = get(quotesPath(symbols.join(QLatin1Char('+')) + QLatin1Char('+')));
    ASSERT_EQ(b.status, 200);
    lines = b.body.split('\n');
    ASSERT_EQ(lines.size(), 181);
    EXPECT_EQ(lines[100], "\"R100\",\"2/14/2025\",\"4:00pm\",109.00,111.00,108.00,110.00,1100,\"R100 Corp\"\r");
    EXPECT_EQ(provider.count("/v7/finance/quote"), 4 + 8 + 12);
    EXPECT_EQ(largestCall(), 50);
    EXPECT_EQ(provider.count("/v8/"), 0);
}

TEST_F(GatewayTest, RefusedCrumbIsRenewedOnceThenTheChartServes)
{
    startGateway();
    get(quotesPath(QStringLiteral("AAPL+")));
    provider.clearRequests();

    // An expired session: renewed, and the quote asked again.
    provider.rotateCrumb();
    EXPECT_EQ(get(quotesPath(QStringLiteral("BABA+"))).body, kBaba);
    EXPECT_EQ(provider.count("/v1/test/getcrumb"), 1);
    EXPECT_EQ(provider.count("/v7/finance/quote"), 2);

    // Refused again after renewing: the per-symbol chart answers instead,
    // and later requests go there straight away. The recorded chart has no
    // bar of the quote's day, so no open: not available, never the last
    // price in its place.
    provider.refuseCrumbs(true);
    provider.clearRequests();
    const Answer a = get(quotesPath(QStringLiteral("NVDA+SI+")));
    EXPECT_EQ(a.status, 200);
    EXPECT_TRUE(a.body.startsWith("\"NVDA\",\"2/21/2025\",\"4:00pm\",N/A,141.46,134.04,134.43,225991924,"
                                  "\"NVIDIA Corporation\"\r\n"))
        << a.body.constData();
    EXPECT_TRUE(a.body.endsWith("\"SI\",\"N/A\",\"N/A\",N/A,N/A,N/A,0.00,N/A,\"SI\"\r\n"));
    EXPECT_EQ(provider.count("/v7/finance/quote"), 2);
    provider.clearRequests();
    EXPECT_EQ(get(quotesPath(QStringLiteral("EURUSD=X+"))).status, 200);
    EXPECT_EQ(provider.count("/v7/finance/quote"), 0);
}

TEST_F(GatewayTest, ConsentOnTheCookieHostFallsBackToTheChart)
{
    provider.setFault("/fc", Fault::Consent);
    for (const char* key : {"LiveWebHost", "LivePortalHost"})
        store::write(QLatin1String(key), QStringLiteral("http://127.0.0.1:1"));
    store::sync();
    startGateway();
    const Answer a = get(quotesPath(QStringLiteral("EURUSD=X+")));
    EXPECT_EQ(a.status, 200);
    // A currency: four decimals, no volume, the time of London; the chart
    // has no bar of that day, so its open is not available.
    EXPECT_EQ(a.body, "\"EURUSD=X\",\"2/20/2025\",\"11:46am\",N/A,1.0449,1.0422,1.0436,0,\"EUR/USD\"\r\n");
    EXPECT_EQ(provider.count("/v1/test/getcrumb"), 0);
    EXPECT_EQ(provider.count("/v7/finance/quote"), 0);
    EXPECT_EQ(provider.count("/v7/finance/spark"), 0);  // it has no open
    EXPECT_EQ(provider.count("/v8/finance/chart/"), 1);
}

TEST_F(GatewayTest, FailuresAreNeverAnsweredAsQuotes)
{
    startGateway();
    // HTML where JSON was due, a consent redirect, a server error: each a
    // short 503 page without a line break, never an echo line.
    for (const Fault fault : {Fault::HtmlPage, Fault::Consent, Fault::ServerError}) {
        provider.setFault("/v7/", fault, fault == Fault::ServerError ? 2 : 1);
        const Answer a = get(quotesPath(QStringLiteral("AAPL+ZZZZ+")));
        EXPECT_EQ(a.status, 503);
        EXPECT_TRUE(a.body.startsWith("<html>"));
        EXPECT_FALSE(a.body.contains("\r\n"));
        EXPECT_FALSE(a.body.contains("N/A"));
    }
    // The server error was tried twice, after a pause.
    EXPECT_EQ(provider.count("/v7/"), 4);
}

TEST_F(GatewayTest, TooManyRequestsPausesAllTraffic)
{
    provider.setFault("/v7/", Fault::Throttle, 1);
    startGateway();
    const Answer a = get(quotesPath(QStringLiteral("AAPL+")));
    EXPECT_EQ(a.status, 503);
    EXPECT_TRUE(a.body.contains("Too Many Requests"));
    const int asked = provider.requests().size();

    // Paused: every request fails at once without asking, history too.
    const Answer b = get(quotesPath(QStringLiteral("AAPL+")));
    EXPECT_EQ(b.status, 503);
    EXPECT_LT(b.ms, 5000);  // not after the 9 s budget; a margin for a loaded machine
    EXPECT_EQ(get(QStringLiteral("/table.csv?s=nvda&a=6&b=1&c=2021&d=7&e=12&f=2021&y=0&g=d&ignore=.csv")).status, 503);
    EXPECT_EQ(provider.requests().size(), asked);
}

TEST_F(GatewayTest, SlowProviderFailsTheAttemptAndTheRetryGetsWhatArrived)
{
    // The provider keeps its answers back until the first attempt is over.
    provider.holdAnswers(true);
    startGateway([](GatewayConfig& c) { c.budgetMs = 1000; });
    // Not answered within the budget: the connection closes, no page. The
    // upper bound, with a margin for a loaded machine, tells the budget from
    // the client's own 30 s.
    const Answer first = get(quotesPath(QStringLiteral("AAPL+")));
    EXPECT_EQ(first.status, 0);
    EXPECT_GE(first.ms, 900);
    EXPECT_LT(first.ms, 1000 + 5000);
    const int asked = provider.requests().size();

    // Then it answers, slowly: the retries join the work under way; once it
    // is done, one answers. Each retry lasts at most the budget, so there
    // are many more of them than the work needs.
    provider.setDelay(2500);
    provider.holdAnswers(false);
    provider.releaseAnswers();
    Answer retry;
    for (int i = 0; i < 40 && retry.status != 200; ++i)
        retry = get(quotesPath(QStringLiteral("AAPL+")));
    EXPECT_EQ(retry.body, kAapl);
    EXPECT_EQ(provider.requests().size(), asked + 2);  // the crumb and one quote call, no repeats
}

TEST_F(GatewayTest, OneNotFoundOfAValidSymbolIsAFailureNeverAnUnknownSymbol)
{
    provider.addQuote(QStringLiteral("TSN"), 60, 5000, 1739566800, QStringLiteral("Tyson Foods"));
    provider.addQuote(QStringLiteral("KO"), 70, 6000, 1739566800, QStringLiteral("Coca-Cola"));
    provider.refuseCrumbs(true);  // every quote from the charts
    startGateway();
    // TSN: "not found" on both hosts during an outage, but the search knows
    // it. KO: "not found" once, then its chart. ZZZZ: unknown all round.
    provider.setFault("/v8/finance/chart/TSN", Fault::NotFound, 2);
    provider.setFault("/v8/finance/chart/KO", Fault::NotFound, 1);
    const Answer a = get(quotesPath(QStringLiteral("TSN+KO+ZZZZ+")));
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body, "\"KO\",\"2/14/2025\",\"4:00pm\",69.00,71.00,68.00,70.00,6000,\"Coca-Cola\"\r\n"
                      "\"ZZZZ\",\"N/A\",\"N/A\",N/A,N/A,N/A,0.00,N/A,\"ZZZZ\"\r\n");
    EXPECT_FALSE(a.body.contains("TSN"));  // no line: a failed download, asked again

    // Asked again after the outage: there.
    const Answer b = get(quotesPath(QStringLiteral("TSN+")));
    EXPECT_EQ(b.body, "\"TSN\",\"2/14/2025\",\"4:00pm\",59.00,61.00,58.00,60.00,5000,\"Tyson Foods\"\r\n");

    // The only symbol of a request, not confirmed: the request failed.
    provider.addQuote(QStringLiteral("HRL"), 30, 4000, 1739566800);
    provider.setFault("/v8/finance/chart/HRL", Fault::NotFound, 2);
    const Answer c = get(quotesPath(QStringLiteral("HRL+")));
    EXPECT_NE(c.status, 200);
    EXPECT_FALSE(c.body.contains("N/A"));
}
