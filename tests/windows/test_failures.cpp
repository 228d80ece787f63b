// What the download and search windows say when the quote service fails,
// and what their progress bars show during and after a run.
#include "fakeservice.h"
#include "historytable.h"
#include "runwait.h"
#include "testutil.h"

#include "database/db.h"
#include "database/startup.h"
#include "runs/currentrun.h"
#include "runs/historyrun.h"
#include "runs/symbolsearch.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/yield.h"
#include "windows/autodownload.h"
#include "windows/browser.h"
#include "windows/history.h"
#include "windows/reportform.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>

// Clicks `button` of the search window and waits for the search it starts
// to be answered, as the window does.
static void clickAndWaitForSearch(browser& b, QPushButton* button)
{
    bool done = false;
    QObject scope;
    QObject::connect(&b.search(), &SymbolSearch::searched, &scope, [&done] { done = true; });
    button->click();
    waitUntil([&done] { return done; }, 60000);
}

using Fault = FakeQuoteService::Fault;

class FailureTextTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        fake.useForAllHosts();
        quickRuns(1);  // a hanging request gives up after a second
        formatOn('C', QStringLiteral("ascii"));
        settings().lijst = 2;
        Database db(paths::databaseFile());
        for (const char* t : {"AAA", "BBB"}) {
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, list2) VALUES (1, ?, ?, 1)"),
                    {QLatin1String(t), QLatin1String(t)});
            fake.addQuote({t, "12/1/2026", "4:00pm", "1", "2", "1", "1.5", "100", t, "NYSE"});
        }
    }

    // Every host at a port where nothing listens.
    QString closedPort()
    {
        QTcpServer probe;
        EXPECT_TRUE(probe.listen(QHostAddress::LocalHost));
        const QString host = QStringLiteral("127.0.0.1:%1").arg(probe.serverPort());
        probe.close();
        ProgramSettings& s = settings();
        s.quoteHost = s.quoteHostAU = s.quoteHostSG = s.chartHost = host;
        return host;
    }

    template <typename W>
    static W* control(QWidget& w, const char* name)
    {
        W* c = w.findChild<W*>(QLatin1String(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    QString currentOutcome()
    {
        Autodownload w;
        control<QComboBox>(w, "Combo3")->setCurrentIndex(1);
        untilEnd(w.run(), [&] { control<QPushButton>(w, "Command1")->click(); });
        return control<QLabel>(w, "Panel1")->text();
    }

    QString historyOutcome()
    {
        history w;
        control<QDateEdit>(w, "startdatum")->setDate(QDate(2004, 1, 5));
        control<QDateEdit>(w, "einddatum")->setDate(QDate(2004, 1, 9));
        untilEnd(w.run(), [&] { control<QPushButton>(w, "Command1")->click(); });
        return control<QLabel>(w, "StatusBar1Panel1")->text();
    }

    FakeQuoteService fake;
};

TEST_F(FailureTextTest, AClosedPortIsReportedAsUnreachableWithItsReason)
{
    const QString host = closedPort();
    const QString refused = QStringLiteral("the quote service could not be reached (%1: connection refused)").arg(host);
    EXPECT_EQ(currentOutcome(),
              QStringLiteral("Download failed: 0 of 2 written; 2 failed (1 of 1 requests failed) (see the report): ") +
                  refused);
    {
        // The report says it beside its own texts.
        reportform report;
        EXPECT_TRUE(control<QLabel>(report, "lblOutcome")->text().endsWith(refused));
    }
    EXPECT_TRUE(historyOutcome().endsWith(QStringLiteral(": ") + refused)) << qPrintable(historyOutcome());

    browser b;
    control<QLineEdit>(b, "Text1")->setText(QStringLiteral("philips"));
    clickAndWaitForSearch(b, control<QPushButton>(b, "Command1"));
    EXPECT_EQ(control<QGroupBox>(b, "Frame2")->title(), QStringLiteral("philips Returned No Results"));
    EXPECT_EQ(control<QLabel>(b, "lblSearchProblem")->text(), refused);
    // Nothing to add.
    EXPECT_FALSE(control<QPushButton>(b, "CommandAddAll")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(b, "Commandaddselected")->isEnabled());
}

TEST_F(FailureTextTest, AHangingHostIsReportedAsTimedOut)
{
    fake.setFault(Fault::Hang);
    const QString timedOut =
        QStringLiteral("the quote service could not be reached (%1: no answer within 1 s)").arg(fake.host());
    EXPECT_EQ(currentOutcome(),
              QStringLiteral("Download failed: 0 of 2 written; 2 failed (1 of 1 requests failed) (see the report): ") +
                  timedOut);
    EXPECT_TRUE(historyOutcome().endsWith(QStringLiteral(": ") + timedOut)) << qPrintable(historyOutcome());
}

TEST_F(FailureTextTest, AnHtmlAnswerIsUnusableAndAnEmptySearchIsNoMatch)
{
    fake.setFault(Fault::HtmlPage);
    const QString page =
        QStringLiteral("the quote service answered with something unusable (%1: an HTML page)").arg(fake.host());
    EXPECT_EQ(currentOutcome(),
              QStringLiteral("Download failed: 0 of 2 written; 2 failed (1 of 1 requests failed) (see the report): ") +
                  page);
    EXPECT_TRUE(historyOutcome().endsWith(QStringLiteral(": ") + page)) << qPrintable(historyOutcome());

    browser b;
    control<QLineEdit>(b, "Text1")->setText(QStringLiteral("philips"));
    clickAndWaitForSearch(b, control<QPushButton>(b, "Command1"));
    EXPECT_EQ(control<QLabel>(b, "lblSearchProblem")->text(),
              QStringLiteral("the quote service answered with something unusable (%1: not a page of search results)")
                  .arg(fake.host()));

    // The service answers and knows nothing of the name: no match, and
    // nothing failed.
    fake.setFault(Fault::None);
    fake.setLookup("nothing", {});
    control<QLineEdit>(b, "Text1")->setText(QStringLiteral("nothing"));
    clickAndWaitForSearch(b, control<QPushButton>(b, "Command1"));
    EXPECT_EQ(control<QGroupBox>(b, "Frame2")->title(), QStringLiteral("nothing Returned No Results"));
    EXPECT_EQ(control<QLabel>(b, "lblSearchProblem")->text(), QStringLiteral("the quote service answered: no match"));
}

// The bar counts answered requests of the requests to send and is full only
// when everything is written; then it stays full beside the outcome.
TEST_F(FailureTextTest, CurrentProgressTellsTheTruthAndStaysFullAtTheEnd)
{
    Database db(paths::databaseFile());
    for (int i = 0; i < 200; ++i) {  // two requests of 180
        const QString t = QStringLiteral("S%1").arg(i);
        db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, list2) VALUES (1, ?, ?, 1)"),
                {t, t});
        const QByteArray b = t.toLatin1();
        fake.addQuote({b, "12/1/2026", "4:00pm", "1", "2", "1", "1.5", "100", b, "NYSE"});
    }
    store::write(QStringLiteral("MaxInFlight"), QStringLiteral("1"));
    settings().teller2 = 30;
    fake.setDelay(150);
    Autodownload w;
    control<QComboBox>(w, "Combo3")->setCurrentIndex(1);
    auto* bar = control<QProgressBar>(w, "ProgressBar1");
    QVector<QPair<int, int>> seen;
    bool fullWhileWaiting = false;
    QObject::connect(&w.run(), &CurrentRun::progressChanged, [&](int value, int maximum) {
        seen.append({value, maximum});
        if (value >= maximum && fake.requests().size() < 2)
            fullWhileWaiting = true;
    });
    untilEnd(w.run(), [&] { control<QPushButton>(w, "Command1")->click(); });
    ASSERT_FALSE(seen.isEmpty());
    // Two requests and the run's own exports; full only at the end.
    EXPECT_EQ(seen, (QVector<QPair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
    EXPECT_FALSE(fullWhileWaiting);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(control<QLabel>(w, "Panel1")->text().startsWith(QStringLiteral("Download finished")));
}

TEST_F(FailureTextTest, HistoryBarStaysFullWithTheOutcome)
{
    fake.setResponder(fakehistory::responder());
    settings().teller2 = 30;
    history w;
    control<QDateEdit>(w, "startdatum")->setDate(QDate(2004, 1, 5));
    control<QDateEdit>(w, "einddatum")->setDate(QDate(2004, 1, 30));
    auto* bar = control<QProgressBar>(w, "ProgressBar1");
    int lowestDuringRun = 1000;
    QObject::connect(&w.run(), &HistoryRun::progressChanged, [&](int value, int) {
        if (w.run().running())
            lowestDuringRun = std::min(lowestDuringRun, value);
    });
    untilEnd(w.run(), [&] { control<QPushButton>(w, "Command1")->click(); });
    EXPECT_EQ(lowestDuringRun, 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(control<QLabel>(w, "StatusBar1Panel1")->text().startsWith(QStringLiteral("Download finished")));
}
