#include "downloadfixture.h"

#include "database/db.h"
#include "support/paths.h"
#include "support/yield.h"

#include <QDir>
#include <QRegularExpression>
#include <csignal>

class ScheduleCommandTest : public DownloadCommandTest {
protected:
    static ProgramRun schedule(const QStringList& args)
    {
        return runQuotaris(QStringList{QStringLiteral("schedule")} + args);
    }
};

TEST_F(ScheduleCommandTest, SettingsChangeAsInTheWindowAndThePlanFollowsThem)
{
    ProgramRun r = schedule({"set", "3", "--start", "10:00", "--end", "9:30", "--interval", "01:00"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_EQ(r.lines().size(), 2);
    EXPECT_TRUE(r.lines()[1].contains(QStringLiteral("on      10:00  10:00  01:00"))) << r.out.toStdString();

    r = schedule({"set", "3", "--start", "09:00", "--end", "17:00"});
    ASSERT_EQ(r.status, 0);
    r = schedule({"options", "--use-interval", "on", "--weekdays", "on"});
    EXPECT_EQ(r.out, QStringLiteral("use interval: on, weekdays only: on, disconnect after each download: off\n"
                                    "disconnect command: (none)\n"));

    // Friday 15:00: one catch-up download, 16:00, then Monday from 09:00.
    r = schedule({"plan", "--from", "2027-01-08 15:00", "--until", "2027-01-11 10:30"});
    EXPECT_EQ(r.status, 0);
    const QStringList plan{"2027-01-08 15:00:10 list 3", "2027-01-08 16:00:10 list 3", "2027-01-11 09:00:10 list 3",
                           "2027-01-11 10:00:10 list 3"};
    EXPECT_EQ(r.lines().join(QLatin1Char('|')).toStdString(), plan.join(QLatin1Char('|')).toStdString());

    r = schedule({});
    ASSERT_EQ(r.lines().size(), 19);
    EXPECT_TRUE(r.lines()[5].startsWith(QStringLiteral("   3 "))) << r.lines()[5].toStdString();
    EXPECT_TRUE(r.lines()[5].contains(QStringLiteral("on      09:00  17:00  01:00"))) << r.lines()[5].toStdString();
    EXPECT_TRUE(r.lines()[6].contains(QStringLiteral(" off ")));

    EXPECT_EQ(schedule({"off", "3"}).status, 0);
    r = schedule({"plan", "--from", "2027-01-08 15:00", "--until", "2027-01-11 10:00"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.isEmpty());
    // Nothing scheduled: nothing to run.
    EXPECT_EQ(schedule({"run"}).status, 1);

    for (const QStringList& bad : {QStringList{"set", "17", "--start", "10:00"},
                                   {"set", "3", "--start", "24:00"},
                                   {"set", "3", "--end", "10:00"},
                                   {"off"},
                                   {"options", "--weekdays", "yes"},
                                   {"plan", "--from", "2027-01-08"},
                                   {"plan", "--from", "2027-01-09 10:00", "--until", "2027-01-08 10:00"}})
        EXPECT_EQ(schedule(bad).status, 2) << bad.join(QLatin1Char(' ')).toStdString();
}

// A real scheduler run: list 1 downloads at the first tick, list 2 hangs at
// the service until SIGTERM stops the scheduler as the Stop button does.
TEST_F(ScheduleCommandTest, RunDownloadsDueListsAndStopsCleanlyOnSigterm)
{
    addSymbols(numbered(QStringLiteral("SCH"), 3));
    {
        Database db(paths::databaseFile());
        db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, list2) VALUES (1, 'HNG', 'H', 1)"));
    }
    switchOn(QStringLiteral("C"));
    setColumn(QStringLiteral("teller2"), 30);
    fake.setFaultChooser([](const FakeQuoteService::Request& r) {
        return r.target.contains("HNG") ? FakeQuoteService::Fault::Hang : FakeQuoteService::Fault::None;
    });
    ASSERT_EQ(schedule({"set", "1", "--start", "00:00"}).status, 0);
    ASSERT_EQ(schedule({"set", "2", "--start", "00:00"}).status, 0);

    const auto p = start({QStringLiteral("schedule"), QStringLiteral("run")});
    auto hanging = [this] {
        for (const auto& r : fake.requests()) {
            if (r.target.contains("HNG"))
                return true;
        }
        return false;
    };
    ASSERT_TRUE(waitUntil(hanging, 60000));
    ::kill(static_cast<pid_t>(p->processId()), SIGTERM);
    ASSERT_TRUE(waitUntil([&p] { return p->state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
    const QStringList out = QString::fromUtf8(p->readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "));
    ASSERT_EQ(out.size(), 7) << out.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(out[0], QStringLiteral("Scheduler started"));
    EXPECT_TRUE(out[1].startsWith(QStringLiteral("list 1: next download ")));
    EXPECT_TRUE(stamp.match(out[3]).hasMatch());
    EXPECT_TRUE(out[3].endsWith(QStringLiteral(" list 1: Download finished: 3 of 3 written"))) << out[3].toStdString();
    EXPECT_EQ(out[4], QStringLiteral("Stopping..."));
    EXPECT_TRUE(out[5].endsWith(QStringLiteral(" list 2: Download abborted by user: 0 of 1 written")))
        << out[5].toStdString();
    EXPECT_EQ(out[6], QStringLiteral("Scheduler stopped"));

    // The first list's files are complete; the stopped one wrote nothing.
    const QStringList files = QDir(folder[QLatin1Char('C')]).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files, QStringList({"SCH000.asc", "SCH001.asc", "SCH002.asc"}));
    for (const QString& f : files)
        EXPECT_TRUE(readAll(folder[QLatin1Char('C')] + f).endsWith("\r\n"));
}

// A download whose error is answered with Abort (what a run without a window
// answers) ends the scheduler: it says so and exits with a failure, so that
// the service manager starts it again.
TEST_F(ScheduleCommandTest, RunExitsWithAFailureWhenAnAbortStoppedIt)
{
    addSymbols(numbered(QStringLiteral("SCH"), 2));
    switchOn(QStringLiteral("C"));
    // A folder where the run's staging file should be: the run cannot start.
    ASSERT_TRUE(QDir().mkpath(paths::dataFile(QStringLiteral("ami1.txt"))));
    ASSERT_EQ(schedule({"set", "1", "--start", "00:00"}).status, 0);

    const auto p = start({QStringLiteral("schedule"), QStringLiteral("run")});
    const bool ended = waitUntil([&p] { return p->state() == QProcess::NotRunning; }, 60000);
    if (!ended)
        p->kill();
    const QString out = QString::fromUtf8(p->readAllStandardOutput());
    ASSERT_TRUE(ended) << qPrintable(out) << p->readAllStandardError().constData();
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 1) << qPrintable(out);
    EXPECT_TRUE(out.endsWith(QStringLiteral("Scheduler stopped after an abort\n"))) << qPrintable(out);
}
