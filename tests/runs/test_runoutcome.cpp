// What a current run tells when not everything can be got or written: a
// format whose folder cannot be written in is left out (nothing goes
// anywhere else, the setting stays), the outcome line adds up, the bar is
// empty when nothing came, and a scheduled run never waits for a window.
#include "currentrunfixture.h"
#include "runwait.h"

#include "database/settingsrow.h"
#include "runs/currentrun.h"
#include "runs/placement.h"
#include "writers/metastockrun.h"

#include <QDir>
#include <QFileInfo>

namespace {

QStringList filesIn(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot); }

struct CountingPrompt : MetastockPrompt {
    int asked = 0;
    QString askFolder(const QString&, const QString&, const QString&, const Place&) override
    {
        ++asked;
        return {};  // Cancel: the symbol is not placed
    }
    void showMapLoad(const CancelToken* run, const Scan& scan) override
    {
        scan([](int, int) {}, CancelToken(run));
    }
};

}  // namespace

class RunOutcomeTest : public CurrentRunTest {};

// A folder that is gone (a disk not mounted) leaves its format out of the
// run with a message naming the folder; the other formats are written,
// nothing lands in the home folder, and the setting stays for when the
// disk is back.
TEST_F(RunOutcomeTest, AFormatWhoseFolderIsGoneIsLeftOutAndKeepsItsSetting)
{
    addSymbols({QStringLiteral("AAA"), QStringLiteral("BBB")});
    settingsrow::write(*Database::openDefault(), {{QStringLiteral("h1"), ascii}});
    ASSERT_TRUE(QDir(ascii).removeRecursively());
    const QStringList homeBefore = filesIn(home());

    CurrentRun run;
    ASSERT_TRUE(runToEnd(run));
    const CurrentRunSummary& sum = run.summary();
    const QString text = QStringLiteral("ASCII-format (CSV) not written: the folder ") + ascii +
                         QStringLiteral(" is missing (the setting is kept)");
    EXPECT_EQ(msgs.texts(), QStringList{text});
    EXPECT_EQ(sum.notes, QStringList{text});
    EXPECT_EQ(sum.written.value(QLatin1Char('C')), 0);
    EXPECT_EQ(sum.written.value(QLatin1Char('P')), 2);
    EXPECT_FALSE(sum.complete());
    EXPECT_EQ(sum.outcome(), QStringLiteral("Download finished: 2 of 2 written; ASCII-format (CSV) left out (its "
                                            "folder cannot be written in)"));
    EXPECT_FALSE(QFileInfo::exists(ascii));
    EXPECT_EQ(filesIn(home()), homeBefore);
    EXPECT_EQ(settings().format('C').folder, ascii);
    EXPECT_TRUE(settings().format('C').on);
    EXPECT_EQ(settingsrow::read(*Database::openDefault(), QStringLiteral("h1")).toString(), ascii);

    // A scheduled run tells nobody in a window; the log has it.
    msgs.shown.clear();
    CurrentRun scheduled;
    scheduled.mode = CurrentRun::Mode::Scheduled;
    runToEnd(scheduled);
    EXPECT_TRUE(msgs.shown.isEmpty()) << qPrintable(msgs.texts().join(QLatin1Char('|')));
    EXPECT_EQ(scheduled.summary().notes, QStringList{text});
    EXPECT_FALSE(QFileInfo::exists(ascii));
}

// Asked, written and not found add up, with thousands grouped; the report
// holds the names.
TEST_F(RunOutcomeTest, TheOutcomeCountsWhatWasAskedWrittenAndNotFound)
{
    addSymbols(numbered(QStringLiteral("K"), 3));
    addSymbols({QStringLiteral("NOPE1"), QStringLiteral("NOPE2")}, 1, false);
    CurrentRun run;
    ASSERT_TRUE(runToEnd(run));
    const CurrentRunSummary& sum = run.summary();
    EXPECT_EQ(sum.symbols, 5);
    EXPECT_EQ(sum.symbolsWritten, 3);
    EXPECT_EQ(sum.notFound, 2);
    EXPECT_EQ(sum.outcome(), QStringLiteral("Download finished: 3 of 5 written; 2 not found (see the report)"));

    CurrentRunSummary big;
    big.symbols = 5027;
    big.symbolsWritten = 32;
    big.notFound = 4995;
    big.written[QLatin1Char('C')] = 32;
    big.quotesReceived = 32;
    EXPECT_EQ(big.outcome(),
              QStringLiteral("Download finished: 32 of 5,027 written; 4,995 not found (see the report)"));
}

