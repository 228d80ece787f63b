#include "fakeservice.h"
#include "historytable.h"
#include "runwait.h"
#include "testutil.h"

#include "database/db.h"
#include "database/lists.h"
#include "database/startup.h"
#include "runs/historyrun.h"
#include "support/paths.h"
#include "support/state.h"
#include "windows/history.h"
#include "windows/historyreportform.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

class HistoryWindowTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        fake.useForAllHosts();
        fake.setResponder(fakehistory::responder());
        quickRuns(30);  // every answer comes at once: no test waits for a time-out
        formatOn('C', QStringLiteral("ascii"));
        settings().lijst = 2;
        Database db(paths::databaseFile());
        for (const char* t : {"AAA", "BAD"})
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, list2) VALUES (1, ?, ?, 1)"),
                    {QLatin1String(t), QLatin1String(t)});
    }

    template <typename W>
    static W* control(QWidget& w, const char* name)
    {
        W* c = w.findChild<W*>(QLatin1String(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    FakeQuoteService fake;
};

TEST_F(HistoryWindowTest, DateRulesOfThePickers)
{
    const QDate today = QDate::currentDate();
    state().historyStartDate = today.addDays(-30);
    history w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Historical Data Downloader"));
    auto* start = control<QDateEdit>(w, "startdatum");
    auto* end = control<QDateEdit>(w, "einddatum");
    EXPECT_EQ(start->date(), today.addDays(-30));
    EXPECT_EQ(end->date(), history::lastTradingDay(today));
    EXPECT_EQ(start->maximumDate(), today);
    EXPECT_EQ(end->maximumDate(), today);

    // The end follows the start; the start is kept for the next window.
    end->setDate(today.addDays(-20));
    start->setDate(today.addDays(-10));
    EXPECT_EQ(end->date(), today.addDays(-10));
    EXPECT_EQ(state().historyStartDate, today.addDays(-10));

    auto* all = control<QCheckBox>(w, "Check1");
    all->setChecked(true);
    EXPECT_EQ(end->date(), today);
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(end->isEnabled());
    all->setChecked(false);
    EXPECT_TRUE(start->isEnabled());

    // A remembered start that is not in the past becomes the default.
    state().historyStartDate = today;
    history again;
    EXPECT_EQ(control<QDateEdit>(again, "startdatum")->date(), history::defaultRange(today).first);
}

TEST_F(HistoryWindowTest, DefaultRangeIsTheLastTwoTradingDaysThatEnded)
{
    using Range = QPair<QDate, QDate>;
    // Sunday 6 Dec 2026: Thursday and Friday, never the weekend.
    EXPECT_EQ(history::defaultRange(QDate(2026, 12, 6)), Range(QDate(2026, 12, 3), QDate(2026, 12, 4)));
    EXPECT_EQ(history::defaultRange(QDate(2026, 12, 5)), Range(QDate(2026, 12, 3), QDate(2026, 12, 4)));
    // Monday: Thursday and Friday before it; Tuesday: Friday and Monday.
    EXPECT_EQ(history::defaultRange(QDate(2026, 12, 7)), Range(QDate(2026, 12, 3), QDate(2026, 12, 4)));
    EXPECT_EQ(history::defaultRange(QDate(2026, 12, 8)), Range(QDate(2026, 12, 4), QDate(2026, 12, 7)));
    EXPECT_EQ(history::defaultRange(QDate(2026, 12, 10)), Range(QDate(2026, 12, 8), QDate(2026, 12, 9)));
}

// A window left open over midnight takes the new day when it is activated
// and when a run starts.
TEST_F(HistoryWindowTest, TodayIsTakenOnActivationAndAtTheStartOfARun)
{
    QDate today(2099, 12, 8);  // a Tuesday
    state().historyStartDate = QDate();
    QMdiArea area;
    auto* w = new history;
    w->clock = [&today] { return today; };
    QMdiSubWindow* frame = area.addSubWindow(w);
    QMdiSubWindow* other = area.addSubWindow(new QWidget);
    area.show();
    area.setActiveSubWindow(frame);
    auto* end = control<QDateEdit>(*w, "einddatum");
    EXPECT_EQ(end->maximumDate(), today);
    EXPECT_EQ(end->date(), QDate(2099, 12, 7));

    area.setActiveSubWindow(other);
    today = QDate(2099, 12, 9);  // midnight passes
    area.setActiveSubWindow(frame);
    EXPECT_EQ(end->maximumDate(), today);
    EXPECT_EQ(end->date(), QDate(2099, 12, 8));  // the end left on the last day moves on
    end->setDate(today);
    EXPECT_EQ(end->date(), today);

    // A run started after the next midnight without an activation between
    // (refused here, for want of a chosen list, after taking the day).
    control<QCheckBox>(*w, "Check1")->setChecked(true);
    control<QRadioButton>(*w, "Option2")->setChecked(true);
    today = QDate(2099, 12, 10);
    w->StartHistoryRun();
    EXPECT_EQ(msgs.texts(), QStringList({"First select one or more lists"}));
    EXPECT_EQ(w->run().today, today);
    EXPECT_EQ(end->date(), today);
    EXPECT_EQ(end->maximumDate(), today);
}

TEST_F(HistoryWindowTest, ReportOffersTheMissingQuotesAndTheRetryRunsAtOnce)
{
    fake.setFaultChooser([](const FakeQuoteService::Request& r) {
        return r.query.value("s") == "bad" ? FakeQuoteService::Fault::HtmlPage : FakeQuoteService::Fault::None;
    });
    history w;
    control<QDateEdit>(w, "startdatum")->setDate(QDate(2004, 1, 5));
    control<QDateEdit>(w, "einddatum")->setDate(QDate(2004, 1, 30));
    untilEnd(w.run(), [&] { control<QPushButton>(w, "Command1")->click(); });
    EXPECT_TRUE(control<QPushButton>(w, "Command1")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w, "commandstoppen")->isEnabled());
    // Both symbols finished (one of them failed): the bar stays full.
    const auto* bar = control<QProgressBar>(w, "ProgressBar1");
    EXPECT_EQ(bar->maximum(), 2);
    EXPECT_EQ(bar->value(), 2);

    {
        historyreportform report;
        EXPECT_EQ(report.windowTitle(), QStringLiteral("Historical Download Report"));
        auto* got = control<QTreeWidget>(report, "ListView1");
        ASSERT_EQ(got->topLevelItemCount(), 1);
        EXPECT_EQ(got->topLevelItem(0)->text(0), QStringLiteral("AAA"));
        ASSERT_EQ(control<QTreeWidget>(report, "ListView2")->topLevelItemCount(), 1);
        EXPECT_EQ(control<QTreeWidget>(report, "ListView3")->topLevelItemCount(), 0);
        EXPECT_EQ(control<QTreeWidget>(report, "ListView4")->topLevelItemCount(), 0);  // clean days: no finding
        EXPECT_TRUE(control<QPushButton>(report, "Command1")->isEnabled());
        EXPECT_TRUE(report.findChild<QAction*>(QStringLiteral("menumissing"))->isEnabled());
    }

    // The report's button asks for the retry; the window runs it when the
    // report closes.
    fake.setFaultChooser(nullptr);
    fake.clearRequests();
    QTimer::singleShot(0, [] {
        auto* report = qobject_cast<historyreportform*>(QApplication::activeModalWidget());
        ASSERT_NE(report, nullptr);
        report->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    });
    untilEnd(w.run(), [&] { control<QPushButton>(w, "rapportknop")->click(); });
    ASSERT_EQ(fake.requests().size(), 1);
    EXPECT_EQ(fake.requests()[0].query.value("s"), QByteArray("bad"));
    EXPECT_FALSE(state().historyRetry);

    historyreportform after;
    EXPECT_EQ(control<QTreeWidget>(after, "ListView2")->topLevelItemCount(), 0);
    EXPECT_FALSE(control<QPushButton>(after, "Command1")->isEnabled());
}

// The list box follows the current list, which other windows may change,
// each time the window becomes the active one.
TEST_F(HistoryWindowTest, ActivationShowsTheCurrentListAgain)
{
    QMdiArea area;
    auto* w = new history;
    QMdiSubWindow* frame = area.addSubWindow(w);
    auto* other = area.addSubWindow(new QWidget);
    area.show();
    auto* combo = control<QComboBox>(*w, "Combo3");
    area.setActiveSubWindow(frame);
    EXPECT_EQ(combo->currentIndex(), 1);
    area.setActiveSubWindow(other);
    settings().lijst = 5;
    area.setActiveSubWindow(frame);
    EXPECT_EQ(combo->currentIndex(), 4);
}

// A list renamed elsewhere shows its new name in the open window at once.
TEST_F(HistoryWindowTest, ARenamedListShowsItsNewNameWithoutReopening)
{
    history w;
    auto* combo = w.findChild<QComboBox*>(QStringLiteral("Combo3"));
    ASSERT_NE(combo, nullptr);
    lists::setName(2, QStringLiteral("US Blue Chips & Europa"));
    EXPECT_EQ(combo->itemText(1), lists::chooserCaption(2));
    EXPECT_TRUE(combo->itemText(1).contains(QStringLiteral("US Blue Chips & Europa")));
}
