#include "currentrunfixture.h"
#include "runwait.h"

#include "runs/currentreport.h"
#include "runs/currentrun.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"

#include <QDir>
#include <QFile>
#include <algorithm>

using Fault = FakeQuoteService::Fault;

TEST_F(CurrentRunTest, BatchesOf180AreWrittenToEveryFormat)
{
    addSymbols(numbered(QStringLiteral("S"), 181));
    CurrentRun run;
    QStringList phases;
    QObject::connect(&run, &CurrentRun::panel1Changed, [&phases](const QString& t) { phases << t; });
    EXPECT_TRUE(runToEnd(run));

    // Both batches are in flight at once, so they may arrive in either order.
    ASSERT_EQ(fake.requests().size(), 2);
    QList<QByteArray> asked{fake.requests()[0].query.value("s"), fake.requests()[1].query.value("s")};
    std::sort(asked.begin(), asked.end(), [](const QByteArray& a, const QByteArray& b) { return a.size() > b.size(); });
    EXPECT_EQ(asked[0].split('+').size(), 181);  // 180 tickers and the empty text after the last "+"
    EXPECT_TRUE(asked[0].startsWith("S0+S1+"));
    EXPECT_EQ(asked[1], QByteArray("S180+"));
    EXPECT_TRUE(phases.contains(QStringLiteral("Downloading 180 quotes....")));
    EXPECT_TRUE(phases.contains(QStringLiteral("Downloading 181 quotes....")));

    const CurrentRunSummary& sum = run.summary();
    EXPECT_EQ(sum.symbols, 181);
    EXPECT_EQ(sum.quotesReceived, 181);
    EXPECT_EQ(sum.written.value(QLatin1Char('C')), 181);
    EXPECT_EQ(sum.written.value(QLatin1Char('P')), 181);
    EXPECT_EQ(sum.outcome(), QStringLiteral("Download finished: 181 of 181 written"));
    EXPECT_EQ(phases.last(), sum.outcome());

    EXPECT_EQ(readAll(ascii + QStringLiteral("S7.asc")).count("\r\n"), 1);
    const QStringList lines = ami1Lines();
    ASSERT_EQ(lines.size(), 182);
    EXPECT_EQ(lines[0], QStringLiteral("<TICKER>,<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>"));
    EXPECT_TRUE(lines.contains(QStringLiteral("S7,20261201,10.5,11,10,10.75,1200")));
    ASSERT_FALSE(runFile().isEmpty());
    EXPECT_EQ(readAll(runFile()), readAll(paths::dataFile(QStringLiteral("ami1.txt"))));
    EXPECT_TRUE(msgs.shown.isEmpty()) << qPrintable(msgs.texts().join(QLatin1Char('|')));
}

TEST_F(CurrentRunTest, MissingOpenTakesTheCloseInEveryLaterFormat)
{
    addSymbols({QStringLiteral("ZERO")}, 1, false);
    fake.addQuote(quoteOf("ZERO", "0"));
    settings().format('P').value("h11") = QStringLiteral("1");
    CurrentRun run;
    runToEnd(run);
    EXPECT_TRUE(ami1Lines().contains(QStringLiteral("ZERO,20261201,10.75,11,10,10.75,1200,0")));
    EXPECT_TRUE(readAll(ascii + QStringLiteral("ZERO.asc")).contains("10.75,11,10,10.75"));
}

TEST_F(CurrentRunTest, ChangedTickersAreRenamedAndFetchedAgain)
{
    addSymbols({QStringLiteral("GOOD")});
    addSymbols({QStringLiteral("ABC.AS"), QStringLiteral("GONE")}, 1, false);
    fake.addQuote(quoteOf("ABD.AS"));
    fake.setPage("/q", "ABC.AS", {200, FakeQuoteService::changedTickerPage("ABC.AS", "ABD.AS"), "text/html"});
    writeFile(ascii + QStringLiteral("ABC_AS.asc"), "\"ABC.AS\",11/28/2026,1,1,1,1,5\r\n");

    CurrentRun run;
    EXPECT_TRUE(runToEnd(run));

    // The re-download of the new ticker is written before the run ends.
    EXPECT_EQ(run.summary().batches, 2);
    EXPECT_FALSE(QFile::exists(ascii + QStringLiteral("ABC_AS.asc")));
    const QByteArray renamed = readAll(ascii + QStringLiteral("ABD_AS.asc"));
    EXPECT_EQ(renamed.count("\r\n"), 2) << renamed.constData();
    EXPECT_TRUE(ami1Lines().contains(QStringLiteral("ABD.AS,20261201,10.5,11,10,10.75,1200")));

    CurrentReport report;
    report.load();
    ASSERT_EQ(report.changed.size(), 1);
    EXPECT_EQ(report.changed[0].newTicker, QStringLiteral("ABD.AS"));
    EXPECT_EQ(report.notFound, QStringList({"GONE"}));  // the changed one is no dropped one
    Database db(paths::databaseFile());
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM fondsen WHERE codeyahoo = 'ABD.AS'")).toInt(), 1);
    EXPECT_EQ(run.summary().changed, QStringList({"ABC.AS -> ABD.AS"}));
}

