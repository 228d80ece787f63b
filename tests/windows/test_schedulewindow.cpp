#include "fakeservice.h"
#include "runwait.h"
#include "testutil.h"

#include "database/db.h"
#include "database/startup.h"
#include "runs/scheduler.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "windows/autodownload.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimeEdit>
#include <QTimer>

class ScheduleWindowTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        fake.useForAllHosts();
        settings().isdelay = false;
        settings().teller3 = 1;
        formatOn('C', QStringLiteral("ascii"));
        Database db(paths::databaseFile());
        db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, list2) VALUES (1, 'AAA', 'A', 1)"));
        fake.addQuote({"AAA", "12/1/2026", "4:00pm", "1", "2", "1", "1.5", "100", "A", "NYSE"});
    }

    template <typename W>
    static W* control(Autodownload& w, const QString& name)
    {
        W* c = w.findChild<W*>(name);
        EXPECT_NE(c, nullptr) << name.toStdString();
        return c;
    }

    static QString nextCell(Autodownload& w, int n)
    {
        return control<QTableWidget>(w, QStringLiteral("MSHFlexGrid1"))->item(n - 1, 6)->text();
    }

    FakeQuoteService fake;
};

TEST_F(ScheduleWindowTest, PickersAndColumnsFollowTheCheckBoxes)
{
    Autodownload w;
    // Shown, since a table lays out (and shows) its cell widgets then.
    w.show();
    QApplication::processEvents();
    auto* grid = control<QTableWidget>(w, QStringLiteral("MSHFlexGrid1"));
    EXPECT_EQ(grid->horizontalHeaderItem(6)->text(), QStringLiteral("Next download"));
    EXPECT_FALSE(control<QGroupBox>(w, QStringLiteral("frameSchedule"))->isEnabled());
    control<QRadioButton>(w, QStringLiteral("Option6"))->setChecked(true);
    EXPECT_TRUE(control<QGroupBox>(w, QStringLiteral("frameSchedule"))->isEnabled());
    EXPECT_FALSE(control<QGroupBox>(w, QStringLiteral("FrameCurrent"))->isEnabled());

    // Without "Use Interval" only the start picker of a ticked list shows.
    EXPECT_TRUE(grid->isColumnHidden(4));
    EXPECT_TRUE(control<QTimeEdit>(w, QStringLiteral("DTPicker1(2)"))->isHidden());
    EXPECT_TRUE(nextCell(w, 3).isEmpty());
    control<QCheckBox>(w, QStringLiteral("Check1(2)"))->click();
    EXPECT_FALSE(control<QTimeEdit>(w, QStringLiteral("DTPicker1(2)"))->isHidden());
    EXPECT_TRUE(control<QTimeEdit>(w, QStringLiteral("DTPicker2(2)"))->isHidden());
    EXPECT_FALSE(nextCell(w, 3).isEmpty());
    control<QCheckBox>(w, QStringLiteral("Check2"))->click();
    EXPECT_FALSE(grid->isColumnHidden(4));
    EXPECT_FALSE(grid->isColumnHidden(5));
    EXPECT_FALSE(control<QTimeEdit>(w, QStringLiteral("DTPicker2(2)"))->isHidden());
    EXPECT_TRUE(control<QTimeEdit>(w, QStringLiteral("DTPicker2(3)"))->isHidden());

    // An end time before the start time snaps to the start time.
    control<QTimeEdit>(w, QStringLiteral("DTPicker1(2)"))->setTime(QTime(10, 0));
    control<QTimeEdit>(w, QStringLiteral("DTPicker2(2)"))->setTime(QTime(9, 15));
    EXPECT_EQ(control<QTimeEdit>(w, QStringLiteral("DTPicker2(2)"))->time(), QTime(10, 0));
    EXPECT_EQ(w.scheduler().schedule.lists[3].end, QTime(10, 0));

    control<QCheckBox>(w, QStringLiteral("Check1(2)"))->click();
    EXPECT_TRUE(control<QTimeEdit>(w, QStringLiteral("DTPicker2(2)"))->isHidden());
    EXPECT_TRUE(nextCell(w, 3).isEmpty());

    // Closing saves the schedule.
    control<QCheckBox>(w, QStringLiteral("Check1(2)"))->click();
    control<QCheckBox>(w, QStringLiteral("Check5"))->click();
    EXPECT_TRUE(w.close());
    EXPECT_EQ(store::read(QStringLiteral("SList3"), {}), QStringLiteral("True"));
    EXPECT_EQ(store::read(QStringLiteral("TList3"), {}), QStringLiteral("10:00:00"));
    EXPECT_EQ(store::read(QStringLiteral("EList3"), {}), QStringLiteral("10:00:00"));
    EXPECT_EQ(store::read(QStringLiteral("Interval"), {}), QStringLiteral("1"));
    EXPECT_EQ(store::read(QStringLiteral("weekend"), {}), QStringLiteral("1"));
    EXPECT_TRUE(settings().sList[3]);
}

