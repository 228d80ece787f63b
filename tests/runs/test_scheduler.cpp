#include "fakeservice.h"
#include "runwait.h"
#include "testutil.h"

#include "database/db.h"
#include "database/startup.h"
#include "runs/currentrun.h"
#include "runs/hangup.h"
#include "runs/scheduler.h"
#include "support/paths.h"
#include "support/runlock.h"
#include "support/settingsstore.h"
#include "support/state.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <memory>

namespace {
// 2027-01-08 is a Friday.
const QDate kFriday(2027, 1, 8);

QDateTime at(const QDate& day, int h, int m, int s = 0) { return QDateTime(day, QTime(h, m, s)); }

// The disconnect command's outcome, once it has ended.
QString hangUp(int timeoutMs = 60000)
{
    HangUp command;
    QString problem;
    untilSignal(command, &HangUp::done, [&] {
        QObject::connect(&command, &HangUp::done, [&problem](const QString& p) { problem = p; });
        command.start(timeoutMs);
    });
    return problem;
}

void tickToEnd(Scheduler& scheduler)
{
    untilSignal(scheduler, &Scheduler::tickEnded, [&scheduler] { scheduler.SchedulerTick(); });
}

QStringList planText(const Schedule& schedule, const QDateTime& from, const QDateTime& until)
{
    QStringList out;
    for (const auto& [moment, list] : scheduleplan::plan(schedule, from, until))
        out << moment.toString(QStringLiteral("ddd HH:mm:ss")) + QStringLiteral(" list ") + QString::number(list);
    return out;
}

Schedule oneList(int n, QTime start, QTime end = {}, QTime interval = QTime(0, 0), bool useInterval = false)
{
    Schedule s;
    s.lists[n].on = true;
    s.setTimes(n, start, end.isValid() ? end : start, interval);
    s.useInterval = useInterval;
    return s;
}
}  // namespace

class SchedulerTest : public QuotarisTest {};

TEST_F(SchedulerTest, RepeatedDownloadsStayBeforeTheEndTimeAndRollToTheNextDay)
{
    // 02:30 from 09:00: 19:00 lies past 17:00, so the next is tomorrow 09:00.
    const Schedule every = oneList(1, QTime(9, 0), QTime(17, 0), QTime(2, 30), true);
    EXPECT_EQ(planText(every, at(kFriday, 8, 0), at(kFriday.addDays(1), 10, 0)),
              QStringList({"Fri 09:00:10 list 1", "Fri 11:30:10 list 1", "Fri 14:00:10 list 1", "Fri 16:30:10 list 1",
                           "Sat 09:00:10 list 1"}));

    // 23:30 + 00:45 crosses midnight: the list waits for its start tomorrow.
    const Schedule late = oneList(4, QTime(23, 30), QTime(23, 59), QTime(0, 45), true);
    EXPECT_EQ(planText(late, at(kFriday, 22, 0), at(kFriday.addDays(2), 0, 0)),
              QStringList({"Fri 23:30:10 list 4", "Sat 23:30:10 list 4"}));

    // The same schedule without "Use Interval" downloads once a day.
    Schedule once = every;
    once.useInterval = false;
    EXPECT_EQ(planText(once, at(kFriday, 8, 0), at(kFriday.addDays(1), 10, 0)),
              QStringList({"Fri 09:00:10 list 1", "Sat 09:00:10 list 1"}));
}

TEST_F(SchedulerTest, WeekdaysOnlySkipsTheWeekendForMomentsOnALaterDay)
{
    Schedule s = oneList(1, QTime(9, 0));
    s.weekdaysOnly = true;
    // Started after the start time on Friday: at once, then Monday.
    EXPECT_EQ(planText(s, at(kFriday, 10, 15), at(kFriday.addDays(4), 0, 0)),
              QStringList({"Fri 10:15:10 list 1", "Mon 09:00:10 list 1"}));
    // Started on Saturday: today still counts, the next moment is Monday.
    EXPECT_EQ(planText(s, at(kFriday.addDays(1), 10, 0), at(kFriday.addDays(4), 0, 0)),
              QStringList({"Sat 10:00:10 list 1", "Mon 09:00:10 list 1"}));
    // With the interval in use and today's end passed on Friday, the first
    // moment is pushed over the weekend as well.
    Schedule repeated = oneList(2, QTime(9, 0), QTime(12, 0), QTime(1, 0), true);
    repeated.weekdaysOnly = true;
    EXPECT_EQ(planText(repeated, at(kFriday, 13, 0), at(kFriday.addDays(3), 10, 30)),
              QStringList({"Mon 09:00:10 list 2", "Mon 10:00:10 list 2"}));

    s.weekdaysOnly = false;
    EXPECT_EQ(planText(s, at(kFriday, 10, 15), at(kFriday.addDays(2), 0, 0)),
              QStringList({"Fri 10:15:10 list 1", "Sat 09:00:10 list 1"}));
}

