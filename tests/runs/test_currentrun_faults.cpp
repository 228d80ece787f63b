// Whole runs against the fake service for what a user meets: file names
// under long names, price texts, changed tickers whose successor is stored,
// counts, a log that cannot be written, batches in flight together, Stop.
#include "currentrunfixture.h"
#include "runwait.h"

#include "runs/currentreport.h"
#include "runs/currentrun.h"
#include "support/settingsstore.h"

#include <QFile>
#include <QTimer>
#include <algorithm>

namespace {

FakeQuoteService::Quote quoteWith(const QByteArray& symbol, const QByteArray& name, const QByteArray& date = kDate)
{
    return {symbol, date, "4:00pm", "10.5", "11", "10", "10.75", "1200", name, "NYSE"};
}

// The most requests the service was answering at one moment.
int mostInFlight(const QVector<FakeQuoteService::Request>& requests)
{
    int most = 0;
    for (const auto& r : requests) {
        int together = 0;
        for (const auto& other : requests) {
            if (other.arrivedMs <= r.arrivedMs && other.answeredMs > r.arrivedMs)
                ++together;
        }
        most = std::max(most, together);
    }
    return most;
}

}  // namespace

class CurrentRunFaultTest : public CurrentRunTest {
protected:
    // Switches on a format with its own folder; returns the folder.
    QString formatOn(char letter, const char* name)
    {
        const QString dir = path(QLatin1String(name) + QLatin1Char('/'));
        QDir().mkpath(dir);
        settings().format(letter).on = true;
        settings().format(letter).folder = dir;
        return dir;
    }

    QStringList filesIn(const QString& dir) const { return QDir(dir).entryList(QDir::Files, QDir::Name); }
};

TEST_F(CurrentRunFaultTest, LongNamesBecomeFileNamesOfLettersAndDigitsOnly)
{
    ProgramSettings& s = settings();
    const QString guru = formatOn('S', "guru");
    const QString kbf = formatOn('K', "kbf");
    const QString get = formatOn('D', "get");
    s.format('S').longNames = s.format('C').longNames = s.format('K').longNames = s.format('D').longNames = true;
    addSymbols({QStringLiteral("ASML.AS")}, 1, false);
    fake.addQuote(quoteWith("ASML.AS", "ASML Holding N.V."));

    CurrentRun run;
    EXPECT_TRUE(runToEnd(run));
    EXPECT_EQ(filesIn(ascii), QStringList{"ASMLHoldingNV.asc"});
    EXPECT_EQ(filesIn(guru), QStringList{"ASMLHoldingNV.prn"});
    EXPECT_EQ(filesIn(kbf), QStringList{"ASMLHoldingNV.kbf"});
    EXPECT_EQ(filesIn(get), QStringList{"ASMLHoldingNV.prn"});
    EXPECT_TRUE(readAll(guru + QStringLiteral("ASMLHoldingNV.prn")).startsWith("ASMLHoldingNV,D,261201,"));
    // The full name stays where a name is a field of its own.
    EXPECT_TRUE(readAll(paths::dataFile(QStringLiteral("ami2.txt"))).startsWith("\"ASML.AS\",\"ASML Holding N.V.\","));
}

TEST_F(CurrentRunFaultTest, PriceTextsReachEveryTextFormatAsTheServiceSentThem)
{
    const QString guru = formatOn('S', "guru");
    const QString get = formatOn('D', "get");
    const QString vision = formatOn('V', "vision");
    const QString vikingen = formatOn('I', "vikingen");
    addSymbols({QStringLiteral("TINY"), QStringLiteral("BIG")}, 1, false);
    fake.addQuote({"TINY", kDate, "4:00pm", "0.00006", "0.00006200", "0.00006001", "0.00006123", "5000", "TINY", "X"});
    fake.addQuote({"BIG", kDate, "4:00pm", "1234.5", "1234.56789012", "1200.25", "1234.56789012", "7", "BIG", "X"});

    CurrentRun run;
    EXPECT_TRUE(runToEnd(run));
    const QByteArray tiny = "0.00006,0.00006200,0.00006001,0.00006123,5000";
    const QByteArray big = "1234.5,1234.56789012,1200.25,1234.56789012,7";
    EXPECT_EQ(readAll(ascii + QStringLiteral("TINY.asc")), "20261201," + tiny + "\r\n");
    EXPECT_EQ(readAll(ascii + QStringLiteral("BIG.asc")), "20261201," + big + "\r\n");
    EXPECT_EQ(readAll(guru + QStringLiteral("TINY.prn")), "TINY,D,261201," + tiny + ",1\r\n");
    EXPECT_EQ(readAll(get + QStringLiteral("BIG.prn")), "12/01/26," + big + "\r\n");
    EXPECT_TRUE(ami1Lines().contains(QStringLiteral("TINY,20261201,") + QString::fromLatin1(tiny)));
    EXPECT_TRUE(readAll(runFile()).contains("BIG,20261201," + big));
    const QByteArray vsn = readAll(vision + filesIn(vision).value(0));
    EXPECT_TRUE(vsn.contains("|0.00006|0.00006200|0.00006001|0.00006123|5000")) << vsn.constData();
    const QByteArray vik = readAll(vikingen + filesIn(vikingen).value(0));
    EXPECT_TRUE(vik.contains("BIG,1234.56789012,1200.25,1234.56789012,7,,1234.5")) << vik.constData();
}