// With the service out of reach nothing came: the outcome says so and why,
// every symbol counts as failed, and the bar is empty, not full.
TEST_F(RunOutcomeTest, ARunThatGotNothingSaysWhyAndLeavesTheBarEmpty)
{
    addSymbols(numbered(QStringLiteral("U"), 4));
    fake.setFault(FakeQuoteService::Fault::CloseBeforeAnswer);
    CurrentRun run;
    int lastValue = -1, lastMaximum = -1;
    QObject::connect(&run, &CurrentRun::progressChanged, [&](int value, int maximum) {
        lastValue = value;
        lastMaximum = maximum;
    });
    runToEnd(run);
    const CurrentRunSummary& sum = run.summary();
    EXPECT_EQ(sum.failedSymbols, 4);
    EXPECT_TRUE(sum.outcome().startsWith(
        QStringLiteral("Download failed: 0 of 4 written; 4 failed (1 of 1 requests failed) (see the report): ")))
        << qPrintable(sum.outcome());
    EXPECT_EQ(lastValue, 0);
    EXPECT_GT(lastMaximum, 0);
}

// A scheduled run never waits for the window that asks where a new
// MetaStock symbol goes; a run the user started asks, unless the lasting
// choice "place new symbols automatically" is on.
TEST_F(RunOutcomeTest, NewMetastockSymbolsArePlacedWithoutAskingWhenNobodyIsThere)
{
    const QString msRoot = path(QStringLiteral("ms/"));
    QDir().mkpath(msRoot);
    settings().format('M').folder = msRoot;
    settings().format('M').on = true;
    addSymbols({QStringLiteral("NEW1")});
    CountingPrompt prompt;
    setMetastockPrompt(&prompt);
    struct Uninstall {
        ~Uninstall() { setMetastockPrompt(nullptr); }
    } uninstall;

    CurrentRun scheduled;
    scheduled.mode = CurrentRun::Mode::Scheduled;
    runToEnd(scheduled);
    EXPECT_EQ(prompt.asked, 0);
    EXPECT_EQ(scheduled.summary().written.value(QLatin1Char('M')), 1);
    EXPECT_EQ(metastockPrompt(), &prompt);  // back for the user's runs

    addSymbols({QStringLiteral("NEW2")});
    CurrentRun asked;
    runToEnd(asked);
    EXPECT_EQ(prompt.asked, 1);  // NEW2 only: NEW1 has its folder

    placement::setAutomatic(true);
    EXPECT_TRUE(placement::automatic());
    addSymbols({QStringLiteral("NEW3")});
    CurrentRun automatic;
    runToEnd(automatic);
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(automatic.summary().written.value(QLatin1Char('M')), 3);  // NEW2, cancelled before, too

    placement::setAutomatic(false);
    addSymbols({QStringLiteral("NEW4")});
    CurrentRun again;
    runToEnd(again);
    EXPECT_EQ(prompt.asked, 2);
}

// Imported symbols (the ticker as name, type "Unknown") take the name the
// quote answer carries at their first download; a name of the user's own
// is left alone.
TEST_F(RunOutcomeTest, ImportedSymbolsTakeTheNameTheAnswerCarries)
{
    {
        Database db(paths::databaseFile());
        db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                               "VALUES (1, 'AAPL', 'AAPL', 'Unknown', 1)"));
        db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                               "VALUES (1, 'MINE', 'My own name', 'Unknown', 1)"));
    }
    fake.addQuote(quoteOf("AAPL"));
    fake.addQuote(quoteOf("MINE"));
    CurrentRun run;
    ASSERT_TRUE(runToEnd(run));
    Database db(paths::databaseFile());
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT naamyahoo FROM fondsen WHERE codeyahoo = 'AAPL'")).toString(),
              QStringLiteral("AAPL CORP"));
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT naamyahoo FROM fondsen WHERE codeyahoo = 'MINE'")).toString(),
              QStringLiteral("My own name"));
    EXPECT_EQ(fake.requests().size(), 1);  // no request of its own for the names
}
