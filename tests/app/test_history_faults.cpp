#include "downloadfixture.h"
#include "historytable.h"

#include "database/compact.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/yield.h"
#include "writers/formatregistry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

using Fault = FakeQuoteService::Fault;

namespace {
const QStringList kRange{QStringLiteral("--from"), QStringLiteral("2004-01-05"), QStringLiteral("--to"),
                         QStringLiteral("2004-03-05")};

QStringList historyArgs(const QStringList& more = {})
{
    return QStringList{QStringLiteral("download"), QStringLiteral("history")} + kRange + more;
}
}  // namespace

// `download history` and `report history` as a user runs them, against bad
// answers of every kind.
class HistoryCommandTest : public DownloadCommandTest {
protected:
    void SetUp() override
    {
        DownloadCommandTest::SetUp();
        // A hanging answer ends its range after a few seconds; the answers
        // the fake gives at once never run into that on a loaded machine.
        historyFromFake(5);
        switchOn(QStringLiteral("CPE"));
        answers = fakehistory::responder();
        fake.setResponder([this](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
            if (r.query.value("s") == "none")
                return FakeQuoteService::Reply{404, "<html>No Prices in this date range</html>", "text/html"};
            return answers(r);
        });
        fake.setFaultChooser([](const FakeQuoteService::Request& r) {
            const QByteArray s = r.query.value("s");
            return s == "html"   ? Fault::HtmlPage
                   : s == "hang" ? Fault::Hang
                   : s == "mid"  ? Fault::CloseMidBody
                   : s == "drop" ? Fault::CloseBeforeAnswer
                                 : Fault::None;
        });
    }

    std::function<std::optional<FakeQuoteService::Reply>(const FakeQuoteService::Request&)> answers;
};

TEST_F(HistoryCommandTest, EachBadAnswerEndsInItsListAndTheOthersAreWritten)
{
    addSymbols({QStringLiteral("HTML"), QStringLiteral("NONE"), QStringLiteral("HANG"), QStringLiteral("MID"),
                QStringLiteral("DROP"), QStringLiteral("GOOD"), QStringLiteral("FINE.AS")},
               false);
    const Run r = run(historyArgs());
    const int days = 45;                          // weekdays of 5 January to 5 March 2004
    EXPECT_EQ(r.status, 5) << qPrintable(r.err);  // some ranges got, not all
    EXPECT_TRUE(r.out.contains(QStringLiteral("requests: 7, failed: 5"))) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_TRUE(r.out.contains(QStringLiteral("quotes downloaded: %1").arg(2 * days)));
    EXPECT_TRUE(r.out.contains(QStringLiteral("written C (ASCII-format (CSV)): %1").arg(2 * days)));
    EXPECT_TRUE(r.out.contains(QStringLiteral("written E (Excel XLS): %1").arg(2 * days)));
    EXPECT_TRUE(r.out.contains(QStringLiteral("Excel workbook %1history-1.xls: 1 sheet").arg(folder[QLatin1Char('E')])))
        << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_TRUE(r.out.last().startsWith(
        QStringLiteral("Download finished: 2 of 7 symbols written, %1 quotes; 5 failed (5 ranges not downloaded) (see "
                       "the report): the quote service ")
            .arg(2 * days)))
        << qPrintable(r.out.last());
    EXPECT_EQ(readAll(folder[QLatin1Char('C')] + QStringLiteral("FINE_AS.asc")).count("\r\n"), days);
    // The start page's last historical run, also for a run without a window.
    const QByteArray conf = readAll(paths::settingsFile());
    EXPECT_TRUE(conf.contains("LastHistoryRun=") && conf.contains("5 ranges not downloaded")) << conf.constData();
    for (const char* bad : {"HTML", "NONE", "HANG", "MID", "DROP"})
        EXPECT_FALSE(QFile::exists(folder[QLatin1Char('C')] + QLatin1String(bad) + QStringLiteral(".asc"))) << bad;

    const ProgramRun report = runQuotaris({QStringLiteral("report"), QStringLiteral("history")});
    EXPECT_EQ(report.status, 0);
    // Symbols are in flight together: each section lists its symbols in the
    // order they finished.
    QStringList lines = report.lines();
    for (auto section = lines.begin(); section != lines.end();) {
        const auto end = std::find_if(section + 1, lines.end(), [](const QString& l) { return !l.startsWith(' '); });
        std::sort(section + 1, end);
        section = end;
    }
    EXPECT_EQ(lines, (QStringList{QStringLiteral("Downloaded:"), QStringLiteral("  FINE.AS 2004-01-05 2004-03-05"),
                                  QStringLiteral("  GOOD 2004-01-05 2004-03-05"), QStringLiteral("Not downloaded:"),
                                  QStringLiteral("  DROP 2004-01-05 2004-03-05"),
                                  QStringLiteral("  HTML 2004-01-05 2004-03-05"),
                                  QStringLiteral("  MID 2004-01-05 2004-03-05"),
                                  QStringLiteral("  NONE 2004-01-05 2004-03-05"), QStringLiteral("Timed out:"),
                                  QStringLiteral("  HANG 2004-01-05 2004-03-05"), QStringLiteral("Findings:")}));

    // Once the service answers again, the retry gets the rest and no more.
    fake.setFaultChooser(nullptr);
    fake.setResponder(answers);
    fake.clearRequests();
    const Run retry = run({QStringLiteral("download"), QStringLiteral("history"), QStringLiteral("--retry")});
    EXPECT_EQ(retry.status, 0) << qPrintable(retry.err);
    EXPECT_TRUE(retry.out.contains(QStringLiteral("requests: 5, failed: 0")));
    EXPECT_EQ(retry.out.last(), QStringLiteral("Download finished: 5 of 5 symbols written, %1 quotes").arg(5 * days));
    EXPECT_EQ(fake.requests().size(), 5);
}

