#include "fakeservice.h"
#include "quotes/fetch.h"
#include "quotes/gap.h"
#include "quotes/quoteclient.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/state.h"
#include "support/yield.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <vector>

using Fault = FakeQuoteService::Fault;

class FetchTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(fake.isListening());
        fake.useForAllHosts();
        settings().teller2 = 5;
        settings().teller3 = 3;
        fake.setPage("/q", "", {200, "<html>a quote page</html>", "text/html"});
        fake.setPage("/table.csv", "", {200, "Date,Open,High,Low,Close,Volume\n14-Jun-04,1,2,0.5,1.5,100\n"});
    }

    QString url(const char* pathAndQuery) const
    {
        return QStringLiteral("http://") + fake.host() + QLatin1String(pathAndQuery);
    }

    FetchResult fetch(FetchVariant variant, const char* pathAndQuery, GapTimer* gap = nullptr)
    {
        FetchRequest r;
        r.url = url(pathAndQuery);
        r.policy = FetchPolicy::forVariant(variant, gap);
        return fetchurl(r);
    }

    // One fetch of the client, run to its end.
    FetchResult fetchurl(const FetchRequest& r)
    {
        AsyncFetch f(client, r);
        f.start();
        waitUntil([&f] { return !f.running(); }, 120000);
        return f.result();
    }

    FakeQuoteService fake;
    CancelToken stop;  // the Stop of whoever owns the client
    QuoteClient client{&stop};
};

TEST_F(FetchTest, RequestIsSentAsBuiltWithForbiddenBytesEscaped)
{
    fake.addQuote(FakeQuoteService::quote("AAA", "6/4/2004", "1.5", "100", "AAA INC"));
    const FetchResult r =
        fetch(FetchVariant::Loader, "/d/quotes.csv?s=AAA+^BBB+CCCDDD=X+a b#c\x7f+&f=sd1t1ohgl1vn&e=.csv");
    EXPECT_EQ(r.errorCode, 0);
    ASSERT_EQ(fake.requests().size(), 1);
    const auto& req = fake.requests()[0];
    // Nothing can end or extend the request line early.
    EXPECT_FALSE(req.target.contains(' '));
    EXPECT_FALSE(req.target.contains('#'));
    EXPECT_TRUE(req.target.contains("+CCCDDD=X+"));
    EXPECT_EQ(req.query.value("s"), QByteArray("AAA+^BBB+CCCDDD=X+a b#c\x7f+"));
    EXPECT_EQ(req.query.value("f"), QByteArray("sd1t1ohgl1vn"));
    EXPECT_TRUE(r.body.startsWith("\"AAA\",\"6/4/2004\""));
}

TEST_F(FetchTest, HtmlAnswersAreEmptyForDataCallersOnly)
{
    fake.setFault(Fault::HtmlPage);
    EXPECT_TRUE(fetch(FetchVariant::Loader, "/d/quotes.csv?s=A+&f=sn").body.isEmpty());
    EXPECT_TRUE(fetch(FetchVariant::Lookup, "/d/quotes.csv?s=A+&f=sn").body.isEmpty());
    EXPECT_TRUE(fetch(FetchVariant::Historical, "/table.csv?s=a").body.isEmpty());
    EXPECT_TRUE(fetch(FetchVariant::Investigation, "/q?s=A").body.startsWith("<html>"));
    EXPECT_TRUE(fetch(FetchVariant::Search, "/l?s=A").body.startsWith("<html>"));

    // An HTTP error status still delivers its page: one attempt, code 0.
    fake.clearRequests();
    fake.setFault(Fault::ServerError);
    const FetchResult r = fetch(FetchVariant::Investigation, "/q?s=A");
    EXPECT_EQ(r.errorCode, 0);
    EXPECT_TRUE(r.body.contains("Internal Server Error"));
    EXPECT_EQ(fake.requests().size(), 1);
}