TEST_F(CurrentRunFaultTest, AChangedTickerWhoseSuccessorIsStoredIsMergedAndTheRunGoesOn)
{
    addSymbols({QStringLiteral("ABC.AS")}, 1, false);
    addSymbols({QStringLiteral("ABD.AS")}, 3, true);
    fake.setPage("/q", "ABC.AS", {200, FakeQuoteService::changedTickerPage("ABC.AS", "ABD.AS"), "text/html"});
    writeFile(ascii + QStringLiteral("ABC_AS.asc"), "20261127,1,1,1,1,5\r\n");
    writeFile(ascii + QStringLiteral("ABD_AS.asc"), "20261130,2,2,2,2,6\r\n");

    CurrentRun run;
    EXPECT_TRUE(runToEnd(run));
    EXPECT_TRUE(msgs.shown.isEmpty()) << qPrintable(msgs.texts().join(QLatin1Char('|')));
    const CurrentRunSummary& sum = run.summary();
    EXPECT_EQ(sum.changed, QStringList{"ABC.AS -> ABD.AS (merged)"});
    EXPECT_EQ(sum.keptFiles, QStringList{ascii + QStringLiteral("ABC_AS.asc")});

    Database db(paths::databaseFile());
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM fondsen WHERE codeyahoo = 'ABC.AS'")).toInt(), 0);
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT list1 + list3 FROM fondsen WHERE codeyahoo = 'ABD.AS'")).toInt(), 2);
    CurrentReport report;
    report.load();
    ASSERT_EQ(report.changed.size(), 1);
    EXPECT_EQ(report.changed[0].newTicker, QStringLiteral("ABD.AS"));

    // The old history is kept as it was; the successor, not on the list
    // downloaded, was fetched under its new ticker and written.
    EXPECT_EQ(readAll(ascii + QStringLiteral("ABC_AS.asc")), QByteArray("20261127,1,1,1,1,5\r\n"));
    EXPECT_EQ(readAll(ascii + QStringLiteral("ABD_AS.asc")),
              QByteArray("20261130,2,2,2,2,6\r\n20261201,10.5,11,10,10.75,1200\r\n"));
    EXPECT_EQ(sum.batches, 2);
}

TEST_F(CurrentRunFaultTest, CountsAreWhatReachedTheFiles)
{
    settings().format('C').longNames = true;  // ASCII files under long names
    addSymbols({QStringLiteral("GOOD"), QStringLiteral("NODATE"), QStringLiteral("BAD"), QStringLiteral("ACCENT")}, 1,
               false);
    fake.addQuote(quoteWith("GOOD", "GOOD CORP"));
    fake.addQuote(quoteWith("NODATE", "NODATE CORP", "N/A"));
    fake.addQuote(quoteWith("BAD", "BAD CORP"));
    fake.addQuote(quoteWith("ACCENT", "\xe9\xe8"));          // no letter of A-Z: no file name
    QDir().mkpath(ascii + QStringLiteral("BADCORP.asc/x"));  // cannot be read: reported corrupt

    CurrentRun run;
    runToEnd(run);
    const CurrentRunSummary& sum = run.summary();
    EXPECT_EQ(sum.quotesReceived, 4);
    EXPECT_EQ(sum.written.value(QLatin1Char('C')), 1);
    EXPECT_EQ(filesIn(ascii), QStringList{"GOODCORP.asc"});
    EXPECT_EQ(sum.written.value(QLatin1Char('P')), 3);  // the quote without a date is not staged
    EXPECT_EQ(ami1Lines().size(), 1 + 3);
    EXPECT_EQ(sum.writeFailures, 3 + 1);
    EXPECT_EQ(sum.outcome(),
              QStringLiteral("Download finished: 3 of 4 written; 4 quotes could not be written to every format"));
    EXPECT_EQ(msgs.texts(),
              QStringList{QStringLiteral("The file ") + ascii + QStringLiteral("BADCORP.asc is corrupt")});
}