TEST_F(SchedulerTest, ListsDueInOneTickDownloadInListOrder)
{
    Schedule s;
    for (int n : {5, 2}) {
        s.lists[n].on = true;
        s.setTimes(n, n == 5 ? QTime(9, 0) : QTime(9, 30), {}, {});
    }
    s.lists[7].start = QTime(9, 0);  // not on: never downloaded
    EXPECT_EQ(planText(s, at(kFriday, 10, 0), at(kFriday, 12, 0)),
              QStringList({"Fri 10:00:10 list 2", "Fri 10:00:10 list 5"}));
}

TEST_F(SchedulerTest, ALateStartCatchesUpOnceInsteadOfAtEveryTick)
{
    // 09:00-17:00 every hour, started at 15:00: once at the first tick, then
    // 16:00, then tomorrow from 09:00.
    const Schedule s = oneList(1, QTime(9, 0), QTime(17, 0), QTime(1, 0), true);
    EXPECT_EQ(
        planText(s, at(kFriday, 15, 0), at(kFriday.addDays(1), 10, 30)),
        QStringList({"Fri 15:00:10 list 1", "Fri 16:00:10 list 1", "Sat 09:00:10 list 1", "Sat 10:00:10 list 1"}));

    // A download longer than the interval: the next moment is the first one
    // of the day's sequence still to come.
    ManualClock clock(at(kFriday, 8, 59, 55));
    QVector<QDateTime> started;
    Scheduler scheduler(clock, [&](int) {
        started << clock.now();
        clock.set(clock.now().addSecs(150 * 60));
        return true;
    });
    scheduler.schedule = s;
    scheduler.simulate = true;
    scheduler.StartScheduler();
    clock.set(at(kFriday, 9, 0, 5));
    scheduler.SchedulerTick();
    EXPECT_EQ(started, QVector<QDateTime>({at(kFriday, 9, 0, 5)}));
    EXPECT_EQ(scheduler.ExactDownload(1), at(kFriday, 12, 0));
}

TEST_F(SchedulerTest, EndTimesSnapToTheStartAndTheScheduleSurvivesARestart)
{
    EXPECT_TRUE(TimeNotBefore(QTime(9, 0, 0), QTime(9, 0, 0)));
    EXPECT_FALSE(TimeNotBefore(QTime(8, 59, 59), QTime(9, 0, 0)));

    Schedule s;
    s.setTimes(3, QTime(10, 0), QTime(9, 0), QTime(0, 30));
    EXPECT_EQ(s.lists[3].end, QTime(10, 0));
    s.setTimes(3, QTime(10, 0, 42), QTime(16, 45, 59), QTime(0, 30));
    EXPECT_EQ(s.lists[3].start, QTime(10, 0));  // whole minutes, as the pickers show
    EXPECT_EQ(s.lists[3].end, QTime(16, 45));
    s.lists[3].on = true;
    s.useInterval = true;
    s.weekdaysOnly = true;
    s.disconnectNormal = true;
    s.save();
    EXPECT_EQ(store::read(QStringLiteral("Interval"), {}), QStringLiteral("1"));
    EXPECT_EQ(store::read(QStringLiteral("disconnectschedule"), {}), QStringLiteral("0"));

    resetProcessState();
    ASSERT_TRUE(runStartup().opened);
    const Schedule back = Schedule::load();
    EXPECT_TRUE(back.lists[3].on);
    EXPECT_FALSE(back.lists[4].on);
    EXPECT_EQ(back.lists[3].start, QTime(10, 0));
    EXPECT_EQ(back.lists[3].end, QTime(16, 45));
    EXPECT_EQ(back.lists[3].interval, QTime(0, 30));
    EXPECT_TRUE(back.useInterval && back.weekdaysOnly && back.disconnectNormal);
    EXPECT_FALSE(back.disconnectSchedule);
}