// The built-in gateway's page for a live source it cannot reach says why;
// that is what the user reads, not that a page came.
TEST_F(FetchTest, TheGatewaysUnreachableSourceIsNamedAsSuch)
{
    QByteArray page = "<html><body>Quote source unavailable: Host q&amp;1.example not found</body></html>";
    fake.setResponder([&page](const FakeQuoteService::Request&) -> std::optional<FakeQuoteService::Reply> {
        return FakeQuoteService::Reply{503, page, "text/html"};
    });
    FetchResult r = fetch(FetchVariant::Loader, "/d/quotes.csv?s=A+&f=sn");
    EXPECT_TRUE(r.body.isEmpty());
    EXPECT_EQ(r.problem, FetchProblem::Unreachable);
    EXPECT_EQ(r.problemText,
              QStringLiteral("the quote service could not be reached (the live source: Host q&1.example not found)"));
    // A source that answered, but not usably, is no unreachable one.
    page = "<html><body>Quote source unavailable: Too Many Requests</body></html>";
    r = fetch(FetchVariant::Loader, "/d/quotes.csv?s=A+&f=sn");
    EXPECT_EQ(r.problem, FetchProblem::Unusable);
    EXPECT_EQ(
        r.problemText,
        QStringLiteral("the quote service answered with something unusable (the live source: Too Many Requests)"));
    // Any other page is an unusable answer.
    page = "<html><body>Down for maintenance</body></html>";
    r = fetch(FetchVariant::Loader, "/d/quotes.csv?s=A+&f=sn");
    EXPECT_EQ(r.problem, FetchProblem::Unusable);
}

TEST_F(FetchTest, FailedAttemptsAreRepeatedUpToTheVariantsLimit)
{
    fake.setFault(Fault::CloseBeforeAnswer);
    FetchResult r = fetch(FetchVariant::Loader, "/d/quotes.csv?s=A+&f=sn");
    EXPECT_TRUE(r.body.isEmpty());
    EXPECT_NE(r.errorCode, 0);
    EXPECT_EQ(r.attempts, 3);
    EXPECT_FALSE(r.timedOut);

    r = fetch(FetchVariant::Lookup, "/d/quotes.csv?s=A+&f=sn");
    EXPECT_EQ(r.attempts, 6);

    // A failure followed by an answer: the answer is used.
    fake.setFault(Fault::None);
    fake.queueFault(Fault::CloseMidBody);
    fake.clearRequests();
    r = fetch(FetchVariant::Loader, "/d/quotes.csv?s=A+&f=sn");
    EXPECT_EQ(r.errorCode, 0);
    EXPECT_EQ(r.attempts, 2);
    EXPECT_TRUE(r.body.startsWith("\"A\""));
}

TEST_F(FetchTest, ServerDownGivesAnEmptyTextAfterEveryAttempt)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    FetchRequest r;
    r.url = QStringLiteral("http://127.0.0.1:%1/d/quotes.csv?s=A+").arg(closedPort);
    r.policy = FetchPolicy::forVariant(FetchVariant::Loader);
    int seen = 0;
    r.beforeAttempt = [&seen](int n) { seen = n; };
    const FetchResult result = fetchurl(r);
    EXPECT_TRUE(result.body.isEmpty());
    EXPECT_NE(result.errorCode, 0);
    EXPECT_EQ(seen, 3);
}

TEST_F(FetchTest, OversizedBodyIsAFailedAttempt)
{
    fake.queueFault(Fault::HugeBody);
    const FetchResult r = fetch(FetchVariant::Investigation, "/q?s=A");
    EXPECT_EQ(r.attempts, 2);
    EXPECT_EQ(r.body, QByteArray("<html>a quote page</html>"));

    fake.setFault(Fault::HugeBody);
    settings().teller3 = 1;
    const FetchResult big = fetch(FetchVariant::Investigation, "/q?s=A");
    EXPECT_EQ(big.errorCode, fetcherr::BodyTooLarge);
    EXPECT_TRUE(big.body.isEmpty());
}