TEST_F(HistoryCommandTest, NothingDownloadedExitsNonZero)
{
    addSymbols({QStringLiteral("HTML"), QStringLiteral("DROP")}, false);
    const Run r = run(historyArgs());
    EXPECT_EQ(r.status, 1);
    // An HTML page where quotes were expected is named as such.
    EXPECT_EQ(r.out.last(), QStringLiteral("Download failed: 0 of 2 symbols written, 0 quotes; 2 failed (2 ranges not "
                                           "downloaded) (see the report): the quote service answered with something "
                                           "unusable (%1: an HTML page)")
                                .arg(fake.host()));
}

TEST_F(HistoryCommandTest, RefusesDatesTheWindowWouldRefuse)
{
    const QString tomorrow = QDate::currentDate().addDays(1).toString(Qt::ISODate);
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("history"), QStringLiteral("--to"), tomorrow}).status, 2);
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("history"), QStringLiteral("--from"),
                   QStringLiteral("2004-03-05"), QStringLiteral("--to"), QStringLiteral("2004-03-01")})
                  .status,
              2);
    EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("history"), QStringLiteral("--retry"),
                   QStringLiteral("--list"), QStringLiteral("2")})
                  .status,
              2);
    // An empty list is no failure of the service, but nothing was done.
    const Run empty = run(historyArgs({QStringLiteral("--list"), QStringLiteral("9")}));
    EXPECT_EQ(empty.status, 1);
    EXPECT_TRUE(empty.err.contains(QStringLiteral("No symbols to download")));
}