// A write the system cuts short (the file-size limit stands in for a full
// disk) goes to the error dialog; its Abort, what an unattended run answers,
// ends the run as aborted, with the file as it was and nothing claimed as
// written.
TEST_F(CurrentRunFaultTest, AnAbortedWriteEndsTheRunAndClaimsNoSuccess)
{
    addSymbols({QStringLiteral("GOOD")}, 1, false);
    fake.addQuote(quoteWith("GOOD", "GOOD CORP"));
    const qint64 limit = 1 << 20;
    const QByteArray line = "20030102,1,1,1,1,1\r\n";
    const QByteArray old = line.repeated(static_cast<qsizetype>(limit / line.size()));
    writeFile(ascii + QStringLiteral("GOOD.asc"), old);

    CurrentRun run;
    {
        FileSizeLimit full(limit);
        runToEnd(run);
    }
    const CurrentRunSummary& sum = run.summary();
    EXPECT_TRUE(sum.aborted);
    EXPECT_EQ(sum.written.value(QLatin1Char('C')), 0);
    EXPECT_GE(sum.writeFailures, 1);
    EXPECT_TRUE(sum.outcome().startsWith(QStringLiteral("Download abborted by user"))) << qPrintable(sum.outcome());
    EXPECT_EQ(readAll(ascii + QStringLiteral("GOOD.asc")), old);
    ASSERT_FALSE(msgs.shown.isEmpty());
    EXPECT_EQ(msgs.shown[0].title, QStringLiteral("Error 61"));
    EXPECT_TRUE(msgs.shown[0].text.contains(QStringLiteral("GOOD.asc (File too large)")))
        << qPrintable(msgs.shown[0].text);
}

TEST_F(CurrentRunFaultTest, ALogThatCannotBeWrittenIsReportedOnceAndTheRunCompletes)
{
    settings().teller4 = 1;
    QDir().mkpath(dataFolder() + QStringLiteral("/quotaris.log/x"));  // neither removable nor writable
    addSymbols(numbered(QStringLiteral("L"), 200));

    CurrentRun run;
    EXPECT_TRUE(runToEnd(run));
    EXPECT_EQ(run.summary().written.value(QLatin1Char('C')), 200);
    ASSERT_EQ(msgs.shown.size(), 1) << qPrintable(msgs.texts().join(QLatin1Char('|')));
    EXPECT_TRUE(msgs.shown[0].text.startsWith(QStringLiteral("The log file cannot be written")));

    // The next run tries again, and says so again once.
    EXPECT_TRUE(runToEnd(run));
    EXPECT_EQ(msgs.shown.size(), 2);
}

TEST_F(CurrentRunFaultTest, BatchesAreInFlightTogetherUpToMaxInFlight)
{
    store::write(QStringLiteral("MaxInFlight"), QStringLiteral("3"));
    addSymbols(numbered(QStringLiteral("F"), 6 * CurrentRun::kBatchSize));
    // The service answers nothing until three requests wait for it (or the
    // last one has come), and then waits a little longer, so that a fourth
    // one sent too early would be seen waiting with them. One after the
    // other the batches would never get an answer.
    fake.holdAnswers(true);
    QObject::connect(&fake, &FakeQuoteService::requestArrived, &fake, [this] {
        if (fake.heldAnswers() == 3 || fake.requests().size() == 6)
            QTimer::singleShot(200, &fake, [this] { fake.releaseAnswers(); });
    });
    CurrentRun run;
    EXPECT_TRUE(runToEnd(run));

    EXPECT_EQ(run.summary().written.value(QLatin1Char('C')), 6 * CurrentRun::kBatchSize);
    const auto& reqs = fake.requests();
    ASSERT_EQ(reqs.size(), 6);
    EXPECT_EQ(mostInFlight(reqs), 3);
}