TEST_F(FetchTest, HangingRequestTimesOutAfterTheRequestTimeout)
{
    settings().teller2 = 1;
    settings().teller3 = 2;
    fake.setFault(Fault::Hang);
    QElapsedTimer clock;
    clock.start();
    const FetchResult r = fetch(FetchVariant::Loader, "/d/quotes.csv?s=A+&f=sn");
    const qint64 elapsed = clock.elapsed();
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.errorCode, fetcherr::TimedOut);
    EXPECT_TRUE(r.body.isEmpty());
    EXPECT_EQ(fake.requests().size(), 2);
    // Never before the two time-outs; the upper bound only tells a time-out
    // from the 30 s in-flight cap or a time-out counted in the wrong unit.
    EXPECT_GE(elapsed, 2000);
    EXPECT_LT(elapsed, 2000 + 10000);

    // The investigation sets its time-out only after the first GET: the
    // first attempt runs into the in-flight cap instead.
    fake.clearRequests();
    FetchRequest inv;
    inv.url = url("/q?s=A");
    inv.policy = FetchPolicy::forVariant(FetchVariant::Investigation);
    EXPECT_EQ(inv.policy.timeoutSec, 1);
    EXPECT_TRUE(inv.policy.timeoutFromSecondAttempt);
    inv.policy.capMs = 1500;
    clock.restart();
    const FetchResult ri = fetchurl(inv);
    EXPECT_EQ(ri.attempts, 2);
    EXPECT_GE(clock.elapsed(), 2500);
}

TEST_F(FetchTest, StopEndsARequestInFlightPromptly)
{
    // The service never answers and the time-out is far away: Stop, pressed
    // once the request has arrived, is the only way the fetch can end.
    settings().teller2 = 30;
    fake.setFault(Fault::Hang);
    QElapsedTimer sinceStop;
    QObject scope;
    QObject::connect(&fake, &FakeQuoteService::requestArrived, &scope, [this, &sinceStop] {
        stop.cancel();
        sinceStop.start();
    });
    const FetchResult r = fetch(FetchVariant::Loader, "/d/quotes.csv?s=A+&f=sn");
    ASSERT_TRUE(sinceStop.isValid());
    const qint64 elapsed = sinceStop.elapsed();
    EXPECT_TRUE(r.aborted);
    EXPECT_FALSE(r.timedOut);
    EXPECT_TRUE(r.body.isEmpty());
    EXPECT_EQ(fake.requests().size(), 1);  // not tried again
    // The token is looked at every 20 ms; the margin is for a loaded machine.
    EXPECT_LT(elapsed, 3000);
}

TEST_F(FetchTest, StopDuringTheGapWaitSendsNothing)
{
    GapTimer gap;
    gap.setInterval(60000);
    gap.start();
    settings().isdelay = true;
    // Set from the event loop, so while the fetch waits for the gap.
    bool stopped = false;
    QTimer::singleShot(0, [this, &stopped] {
        stop.cancel();
        stopped = true;
    });
    const FetchResult r = fetch(FetchVariant::Loader, "/d/quotes.csv?s=A+&f=sn", &gap);
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(r.body.isEmpty());
    EXPECT_TRUE(fake.requests().isEmpty());
    // Ended long before the gap did.
    EXPECT_TRUE(gap.running());
}

TEST_F(FetchTest, LookupIsNotEndedByItsClientsToken)
{
    stop.cancel();
    const FetchResult r = fetch(FetchVariant::Lookup, "/d/quotes.csv?s=A+&f=sn");
    EXPECT_FALSE(r.aborted);
    EXPECT_TRUE(r.body.startsWith("\"A\""));
}