// A run that ends aborted (Stop, or Abort in the error dialog) stops the
// scheduler after that run.
TEST_F(SchedulerTest, AnAbortedRunStopsTheScheduler)
{
    ManualClock clock(at(kFriday, 10, 0));
    QVector<int> downloaded;
    Scheduler scheduler(clock, [&](int n, const std::function<void(Scheduler::Ended)>& ended) {
        downloaded << n;
        ended(Scheduler::Ended::Stopped);
    });
    for (int n : {2, 5}) {
        scheduler.schedule.lists[n].on = true;
        scheduler.schedule.setTimes(n, QTime(9, 0), {}, {});
    }
    scheduler.simulate = true;
    scheduler.StartScheduler();
    clock.set(at(kFriday, 10, 0, 10));
    scheduler.SchedulerTick();
    EXPECT_EQ(downloaded, QVector<int>({2}));
    EXPECT_FALSE(scheduler.active());
    EXPECT_FALSE(scheduler.timer()->isActive());
}

TEST_F(SchedulerTest, DisconnectCommandRunsWithoutAShellAndReportsFailures)
{
    EXPECT_EQ(hangUp(), QString());  // nothing set: nothing happens

    const QString dir = path(QStringLiteral("hangup"));
    QDir().mkpath(dir);
    store::write(QStringLiteral("DisconnectCommand"),
                 QStringLiteral("touch \"%1/two words\" %1/a;b %1/$HOME").arg(dir));
    EXPECT_EQ(hangUp(), QString());
    EXPECT_EQ(QDir(dir).entryList(QDir::Files, QDir::Name), QStringList({"$HOME", "a;b", "two words"}));

    store::write(QStringLiteral("DisconnectCommand"), QStringLiteral("false"));
    EXPECT_EQ(hangUp(), QStringLiteral("Disconnect command failed (exit code 1): false"));
    store::write(QStringLiteral("DisconnectCommand"), QStringLiteral("/nonexistent/quotaris-hangup"));
    EXPECT_TRUE(hangUp().startsWith(QStringLiteral("Disconnect command could not be started")));
    store::write(QStringLiteral("DisconnectCommand"), QStringLiteral("sleep 30"));
    EXPECT_TRUE(hangUp(300).startsWith(QStringLiteral("Disconnect command did not end within")));
}

TEST_F(SchedulerTest, TheSchedulerDisconnectsOnlyAfterATickThatDownloaded)
{
    ASSERT_TRUE(runStartup().opened);
    const QString marker = path(QStringLiteral("disconnected"));
    store::write(QStringLiteral("DisconnectCommand"), QStringLiteral("touch ") + marker);
    ManualClock clock(at(kFriday, 8, 0));
    int downloads = 0;
    Scheduler scheduler(clock, [&](int) {
        ++downloads;
        return true;
    });
    scheduler.schedule = oneList(6, QTime(9, 0));
    scheduler.schedule.disconnectSchedule = true;
    scheduler.StartScheduler();
    clock.set(at(kFriday, 8, 0, 10));
    tickToEnd(scheduler);
    EXPECT_EQ(downloads, 0);
    EXPECT_FALSE(QFile::exists(marker));
    clock.set(at(kFriday, 9, 0, 10));
    tickToEnd(scheduler);
    EXPECT_EQ(downloads, 1);
    EXPECT_TRUE(QFile::exists(marker));
    EXPECT_TRUE(scheduler.timer()->isActive());
    scheduler.StopScheduler();
}