TEST_F(CurrentRunTest, AFailedBatchIsRecordedAndTheOthersAreWritten)
{
    addSymbols(numbered(QStringLiteral("A"), 180));
    addSymbols(numbered(QStringLiteral("B"), 20));
    fake.setResponder([](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        if (r.path == "/d/quotes.csv" && r.query.value("s").startsWith("A0+"))
            return FakeQuoteService::Reply{200, "<html><body>Service unavailable</body></html>", "text/html"};
        return std::nullopt;
    });
    CurrentRun run;
    runToEnd(run);
    const CurrentRunSummary& sum = run.summary();
    EXPECT_EQ(sum.failedBatches, 1);
    EXPECT_EQ(sum.written.value(QLatin1Char('C')), 20);
    EXPECT_TRUE(sum.outcome().startsWith(QStringLiteral(
        "Download finished: 20 of 200 written; 180 failed (1 of 2 requests failed) (see the report): the quote "
        "service answered with something unusable")))
        << qPrintable(sum.outcome());
    CurrentReport report;
    report.load();
    EXPECT_EQ(report.failed.size(), 180);
    EXPECT_FALSE(QFile::exists(ascii + QStringLiteral("A0.asc")));
    EXPECT_TRUE(QFile::exists(ascii + QStringLiteral("B19.asc")));
}

TEST_F(CurrentRunTest, NothingDownloadedIsNeverReportedAsSuccess)
{
    addSymbols(numbered(QStringLiteral("H"), 5));
    settings().teller2 = 1;  // the hanging request ends at its time-out
    fake.setFault(Fault::Hang);
    CurrentRun run;
    EXPECT_TRUE(runToEnd(run));  // the run itself was not stopped
    EXPECT_EQ(run.summary().failedBatches, 1);
    EXPECT_EQ(run.summary().outcome(),
              QStringLiteral("Download failed: 0 of 5 written; 5 failed (1 of 1 requests failed) (see "
                             "the report): the quote service could not be reached (%1: no "
                             "answer within 1 s)")
                  .arg(fake.host()));
}

TEST_F(CurrentRunTest, PreconditionsAreReportedAndNothingStarts)
{
    CurrentRun run;
    run.listCaption = QStringLiteral("list 1 - International Indices");
    EXPECT_FALSE(runToEnd(run));
    EXPECT_EQ(msgs.shown.last().text, QStringLiteral("list 1 - International Indices contains no symbols"));

    run.severalLists = true;
    EXPECT_FALSE(runToEnd(run));
    EXPECT_EQ(msgs.shown.last().text, QStringLiteral("First select one or more lists"));
    settings().dList[3] = settings().dList[4] = true;
    EXPECT_FALSE(runToEnd(run));
    EXPECT_EQ(msgs.shown.last().text, QStringLiteral("The selected lists contain no symbols"));

    settings().format('C').on = settings().format('P').on = false;
    run.severalLists = false;
    EXPECT_FALSE(runToEnd(run));
    EXPECT_EQ(msgs.shown.last().text,
              QStringLiteral("No Export format selected\r\nSelect a format in the menu Export format"));
    EXPECT_TRUE(fake.requests().isEmpty());
}