TEST_F(FetchTest, RequestsOfOneWindowKeepTheGap)
{
    // The requests of both windows may overlap (batches, symbols in flight
    // together): the gap spaces their starts, also while the earlier one
    // still waits for its answer. Timed where the requests go out: their
    // arrival at the service varies with the load of the machine.
    GapTimer gap;
    gap.setInterval(400);
    settings().isdelay = true;
    for (const auto& [variant, path] : {std::pair{FetchVariant::Loader, "/d/quotes.csv?s=A+&f=sn"},
                                        std::pair{FetchVariant::Historical, "/table.csv?s=a"}}) {
        fake.clearRequests();
        // No answer comes until all three are out.
        fake.holdAnswers(true);
        QElapsedTimer clock;
        clock.start();
        QVector<qint64> sent;
        std::vector<std::unique_ptr<AsyncFetch>> fetches;
        for (int i = 0; i < 3; ++i) {
            FetchRequest r;
            r.url = url(path);
            r.policy = FetchPolicy::forVariant(variant, &gap);
            r.policy.attempts = 1;
            r.beforeAttempt = [&](int) { sent << clock.elapsed(); };
            fetches.push_back(std::make_unique<AsyncFetch>(client, r));
            fetches.back()->start();
        }
        waitUntil([&] { return fake.requests().size() == 3; }, 10000);
        fake.holdAnswers(false);
        fake.releaseAnswers();
        waitUntil(
            [&] { return std::none_of(fetches.begin(), fetches.end(), [](const auto& f) { return f->running(); }); },
            10000);
        ASSERT_EQ(sent.size(), 3);
        for (int i = 1; i < sent.size(); ++i)
            EXPECT_GE(sent[i] - sent[i - 1], 399) << i;  // the clock's millisecond rounding
    }

    // Without the delay the next request goes out at once, while the gap
    // the first one restarted still runs (it is kept for a later run with
    // the delay on).
    fake.clearRequests();
    fake.setDelay(0);
    gap.stop();
    gap.setInterval(60000);
    settings().isdelay = false;
    QVector<bool> gapRunningAtSend;
    for (int i = 0; i < 2; ++i) {
        FetchRequest r;
        r.url = url("/d/quotes.csv?s=A+&f=sn");
        r.policy = FetchPolicy::forVariant(FetchVariant::Loader, &gap);
        r.beforeAttempt = [&](int) { gapRunningAtSend << gap.running(); };
        EXPECT_FALSE(fetchurl(r).body.isEmpty());
    }
    ASSERT_EQ(fake.requests().size(), 2);
    EXPECT_EQ(gapRunningAtSend, QVector<bool>({false, true}));
    EXPECT_TRUE(gap.running());
}

TEST_F(FetchTest, FailedAttemptsAreLoggedAsTheVariantSays)
{
    settings().teller4 = 1;
    settings().teller3 = 1;
    ResetLog();
    fake.setFault(Fault::CloseBeforeAnswer);
    fetch(FetchVariant::Loader, "/d/quotes.csv?s=A+&f=sn");
    QByteArray log = readAll(paths::logFile());
    EXPECT_EQ(log, "error " + fetcherr::describe(fetcherr::Transport + 2).toLatin1() + "\r\n");

    ResetLog();
    fetch(FetchVariant::Historical, "/table.csv?s=a");
    log = readAll(paths::logFile());
    EXPECT_TRUE(log.startsWith("timeout: 5\r\n")) << log.constData();
    EXPECT_TRUE(log.endsWith("\r\ntimeout!\r\n")) << log.constData();
    EXPECT_FALSE(log.contains("error "));
    ResetLog();
}

TEST_F(FetchTest, HistoricalVariantRetriesShortAndRepeatedAnswers)
{
    // 40 characters is not enough: tried teller3 times, then returned.
    const QByteArray forty(40, 'x');
    fake.setPage("/table.csv", "SHORT", {200, forty});
    FetchResult r = fetch(FetchVariant::Historical, "/table.csv?s=short");
    EXPECT_EQ(r.attempts, 3);
    EXPECT_EQ(r.body, forty);

    // The service's own answer for a range without prices is asked once.
    fake.setPage("/table.csv", "EMPTY", {200, "No Prices in this date range"});
    r = fetch(FetchVariant::Historical, "/table.csv?s=empty");
    EXPECT_EQ(r.attempts, 1);
    EXPECT_EQ(r.body, "No Prices in this date range");

    // The same answer for the next symbol is the previous symbol's data.
    r = fetch(FetchVariant::Historical, "/table.csv?s=ibm");
    EXPECT_EQ(r.attempts, 1);
    EXPECT_FALSE(r.body.isEmpty());
    r = fetch(FetchVariant::Historical, "/table.csv?s=msft");
    EXPECT_TRUE(r.body.isEmpty());
    EXPECT_EQ(r.attempts, 3);

    stop.cancel();
    fake.clearRequests();
    r = fetch(FetchVariant::Historical, "/table.csv?s=ibm");
    EXPECT_TRUE(r.aborted);
    EXPECT_TRUE(fake.requests().isEmpty());
}