// A scheduled run against the fake service: a failed download does not stop
// the scheduler, and the list simply gets its next moment.
TEST_F(SchedulerTest, AFailedScheduledRunKeepsTheSchedulerGoing)
{
    ASSERT_TRUE(runStartup().opened);
    FakeQuoteService fake;
    fake.useForAllHosts();
    ProgramSettings& s = settings();
    s.isdelay = false;
    s.teller2 = 30;  // every answer comes at once: far from the time-out
    s.teller3 = 1;
    formatOn('C', QStringLiteral("ascii"));
    {
        Database db(paths::databaseFile());
        db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, list3) VALUES (1, 'AAA', 'A', 1)"));
        db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, list1) VALUES (1, 'ZZZ', 'Z', 1)"));
    }
    fake.addQuote({"AAA", "12/1/2026", "4:00pm", "1", "2", "1", "1.5", "100", "A", "NYSE"});
    fake.setFault(FakeQuoteService::Fault::ServerError);

    ManualClock clock(at(kFriday, 10, 0));
    CurrentRun run;
    QStringList outcomes;
    Scheduler scheduler(clock, Scheduler::downloadWith(run));
    QObject::connect(&scheduler, &Scheduler::downloadEnded, [&](int n) {
        outcomes << QString::number(n) + QStringLiteral(": ") + run.summary().outcome();
        fake.setFault(FakeQuoteService::Fault::None);  // the service is back for the next list
    });
    for (int n : {3, 1}) {
        scheduler.schedule.lists[n].on = true;
        scheduler.schedule.setTimes(n, QTime(9, 0), {}, {});
    }
    scheduler.StartScheduler();
    EXPECT_TRUE(scheduler.timer()->isActive());
    clock.set(at(kFriday, 10, 0, 10));
    tickToEnd(scheduler);
    ASSERT_EQ(outcomes.size(), 2);
    EXPECT_TRUE(outcomes[0].startsWith(QStringLiteral("1: Download failed"))) << outcomes[0].toStdString();
    EXPECT_EQ(outcomes[1], QStringLiteral("3: Download finished: 1 of 1 written"));
    EXPECT_TRUE(scheduler.active());
    EXPECT_TRUE(scheduler.timer()->isActive());
    EXPECT_EQ(scheduler.ExactDownload(1), at(kFriday.addDays(1), 9, 0));
    EXPECT_TRUE(QFile::exists(s.format('C').folder + QStringLiteral("AAA.asc")));
    scheduler.StopScheduler();
}

TEST(SchedulerBusy, AListRefusedForABusyFolderIsTriedAgainAtTheNextTick)
{
    ManualClock clock(at(kFriday, 8, 59, 55));
    int attempts = 0;
    Scheduler scheduler(clock, [&](int) { return ++attempts > 1; });  // busy the first time
    scheduler.schedule = oneList(3, QTime(9, 0));
    scheduler.simulate = true;
    QStringList notices;
    QObject::connect(&scheduler, &Scheduler::notice, [&notices](const QString& t) { notices << t; });
    scheduler.StartScheduler();
    clock.set(at(kFriday, 9, 0, 5));
    scheduler.SchedulerTick();
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(scheduler.ExactDownload(3), at(kFriday, 9, 0));  // still due
    EXPECT_EQ(notices, QStringList{QStringLiteral("List 3 waits: another download holds the data folder")});
    clock.set(at(kFriday, 9, 0, 15));
    scheduler.SchedulerTick();
    EXPECT_EQ(attempts, 2);
    EXPECT_GT(scheduler.ExactDownload(3), at(kFriday, 9, 0, 15));  // done for this moment
}

// A scheduler started while another run holds the data folder leaves that
// run's bookkeeping alone; it empties the tables once it gets the folder.
TEST_F(SchedulerTest, TheTablesOfARunInFlightAreNotEmptiedByAStartingScheduler)
{
    ASSERT_TRUE(runStartup().opened);
    auto failed = [] {
        return Database(paths::databaseFile()).scalar(QStringLiteral("SELECT count(*) FROM nietgelukt")).toInt();
    };
    Database(paths::databaseFile()).exec(QStringLiteral("INSERT INTO nietgelukt (ticker) VALUES ('HELD')"));

    ManualClock clock(at(kFriday, 8, 59, 55));
    int downloads = 0;
    Scheduler scheduler(clock, [&](int) { return ++downloads > 1; });  // busy the first time
    scheduler.schedule = oneList(3, QTime(9, 0));
    auto other = std::make_unique<RunLock>();
    ASSERT_TRUE(other->acquire(QStringLiteral("download"), nullptr));
    scheduler.StartScheduler();
    EXPECT_EQ(failed(), 1);
    clock.set(at(kFriday, 9, 0, 5));
    scheduler.SchedulerTick();
    EXPECT_EQ(downloads, 1);
    EXPECT_EQ(failed(), 1);  // still the other run's

    other.reset();
    clock.set(at(kFriday, 9, 0, 15));
    scheduler.SchedulerTick();
    EXPECT_EQ(downloads, 2);
    EXPECT_EQ(failed(), 0);
    scheduler.StopScheduler();
}
