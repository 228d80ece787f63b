#include "database/db.h"
#include "database/quotestore.h"
#include "downloadfixture.h"
#include "fakeprovider.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/yield.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>

using Fault = FakeProvider::Fault;

// The program with its hosts left at "live": it starts its own gateway,
// which asks the fake provider in this process.
class LiveCommandTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        provider.useInStore();
        store::write(QStringLiteral("Isdelay"), QStringLiteral("False"));
        store::sync();
    }

    FakeProvider provider;
};

TEST_F(LiveCommandTest, QuoteThroughTheGateway)
{
    ProgramRun r = runQuotaris({QStringLiteral("quote"), QStringLiteral("AAPL"), QStringLiteral("ZZZZ"),
                                QStringLiteral("^VXAPL"), QStringLiteral("BABA")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.lines(),
              (QStringList{"AAPL,20250214,4:00pm,241.07,245.41,241,244.6,40896227,Apple Inc.",
                           "^VXAPL,20250214,4:02pm,23.77,23.77,23.77,23.77,0,CBOE EQUITY VIXON APPLE",
                           "BABA,20250214,4:00pm,126.59,126.8,120.5,124.73,52086273,Alibaba Group Holding Limited",
                           "not found: ZZZZ"}));

    // The quote endpoint has no EURUSD=X and its chart no bar of the day:
    // its open is nobody's, so the quote is not printed with a stand-in.
    r = runQuotaris({QStringLiteral("quote"), QStringLiteral("EURUSD=X"), QStringLiteral("AAPL")});
    EXPECT_EQ(r.status, 5) << qPrintable(r.err);
    EXPECT_EQ(r.lines(), (QStringList{"AAPL,20250214,4:00pm,241.07,245.41,241,244.6,40896227,Apple Inc.",
                                      "not all values available: EURUSD=X"}));

    // Throttled: the batch failed; no symbol passes for unknown.
    provider.setFault("/v7/", Fault::Throttle);
    r = runQuotaris({QStringLiteral("quote"), QStringLiteral("AAPL"), QStringLiteral("BABA")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Download failed: AAPL BABA"))) << qPrintable(r.err);
    EXPECT_FALSE(r.out.contains(QStringLiteral("not found")));

    // The quote service itself cannot be reached: said so.
    for (const char* key : {"QuoteHost", "QuoteHostAU", "QuoteHostSG", "ChartHost"})
        store::write(QLatin1String(key), QStringLiteral("127.0.0.1:1"));
    store::sync();
    r = runQuotaris({QStringLiteral("quote"), QStringLiteral("AAPL")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        r.err.contains(QStringLiteral("Quote service not reached: AAPL (the quote service could not be reached")))
        << qPrintable(r.err);
    EXPECT_FALSE(r.err.contains(QStringLiteral("Download failed"))) << qPrintable(r.err);
}

TEST_F(LiveCommandTest, InvestigateThroughTheGateway)
{
    writeFile(dataFolder() + QStringLiteral("/changes.txt"), "SI SICP\n");
    ProgramRun r = runQuotaris({QStringLiteral("investigate"), QStringLiteral("NVDA")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.lines(), (QStringList{"NVDA not changed", "history from 1999-01-22"}));

    r = runQuotaris({QStringLiteral("investigate"), QStringLiteral("SI")});
    EXPECT_EQ(r.lines(), (QStringList{"SI changed to SICP", "history start not found"}));

    // A provider that does not answer is no answer, not "not changed".
    Database(paths::databaseFile()).exec(QStringLiteral("UPDATE globaal SET teller2 = 2, teller3 = 1"));
    provider.setFault("/v8/", Fault::Hang);
    r = runQuotaris({QStringLiteral("investigate"), QStringLiteral("MSFT")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("No answer from the quote service for MSFT")));
}

TEST_F(LiveCommandTest, SearchThroughTheGatewayInUtf8AndPastTheFirstPage)
{
    for (int i = 0; i < 70; ++i)
        provider.addQuote(QStringLiteral("W%1.WA").arg(i, 2, 10, QLatin1Char('0')), 10, 10, 1739566800,
                          QString::fromUtf8("Łódź Widget %1").arg(i));
    ProgramRun r = runQuotaris({QStringLiteral("search"), QString::fromUtf8("Łódź")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    QStringList lines = r.lines();
    ASSERT_EQ(lines.size(), 51) << qPrintable(r.out);
    EXPECT_EQ(lines[0], QString::fromUtf8("W00.WA,Lódz Widget 0,NYSE"));
    EXPECT_EQ(lines[50], QStringLiteral("results 1-50 of 70"));

    r = runQuotaris(
        {QStringLiteral("search"), QString::fromUtf8("Łódź"), QStringLiteral("--from"), QStringLiteral("51")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    lines = r.lines();
    ASSERT_EQ(lines.size(), 21) << qPrintable(r.out);
    EXPECT_EQ(lines[0], QString::fromUtf8("W50.WA,Lódz Widget 50,NYSE"));
    EXPECT_EQ(lines[20], QStringLiteral("results 51-70 of 70"));
}

TEST_F(LiveCommandTest, FailedGatewayAnswersAreNoAnswerNotNoMatch)
{
    writeFile(dataFolder() + QStringLiteral("/members/MADE.txt"), "AAPL\nBABA\n");
    // The provider throttles: the gateway answers with its failure page.
    provider.setFault("/v7/", Fault::Throttle);
    for (const QStringList& args :
         {QStringList{QStringLiteral("search"), QStringLiteral("--symbol"), QStringLiteral("AAPL")},
          QStringList{QStringLiteral("members"), QStringLiteral("^MADE")}}) {
        const ProgramRun r = runQuotaris(args);
        EXPECT_EQ(r.status, 1) << qPrintable(args.join(QLatin1Char(' ')));
        EXPECT_TRUE(r.err.contains(QStringLiteral("No answer from the quote service"))) << qPrintable(r.err);
        EXPECT_FALSE(r.out.contains(QStringLiteral("Returned No Results"))) << qPrintable(r.out);
    }
}

TEST_F(LiveCommandTest, ServeRunsTheGatewayUntilStopped)
{
    QProcess serve;
    serve.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    serve.start(QStringLiteral(QUOTARIS_BINARY),
                {QStringLiteral("serve"), QStringLiteral("--port"), QStringLiteral("0")});
    ASSERT_TRUE(waitUntil([&] { return serve.canReadLine() || serve.state() == QProcess::NotRunning; }, 20000));
    const QString first = QString::fromUtf8(serve.readLine());
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Gateway listening on http://(127.0.0.1:\\d+)")).match(first);
    ASSERT_TRUE(m.hasMatch()) << qPrintable(first);

    QNetworkAccessManager client;
    client.setProxy(QNetworkProxy::NoProxy);
    QNetworkReply* reply = client.get(QNetworkRequest(
        QUrl(QStringLiteral("http://%1/table.csv?s=nvda&a=6&b=1&c=2021&d=6&e=2&f=2021&y=0&g=d&ignore=.csv")
                 .arg(m.captured(1)))));
    ASSERT_TRUE(waitUntil([&] { return reply->isFinished(); }, 20000));
    EXPECT_EQ(reply->readAll(), "Date,Open,High,Low,Close,Volume,Adj Close\n"
                                "2-Jul-21,20.44025,20.50525,20.28775,20.487,342764000,20.446875\n"
                                "1-Jul-21,20.125,20.456,20.019,20.212,480136000,20.172413\n");
    delete reply;

    // The Options of a running program set a time-out of 2 s: the gateway
    // follows within seconds and gives up on a silent provider after 1.25 s.
    Database(paths::databaseFile()).exec(QStringLiteral("UPDATE globaal SET teller2 = 2"));
    waitUntil([] { return false; }, 6000);
    provider.setFault("/v8/", Fault::Hang);
    QElapsedTimer clock;
    clock.start();
    reply = client.get(QNetworkRequest(QUrl(QStringLiteral("http://%1/q?s=MSFT&d=v1").arg(m.captured(1)))));
    ASSERT_TRUE(waitUntil([&] { return reply->isFinished(); }, 20000));
    EXPECT_FALSE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid());
    EXPECT_LT(clock.elapsed(), 1250 + 4000);  // not the 9.25 s of the time-out it started with
    delete reply;

    serve.terminate();
    ASSERT_TRUE(waitUntil([&] { return serve.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(serve.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(serve.exitCode(), 0);
    EXPECT_TRUE(serve.readAll().contains("Gateway stopped after 2 provider requests"));

    // A port that is taken is refused.
    const ProgramRun taken =
        runQuotaris({QStringLiteral("serve"), QStringLiteral("--port"), provider.base().section(QLatin1Char(':'), 2)});
    EXPECT_EQ(taken.status, 1);
    EXPECT_EQ(runQuotaris({QStringLiteral("serve"), QStringLiteral("--port"), QStringLiteral("http")}).status, 2);
}

// A current download with the hosts at "live": the right values in the
// files, unknown symbols as not found, a throttled provider as failed.
class LiveDownloadTest : public DownloadCommandTest {
protected:
    void SetUp() override
    {
        DownloadCommandTest::SetUp();
        for (const char* key : {"QuoteHost", "QuoteHostAU", "QuoteHostSG", "ChartHost"})
            store::write(QLatin1String(key), QStringLiteral("live"));
        provider.useInStore();
        addSymbols({QStringLiteral("AAPL"), QStringLiteral("BABA"), QStringLiteral("ZZZZ")}, false);
        switchOn(QStringLiteral("C"));
    }

    FakeProvider provider;
};

TEST_F(LiveDownloadTest, QuotesReachTheFiles)
{
    const Run r = run();
    EXPECT_EQ(r.status, 5) << qPrintable(r.err);  // ZZZZ was asked and not got
    EXPECT_TRUE(r.out.contains(QStringLiteral("not found: ZZZZ"))) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_EQ(readAll(folder[QLatin1Char('C')] + QStringLiteral("AAPL.asc")),
              "20250214,241.07,245.41,241.00,244.60,40896227\r\n");
    EXPECT_EQ(readAll(folder[QLatin1Char('C')] + QStringLiteral("BABA.asc")),
              "20250214,126.59,126.80,120.50,124.73,52086273\r\n");
}

TEST_F(LiveDownloadTest, ThrottledProviderFailsTheBatch)
{
    provider.setFault("/v7/", Fault::Throttle);
    const Run r = run();
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("failed: AAPL BABA ZZZZ"))) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_TRUE(r.out.contains(QStringLiteral("not found: ")));
    EXPECT_FALSE(QFile::exists(folder[QLatin1Char('C')] + QStringLiteral("AAPL.asc")));
}

// Ten years of a symbol with an exchange suffix through the gateway: one
// request, so one provider call, instead of the chunks a legacy host needs.
TEST_F(LiveDownloadTest, HistoryOfASymbolIsOneProviderCall)
{
    provider.makeDailyCharts(true);
    addSymbols({QStringLiteral("LONG.AS")}, false);
    const QDate end = QDate::currentDate().addDays(-1);
    const QDate start = end.addYears(-10);
    const Run r = run({QStringLiteral("download"), QStringLiteral("history"), QStringLiteral("--from"),
                       start.toString(Qt::ISODate), QStringLiteral("--to"), end.toString(Qt::ISODate)});
    EXPECT_EQ(provider.count("/v8/finance/chart/LONG.AS"), 1) << qPrintable(r.out.join(QLatin1Char('\n')));
    int weekdays = 0;
    for (QDate d = start; d <= end; d = d.addDays(1))
        weekdays += d.dayOfWeek() < Qt::Saturday;
    EXPECT_EQ(readAll(folder[QLatin1Char('C')] + QStringLiteral("LONG_AS.asc")).count("\r\n"), weekdays)
        << qPrintable(r.out.join(QLatin1Char('\n')));
}

// The quote endpoint refused (crumb refused; the same for a cookie that
// cannot be had): the files hold the provider's own open, high and low of
// the day from each symbol's chart, never the last price in their place.
// The charts take longer than one attempt of the program lasts: each
// answer brings what is in, and the run asks for the rest again.
TEST_F(LiveDownloadTest, WithoutTheQuoteEndpointEveryFileHoldsTheProvidersOwnPrices)
{
    QStringList symbols;
    for (int i = 0; i < 12; ++i) {
        symbols << QStringLiteral("F%1").arg(i, 2, 10, QLatin1Char('0'));
        provider.addQuote(symbols.last(), 20 + i, 500 + i, 1739566800);
    }
    addSymbols(symbols, false);
    provider.refuseCrumbs(true);
    provider.setDelay(400);
    Database(paths::databaseFile()).exec(QStringLiteral("UPDATE globaal SET teller2 = 2"));
    const Run r = run();
    const QString out = r.out.join(QLatin1Char('\n'));
    EXPECT_EQ(r.status, 5) << qPrintable(out);  // ZZZZ is not known
    EXPECT_TRUE(r.out.contains(QStringLiteral("failed: "))) << qPrintable(out);
    EXPECT_TRUE(r.out.contains(QStringLiteral("not found: ZZZZ"))) << qPrintable(out);
    EXPECT_TRUE(out.contains(QStringLiteral("Asking again for"))) << qPrintable(out);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(readAll(folder[QLatin1Char('C')] + symbols[i] + QStringLiteral(".asc")),
                  QStringLiteral("20250214,%1.00,%2.00,%3.00,%4.00,%5\r\n")
                      .arg(19 + i)
                      .arg(21 + i)
                      .arg(18 + i)
                      .arg(20 + i)
                      .arg(500 + i)
                      .toLatin1());
    }
    EXPECT_EQ(readAll(folder[QLatin1Char('C')] + QStringLiteral("AAPL.asc")),
              "20250214,241.07,245.41,241.00,244.60,40896227\r\n");
    EXPECT_EQ(provider.count("/v8/finance/chart/F00"), 1);  // asked once, whatever the attempts
}

// A ticker the provider does not know, changed (the user's table) to one the
// list holds already: listed as changed, not as not found, and the run got
// everything.
TEST_F(LiveDownloadTest, ATickerChangedOntoAStoredSuccessorIsNoDroppedOne)
{
    writeFile(dataFolder() + QStringLiteral("/changes.txt"), "ZZZZ AAPL\n");
    const Run r = run();
    const QString out = r.out.join(QLatin1Char('\n'));
    EXPECT_EQ(r.status, 0) << qPrintable(out);
    EXPECT_TRUE(r.out.contains(QStringLiteral("not found: "))) << qPrintable(out);
    EXPECT_TRUE(r.out.contains(QStringLiteral("changed: ZZZZ -> AAPL (merged)"))) << qPrintable(out);
    EXPECT_EQ(readAll(folder[QLatin1Char('C')] + QStringLiteral("AAPL.asc")),
              "20250214,241.07,245.41,241.00,244.60,40896227\r\n");
}

// The provider's chart of NVDA has no bar of its quote's day, so no open: the
// quote is written nowhere, asked again once, then failed and a finding.
TEST_F(LiveDownloadTest, AQuoteWithoutItsOpenIsAFindingAndNoFile)
{
    addSymbols({QStringLiteral("NVDA")}, false);
    const Run r = run();
    const QString out = r.out.join(QLatin1Char('\n'));
    EXPECT_EQ(r.status, 5) << qPrintable(out);
    EXPECT_TRUE(r.out.contains(QStringLiteral("failed: NVDA"))) << qPrintable(out);
    EXPECT_TRUE(out.contains(QStringLiteral("findings of the integrity check: 1"))) << qPrintable(out);
    EXPECT_FALSE(QFile::exists(folder[QLatin1Char('C')] + QStringLiteral("NVDA.asc")));
    EXPECT_TRUE(QFile::exists(folder[QLatin1Char('C')] + QStringLiteral("AAPL.asc")));
    const Run report = run({QStringLiteral("report"), QStringLiteral("current")});
    EXPECT_TRUE(report.out.join(QLatin1Char('\n')).contains(QStringLiteral("incomplete")))
        << qPrintable(report.out.join(QLatin1Char('\n')));
}

// The legacy service stamps its quotes in New York time, the gateway in the
// exchange's own: the same market moments give the same provisional days in
// the store either way.
class ProvisionalHostsTest : public DownloadCommandTest {
protected:
    void SetUp() override
    {
        DownloadCommandTest::SetUp();
        addSymbols(QStringList(std::begin(kTickers), std::end(kTickers)), false);
        switchOn(QStringLiteral("C"));
    }

    // Each ticker's Provisional flag on 2025-02-14 in the store.
    static QVector<bool> flags()
    {
        QuoteStore store;
        QVector<bool> out;
        for (const char* t : kTickers) {
            const QVector<core::Bar> bars = store.bars(QLatin1String(t), 20250214, 20250214);
            out.append(bars.size() == 1 && bars[0].has(core::Bar::Provisional));
        }
        return out;
    }

    static constexpr const char* kTickers[] = {"EARLY", "LATE", "EARLY.AS", "LATE.AS"};
};

TEST_F(ProvisionalHostsTest, TheSameMarketTimesGiveTheSameFlagsFromEitherHost)
{
    // New York closes at 16:00 (UTC-5 in February), Amsterdam at 17:30 (UTC+1).
    const QDateTime utc(QDate(2025, 2, 14), QTime(0, 0), Qt::UTC);
    const qint64 at[] = {utc.addSecs(19 * 3600 + 30 * 60).toSecsSinceEpoch(),   // 14:30 New York
                         utc.addSecs(21 * 3600).toSecsSinceEpoch(),             // 16:00 New York
                         utc.addSecs(16 * 3600).toSecsSinceEpoch(),             // 17:00 Amsterdam
                         utc.addSecs(16 * 3600 + 35 * 60).toSecsSinceEpoch()};  // 17:35 Amsterdam
    const QByteArray eastern[] = {"2:30pm", "4:00pm", "11:00am", "11:35am"};
    for (int i = 0; i < 4; ++i)
        fake.addQuote({kTickers[i], "2/14/2025", eastern[i], "99", "101", "98", "100", "1000", kTickers[i], "NYSE"});
    Run r = run();
    ASSERT_EQ(r.status, 0) << qPrintable(r.err) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_EQ(flags(), (QVector<bool>{true, false, true, false}));

    for (const char* key : {"QuoteHost", "QuoteHostAU", "QuoteHostSG", "ChartHost"})
        store::write(QLatin1String(key), QStringLiteral("live"));
    FakeProvider provider;
    provider.useInStore();
    for (int i = 0; i < 4; ++i) {
        provider.addQuote(QLatin1String(kTickers[i]), 100, 1000, at[i]);
        if (i >= 2)
            provider.setTimeZone(QLatin1String(kTickers[i]), QStringLiteral("Europe/Amsterdam"));
    }
    // A flag left from before is set anew by the next answer.
    {
        QuoteStore store;
        core::Bar early = store.bars(QStringLiteral("LATE")).value(0);
        early.set(core::Bar::Provisional);
        store.put(QStringLiteral("LATE"), early, 1);
    }
    r = run();
    ASSERT_EQ(r.status, 0) << qPrintable(r.err) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_GT(provider.count("/v7/finance/quote"), 0);
    EXPECT_EQ(flags(), (QVector<bool>{true, false, true, false}));
}