TEST_F(CurrentRunFaultTest, StopFinishesTheBatchInHandInEveryFormat)
{
    const QString guru = formatOn('S', "guru");
    const QString kbf = formatOn('K', "kbf");
    formatOn('M', "ms");
    addSymbols(numbered(QStringLiteral("P"), 40));
    CurrentRun run;
    // Stop is pressed while the first batch is staged for the run file; it
    // is seen at the next yield, before MetaStock.
    bool stopped = false;
    QObject::connect(&run, &CurrentRun::panel2Changed, [&](const QString& text) {
        if (!stopped && text.endsWith(QLatin1String(" quotes to .prn..."))) {
            stopped = true;
            QTimer::singleShot(0, &run, [&run] { run.stop(); });
        }
    });
    EXPECT_FALSE(runToEnd(run));
    ASSERT_TRUE(stopped);
    EXPECT_TRUE(run.summary().aborted);
    EXPECT_EQ(filesIn(guru).size(), 40);
    EXPECT_EQ(filesIn(ascii).size(), 40);
    EXPECT_EQ(filesIn(kbf).size(), 40);
    // The MetaStock look-up itself honours Stop; its quotes count as not
    // written, and the formats after it still get the whole batch.
    EXPECT_EQ(run.summary().written.value(QLatin1Char('M')), 0);
    EXPECT_GE(run.summary().writeFailures, 40);
    // Staged for the run file, which a stopped run does not make.
    EXPECT_TRUE(runFile().isEmpty());
    EXPECT_EQ(run.summary().written.value(QLatin1Char('P')), 0);
}

// Tickers holding what a query gives a meaning of its own reach the service
// whole, and only the lines of asked tickers are written: a line for
// another symbol is left out, an asked ticker without a line fails.
TEST_F(CurrentRunFaultTest, EveryTickerReachesTheServiceWholeAndOnlyAskedLinesAreWritten)
{
    const QStringList odd{QStringLiteral("M&M.NS"), QStringLiteral("A+B"),  QStringLiteral("C D"),
                          QStringLiteral("H#1"),    QStringLiteral("P%20"), QStringLiteral("EURUSD=X"),
                          QStringLiteral("Z\u00c9")};
    addSymbols(odd);
    addSymbols({QStringLiteral("AAA"), QStringLiteral("BBB")});
    fake.addQuote(quoteOf("M"));  // what a cut-off request would be answered with

    CurrentRun run;
    EXPECT_TRUE(runToEnd(run));
    ASSERT_EQ(fake.requests().size(), 1);
    QStringList asked;
    for (const QByteArray& s : fake.requests()[0].symbols)
        asked << QString::fromLatin1(s);
    EXPECT_EQ(asked, odd + QStringList({"AAA", "BBB"}));
    EXPECT_EQ(run.summary().quotesReceived, 9);
    EXPECT_EQ(run.summary().outcome(), QStringLiteral("Download finished: 9 of 9 written"));
    EXPECT_FALSE(QFile::exists(ascii + QStringLiteral("M.asc")));
    EXPECT_EQ(ami1Lines().size(), 1 + 9);
    EXPECT_TRUE(ami1Lines().join(QLatin1Char('|')).contains(QStringLiteral("M&M.NS,")));

    // An answer that mixes symbols up: a line for one not asked, none for BBB.
    fake.setResponder([](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        if (r.path != "/d/quotes.csv")
            return std::nullopt;
        return FakeQuoteService::Reply{200,
                                       FakeQuoteService::csvLine(quoteOf("ZZZ"), r.query.value("f")) +
                                           FakeQuoteService::csvLine(quoteOf("AAA"), r.query.value("f")) +
                                           FakeQuoteService::csvLine(quoteOf("AAA", "12"), r.query.value("f")),
                                       "text/plain"};
    });
    settings().format('C').on = false;
    CurrentRun again;
    EXPECT_TRUE(runToEnd(again));
    const CurrentRunSummary& sum = again.summary();
    EXPECT_EQ(sum.quotesReceived, 1);
    EXPECT_EQ(sum.written.value(QLatin1Char('P')), 1);
    EXPECT_EQ(sum.outcome(), QStringLiteral("Download finished: 1 of 9 written; 8 failed (8 symbols got no answer) "
                                            "(see the report)"));
    CurrentReport report;
    report.load();
    QStringList failed = odd + QStringList({"BBB"});
    failed.sort();
    EXPECT_EQ(report.failed, failed);
    const QStringList staged = ami1Lines();
    ASSERT_EQ(staged.size(), 1 + 1);
    EXPECT_TRUE(staged[1].startsWith(QStringLiteral("AAA,"))) << qPrintable(staged[1]);
    EXPECT_TRUE(staged[1].contains(QStringLiteral(",10.5,"))) << "the first line of a ticker counts";
}