TEST_F(ScheduleWindowTest, TheSchedulerDownloadsDueListsAndHoldsTheWindowUntilStopped)
{
    Autodownload w;
    const QDate day(2027, 1, 8);
    ManualClock clock(QDateTime(day, QTime(10, 0)));
    w.scheduler().setClock(clock);
    control<QRadioButton>(w, QStringLiteral("Option6"))->setChecked(true);
    control<QCheckBox>(w, QStringLiteral("Check1(1)"))->click();
    control<QTimeEdit>(w, QStringLiteral("DTPicker1(1)"))->setTime(QTime(9, 0));

    control<QPushButton>(w, QStringLiteral("Command4"))->click();
    EXPECT_TRUE(w.scheduler().active());
    EXPECT_TRUE(w.scheduler().timer()->isActive());
    EXPECT_EQ(w.scheduler().timer()->interval(), 10000);
    // The list due next and when: 09:00 has passed, so list 2 is due now.
    EXPECT_EQ(control<QLabel>(w, QStringLiteral("Panel3"))->text(), QStringLiteral("Waiting... next: list 2 at now"));
    EXPECT_EQ(nextCell(w, 2), QStringLiteral("now"));
    for (const char* name : {"Command4", "rapportknop", "Option5", "Option6"})
        EXPECT_FALSE(control<QWidget>(w, QLatin1String(name))->isEnabled()) << name;
    EXPECT_TRUE(control<QPushButton>(w, QStringLiteral("commandstoppen"))->isEnabled());
    EXPECT_FALSE(w.close());
    ASSERT_FALSE(msgs.shown.isEmpty());
    EXPECT_EQ(msgs.shown.last().text, QStringLiteral("Please first stop the scheduler\r\nStop it now and close?"));
    EXPECT_EQ(msgs.shown.last().yesText, QStringLiteral("&Stop and quit"));
    EXPECT_TRUE(w.scheduler().active());  // the default answer keeps it going

    clock.set(QDateTime(day, QTime(10, 0, 10)));
    untilSignal(w.scheduler(), &Scheduler::tickEnded, [&w] { w.scheduler().SchedulerTick(); });
    EXPECT_TRUE(QFile::exists(settings().format('C').folder + QStringLiteral("AAA.asc")));
    EXPECT_EQ(w.scheduler().ExactDownload(2), QDateTime(day.addDays(1), QTime(9, 0)));
    EXPECT_TRUE(nextCell(w, 2).endsWith(QStringLiteral(" 09:00")));
    // The run's end leaves the window with the scheduler.
    EXPECT_FALSE(control<QWidget>(w, QStringLiteral("Option5"))->isEnabled());
    EXPECT_TRUE(control<QPushButton>(w, QStringLiteral("commandstoppen"))->isEnabled());

    control<QPushButton>(w, QStringLiteral("commandstoppen"))->click();
    EXPECT_FALSE(w.scheduler().active());
    EXPECT_FALSE(w.scheduler().timer()->isActive());
    EXPECT_TRUE(control<QPushButton>(w, QStringLiteral("Command4"))->isEnabled());
    EXPECT_TRUE(control<QPushButton>(w, QStringLiteral("rapportknop"))->isEnabled());
    EXPECT_TRUE(control<QLabel>(w, QStringLiteral("Panel3"))->text().isEmpty());
    EXPECT_TRUE(w.close());
}

TEST_F(ScheduleWindowTest, DisconnectAfterANormalDownloadRunsTheCommand)
{
    const QString marker = path(QStringLiteral("disconnected"));
    store::write(QStringLiteral("DisconnectCommand"), QStringLiteral("touch ") + marker);
    Autodownload w;
    control<QComboBox>(w, QStringLiteral("Combo3"))->setCurrentIndex(1);
    auto* check3 = control<QCheckBox>(w, QStringLiteral("Check3"));
    EXPECT_TRUE(check3->isEnabled());
    auto download = [&] {
        untilSignal(w, &Autodownload::runEnded, [&] { control<QPushButton>(w, QStringLiteral("Command1"))->click(); });
    };
    download();
    EXPECT_FALSE(QFile::exists(marker));
    check3->click();
    download();
    EXPECT_TRUE(QFile::exists(marker));
    EXPECT_TRUE(w.close());
    EXPECT_EQ(store::read(QStringLiteral("disconnectnormal"), {}), QStringLiteral("1"));
}

// "Stop and quit" stops the scheduler and closes the window once nothing
// runs any more.
TEST_F(ScheduleWindowTest, StopAndQuitStopsTheSchedulerAndCloses)
{
    Autodownload w;
    ManualClock clock(QDateTime(QDate(2027, 1, 8), QTime(8, 0)));
    w.scheduler().setClock(clock);
    control<QRadioButton>(w, QStringLiteral("Option6"))->setChecked(true);
    control<QCheckBox>(w, QStringLiteral("Check1(1)"))->click();
    control<QTimeEdit>(w, QStringLiteral("DTPicker1(1)"))->setTime(QTime(9, 0));
    control<QPushButton>(w, QStringLiteral("Command4"))->click();
    ASSERT_TRUE(w.scheduler().active());
    EXPECT_TRUE(
        control<QLabel>(w, QStringLiteral("Panel3"))->text().startsWith(QStringLiteral("Waiting... next: list 2 at ")));
    EXPECT_TRUE(control<QLabel>(w, QStringLiteral("Panel3"))->text().endsWith(QStringLiteral(" 09:00")));
    w.show();
    msgs.queue(Answer::Yes);
    EXPECT_FALSE(w.close());  // refused at first: the scheduler winds down
    EXPECT_FALSE(w.scheduler().active());
    QElapsedTimer waited;
    waited.start();
    while (w.isVisible() && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_FALSE(w.isVisible());
}