TEST_F(CurrentRunTest, SeveralListsFetchASharedSymbolOnce)
{
    addSymbols({QStringLiteral("ONE")}, 2);
    addSymbols({QStringLiteral("TWO")}, 5);
    {
        Database db(paths::databaseFile());
        db.exec(QStringLiteral("UPDATE fondsen SET list5 = 1 WHERE codeyahoo = 'ONE'"));
    }
    settings().dList[2] = settings().dList[5] = true;
    CurrentRun run;
    run.severalLists = true;
    EXPECT_TRUE(runToEnd(run));
    ASSERT_EQ(fake.requests().size(), 1);
    EXPECT_EQ(fake.requests()[0].query.value("s"), QByteArray("ONE+TWO+"));
}

TEST_F(CurrentRunTest, StopEndsTheRunQuicklyAndSkipsTheRunFile)
{
    // Five batches, one in flight at a time; the service would answer the
    // first only after 20 s. Stop is pressed the moment the request arrives.
    store::write(QStringLiteral("MaxInFlight"), QStringLiteral("1"));
    addSymbols(numbered(QStringLiteral("T"), 900));
    fake.setDelay(20000);
    CurrentRun run;
    QObject::connect(&fake, &FakeQuoteService::requestArrived, &run, [&run] { run.stop(); });
    EXPECT_FALSE(runToEnd(run));

    // No batch went out after Stop, and the run ended without waiting for
    // the answer to the one in flight.
    ASSERT_EQ(fake.requests().size(), 1);
    EXPECT_EQ(fake.requests()[0].answeredMs, -1);
    EXPECT_EQ(run.summary().batches, 1);
    EXPECT_TRUE(run.summary().aborted);
    EXPECT_EQ(state().runMessage, QStringLiteral("Download abborted by user"));
    EXPECT_TRUE(runFile().isEmpty());
}

TEST_F(CurrentRunTest, RenameNeverOverwritesOrDeletesAQuoteFile)
{
    writeFile(ascii + QStringLiteral("OLD_X.asc"), "old\r\n");
    writeFile(ascii + QStringLiteral("NEW_X.asc"), "new\r\n");
    writeFile(ascii + QStringLiteral("ONE_X.asc"), "one\r\n");
    EXPECT_EQ(CurrentRun::RenameQuoteFiles(QStringLiteral("OLD.X"), QStringLiteral("NEW.X")),
              QStringList{ascii + QStringLiteral("OLD_X.asc")});
    EXPECT_EQ(readAll(ascii + QStringLiteral("OLD_X.asc")), QByteArray("old\r\n"));
    EXPECT_EQ(readAll(ascii + QStringLiteral("NEW_X.asc")), QByteArray("new\r\n"));

    EXPECT_TRUE(CurrentRun::RenameQuoteFiles(QStringLiteral("ONE.X"), QStringLiteral("TWO.X")).isEmpty());
    EXPECT_FALSE(QFile::exists(ascii + QStringLiteral("ONE_X.asc")));
    EXPECT_EQ(readAll(ascii + QStringLiteral("TWO_X.asc")), QByteArray("one\r\n"));
    EXPECT_EQ(CurrentRun::PointDecimal(QStringLiteral("1,5")), QStringLiteral("1.5"));
}

// The batches of a run keep the delay between requests of the download
// options, also with several in flight together; the next run starts
// without waiting out the last run's delay.
TEST_F(CurrentRunTest, BatchesKeepTheDelayBetweenRequests)
{
    addSymbols(numbered(QStringLiteral("P"), 3 * CurrentRun::kBatchSize));
    settings().isdelay = true;
    settings().intervalDownload = 1500;
    for (int n = 0; n < 2; ++n) {
        SCOPED_TRACE(n);
        fake.clearRequests();
        const qint64 started = FakeQuoteService::now();
        CurrentRun run;
        EXPECT_TRUE(runToEnd(run));
        auto reqs = fake.requests();
        ASSERT_EQ(reqs.size(), 3);
        std::sort(reqs.begin(), reqs.end(), [](const auto& a, const auto& b) { return a.arrivedMs < b.arrivedMs; });
        EXPECT_LT(reqs[0].arrivedMs - started, 1000);
        // Timed at the service, where a request may arrive late on a loaded
        // machine: with a margin, yet above the interval of a gap left at
        // its default.
        for (int i = 1; i < 3; ++i)
            EXPECT_GE(reqs[i].arrivedMs - reqs[i - 1].arrivedMs, 1300) << i;
        EXPECT_EQ(run.summary().quotesReceived, 3 * CurrentRun::kBatchSize);
    }
}