// A second download while a history download holds the data folder, from
// another process: refused at once with who holds it; the first run's files
// are as a lone run leaves them.
TEST_F(HistoryCommandTest, ASecondDownloadOfTheFolderIsRefusedWhileOneRuns)
{
    addSymbols({QStringLiteral("GOOD"), QStringLiteral("FINE.AS")}, false);
    fake.holdAnswers(true);
    const auto first = start(historyArgs());
    ASSERT_TRUE(waitUntil([this] { return fake.heldAnswers() > 0; }, 30000));

    for (const QStringList& args :
         {QStringList{QStringLiteral("download"), QStringLiteral("current")}, historyArgs()}) {
        const Run second = run(args);
        EXPECT_EQ(second.status, 4) << qPrintable(args.join(QLatin1Char(' ')));
        EXPECT_TRUE(second.err.contains(
            QStringLiteral("A download is already running for this data folder (process %1, started ")
                .arg(first->processId())))
            << qPrintable(second.err);
    }
    // Nor may a compaction replace the database the run has open.
    const QDateTime before = QFileInfo(paths::databaseFile()).lastModified();
    const Run compact = run({QStringLiteral("compact")});
    EXPECT_EQ(compact.status, 1);
    EXPECT_TRUE(compact.err.contains(QStringLiteral("The database is in use by another Quotaris process")))
        << qPrintable(compact.err);
    EXPECT_FALSE(QFile::exists(compaction::targetFile()));
    EXPECT_EQ(QFileInfo(paths::databaseFile()).lastModified(), before);

    fake.holdAnswers(false);
    fake.releaseAnswers();
    ASSERT_TRUE(waitUntil([&first] { return first->state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(first->exitCode(), 0) << first->readAllStandardError().constData();
    const int days = 45;  // weekdays of 5 January to 5 March 2004
    EXPECT_EQ(readAll(folder[QLatin1Char('C')] + QStringLiteral("GOOD.asc")).count("\r\n"), days);
    EXPECT_EQ(readAll(folder[QLatin1Char('C')] + QStringLiteral("FINE_AS.asc")).count("\r\n"), days);

    // The locks went with the process: the next run and a compaction go ahead.
    EXPECT_EQ(run(historyArgs()).status, 0);
    EXPECT_EQ(run({QStringLiteral("compact")}).status, 0);
}

// A file the writer refuses holds none of the symbol's days: the symbol is
// "not written", its range is left to the retry, the run exits 5.
TEST_F(HistoryCommandTest, ASymbolWhoseFileIsRefusedIsLeftToTheRetry)
{
    switchOn(QStringLiteral("K"));
    addSymbols({QStringLiteral("IBM"), QStringLiteral("GOOD")}, false);
    writeFile(folder[QLatin1Char('K')] + QStringLiteral("IBM.kbf"), QByteArray(13, 'x'));
    const Run r = run(historyArgs());
    EXPECT_EQ(r.status, 5) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_TRUE(r.out.contains(QStringLiteral("1/2 IBM: not written")) ||
                r.out.contains(QStringLiteral("2/2 IBM: not written")))
        << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_TRUE(r.err.contains(QStringLiteral("IBM.kbf is corrupt"))) << qPrintable(r.err);
    EXPECT_EQ(readAll(folder[QLatin1Char('K')] + QStringLiteral("IBM.kbf")), QByteArray(13, 'x'));
    const int days = 45;
    EXPECT_EQ(readAll(folder[QLatin1Char('K')] + QStringLiteral("GOOD.kbf")).size(), days * 14);
    const ProgramRun report = runQuotaris({QStringLiteral("report"), QStringLiteral("history")});
    const QStringList lines = report.lines();
    const qsizetype notDownloaded = lines.indexOf(QStringLiteral("Not downloaded:"));
    ASSERT_GE(notDownloaded, 0);
    EXPECT_EQ(lines.value(notDownloaded + 1), QStringLiteral("  IBM 2004-01-05 2004-03-05"));
    EXPECT_TRUE(lines.contains(QStringLiteral("  GOOD 2004-01-05 2004-03-05")));

    // Once the file is mended, the retry writes it.
    QFile::remove(folder[QLatin1Char('K')] + QStringLiteral("IBM.kbf"));
    const Run retry = run({QStringLiteral("download"), QStringLiteral("history"), QStringLiteral("--retry")});
    EXPECT_EQ(retry.status, 0) << qPrintable(retry.out.join(QLatin1Char('\n')));
    EXPECT_EQ(readAll(folder[QLatin1Char('K')] + QStringLiteral("IBM.kbf")).size(), days * 14);
}

// The ASCII folder on a nearly full disk (room enough to start, not for
// the rewrite of a large file): no file is replaced by a torn one, the
// system's reason is shown, the symbols are left to the retry, the run
// exits 5.
TEST_F(HistoryCommandTest, AFullDiskReplacesNoFile)
{
    SmallDisk disk(path(QStringLiteral("small")), 4096);
    if (!disk.mounted())
        GTEST_SKIP() << "no right to mount a file system of the test's own";
    const QString ascii = path(QStringLiteral("small/C/"));
    QDir().mkpath(ascii);
    setColumn(QLatin1String(formats::find(QLatin1Char('C'))->folderColumn()), ascii);
    addSymbols({QStringLiteral("GOOD"), QStringLiteral("FINE.AS")}, false);
    // Decades of days before the range asked: each file is larger than the
    // room left.
    QByteArray old;
    QDate d(1950, 1, 2);
    for (int n = 0; n < 14000; d = d.addDays(1)) {
        if (d.dayOfWeek() > 5)
            continue;
        old +=
            d.toString(QStringLiteral("yyyyMMdd")).toLatin1() + ",100.12345,101.12345,99.12345,100.12345,123456789\r\n";
        ++n;
    }
    ASSERT_LT(d, QDate(2004, 1, 5));
    for (const char* name : {"GOOD.asc", "FINE_AS.asc"})
        writeFile(ascii + QLatin1String(name), old);
    disk.fill(300 * 1024);
    ASSERT_GT(old.size(), 300 * 1024);

    const Run r = run(historyArgs());
    EXPECT_EQ(r.status, 5) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_TRUE(r.err.contains(QStringLiteral("No space left on device"))) << qPrintable(r.err);
    EXPECT_TRUE(r.out.contains(QStringLiteral("written C (ASCII-format (CSV)): 0")))
        << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_TRUE(r.out.last().contains(QStringLiteral("0 of 2 symbols written"))) << qPrintable(r.out.last());
    for (const char* name : {"GOOD.asc", "FINE_AS.asc"})
        EXPECT_EQ(readAll(ascii + QLatin1String(name)), old) << name;
    EXPECT_EQ(QDir(ascii).entryList(QDir::Files).size(), 2);

    // Room again: the retry writes both symbols' range.
    QFile::remove(path(QStringLiteral("small/filler")));
    const Run retry = run({QStringLiteral("download"), QStringLiteral("history"), QStringLiteral("--retry")});
    EXPECT_EQ(retry.status, 0) << qPrintable(retry.out.join(QLatin1Char('\n')));
    EXPECT_EQ(readAll(ascii + QStringLiteral("GOOD.asc")).count("\r\n"), 14000 + 45);
}
