#include "runwait.h"
#include "writertest.h"

#include "database/startup.h"
#include "support/settingsstore.h"
#include "support/yield.h"
#include "writers/amibroker.h"
#include "writers/location.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <functional>

namespace {

// The import's result once it has ended; `whileRunning` may act on it.
amibroker::ImportResult importToEnd(const std::function<void(amibroker::Importer&)>& whileRunning = {})
{
    amibroker::Importer importer;
    untilSignal(importer, &amibroker::Importer::done, [&] {
        importer.start();
        if (whileRunning)
            whileRunning(importer);
    });
    return importer.result();
}

}  // namespace

class AmiBrokerTest : public WriterTest {
protected:
    // A script that records each argument on a line of its own and exits
    // with `status` (after `sleepSeconds`).
    QString script(int status, int sleepSeconds = 0)
    {
        const QString file = path("bin dir/import 'it'.sh");
        QDir().mkpath(path("bin dir"));
        writeFile(file, QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1'\n"
                                       "sleep %2\nexit %3\n")
                            .arg(record())
                            .arg(sleepSeconds)
                            .arg(status)
                            .toUtf8());
        QFile(file).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return file;
    }
    QString record() const { return path("args.txt"); }
    QString staging() const { return dataFolder() + "/ami2.txt"; }
    // The command line a user would type for `program`, quoted for blanks.
    static QString quoted(const QString& program) { return "\"" + program + "\""; }
};

TEST_F(AmiBrokerTest, CommandWordsStayWholeAndPlaceholdersAreFilledIn)
{
    const QString file = "/data/my quotes/ami2.txt";
    EXPECT_EQ(
        amibroker::commandLine("wine \"C:/Program Files/AmiBroker/Broker.exe\" /import %f --def=%d 100%%", file),
        QStringList({"wine", "C:/Program Files/AmiBroker/Broker.exe", "/import", file, "--def=aqd.format", "100%"}));
    // Quotes or a ";" in the file name are data, not shell syntax.
    EXPECT_EQ(amibroker::commandLine("imp %f", "/tmp/a'b\";rm -rf x"), QStringList({"imp", "/tmp/a'b\";rm -rf x"}));
    // Without %f the file and the definition go last.
    EXPECT_EQ(amibroker::commandLine("imp -q", file), QStringList({"imp", "-q", file, "aqd.format"}));
    EXPECT_TRUE(amibroker::commandLine("   ", file).isEmpty());
}

TEST_F(AmiBrokerTest, PresenceTestNeedsAProgramThatCanBeRun)
{
    QString why;
    EXPECT_FALSE(amibroker::presenceTest("", &why));
    EXPECT_EQ(why, "No import command is set");
    EXPECT_FALSE(amibroker::presenceTest("no-such-program-here %f", &why));
    EXPECT_FALSE(amibroker::presenceTest(quoted(path("missing.sh")) + " %f"));
    writeFile(path("notexec.sh"), "#!/bin/sh\n");
    EXPECT_FALSE(amibroker::presenceTest(quoted(path("notexec.sh"))));
    EXPECT_TRUE(amibroker::presenceTest("sh -c true"));
    EXPECT_TRUE(amibroker::presenceTest(quoted(script(0)) + " %f %d"));
}

TEST_F(AmiBrokerTest, ImportRunsTheCommandWithTheStagingFileAndReportsTheExitStatus)
{
    writeFile(staging(), "\"XYZ.AS\",\"Xyz\",10.5,\"03/15/2004\",\"\",0.00,10,11,9,1000\r\n"
                         "\"ABC\",\"Abc\",1,\"03/15/2004\",\"\",0.00,1,1,1,5\r\n");
    amibroker::setImportCommand(quoted(script(0)) + " -import %f -def %d");
    amibroker::ImportResult r = importToEnd();
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.quotes, 2);
    EXPECT_EQ(r.line, "Export to Amibroker succeeded\r\n");
    EXPECT_EQ(QString::fromUtf8(readAll(record())), "-import\n" + staging() + "\n-def\naqd.format\n");

    amibroker::setImportCommand(quoted(script(3)));
    r = importToEnd();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.line, "Export to Amibroker failed\r\n");

    // A command that cannot be started fails the same way.
    amibroker::setImportCommand(path("gone.sh"));
    EXPECT_EQ(importToEnd().line, "Export to Amibroker failed\r\n");
}

TEST_F(AmiBrokerTest, NothingToImportStartsNothing)
{
    amibroker::setImportCommand(quoted(script(0)));
    // A missing file is created empty, as at the start of a run.
    amibroker::ImportResult r = importToEnd();
    EXPECT_FALSE(r.started);
    EXPECT_TRUE(r.line.isEmpty());
    EXPECT_TRUE(QFile::exists(staging()));
    EXPECT_FALSE(QFile::exists(record()));

    // A historical staging file with only its header is still imported.
    writeFile(staging(), "<TICKER>,<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>\r\n");
    r = importToEnd();
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.quotes, 0);
    EXPECT_TRUE(QFile::exists(record()));
}

TEST_F(AmiBrokerTest, StopEndsARunningImport)
{
    writeFile(staging(), "\"ABC\",\"Abc\",1,\"03/15/2004\",\"\",0.00,1,1,1,5\r\n");
    // A command that would succeed after 30 s; Stop is pressed once it has
    // begun (its first act is to write the record of its arguments).
    amibroker::setImportCommand(quoted(script(0, 30)));
    QElapsedTimer sinceStop;
    QTimer watch;
    const amibroker::ImportResult r = importToEnd([&](amibroker::Importer& importer) {
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!sinceStop.isValid() && QFile::exists(record())) {
                importer.stop();
                sinceStop.start();
            }
        });
        watch.start(10);
    });
    ASSERT_TRUE(sinceStop.isValid());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.line, "Export to Amibroker failed\r\n");
    // Ended, not waited for: at worst a 3 s grace before the kill, with a
    // margin for a loaded machine.
    EXPECT_LT(sinceStop.elapsed(), 15000);
}

// A command that never ends does not hold the run for ever: past its time
// (a setting) it is ended and the import counts as failed.
TEST_F(AmiBrokerTest, ACommandThatHangsIsEndedAfterItsTime)
{
    writeFile(staging(), "\"ABC\",\"Abc\",1,\"03/15/2004\",\"\",0.00,1,1,1,5\r\n");
    amibroker::setImportCommand(quoted(script(0, 60)));
    EXPECT_EQ(amibroker::importTimeoutSeconds(), amibroker::kDefaultTimeoutSeconds);
    store::write(amibroker::kTimeoutKey, QStringLiteral("1"));
    QElapsedTimer clock;
    clock.start();
    const amibroker::ImportResult r = importToEnd();
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.line, "Export to Amibroker failed (the import command did not end within 1 s)\r\n");
    EXPECT_LT(clock.elapsed(), 20000);
}

TEST_F(AmiBrokerTest, LocationSwitchesOnOnlyWithAUsableCommandAndStoresIt)
{
    ASSERT_TRUE(runStartup().opened);
    msgs.shown.clear();
    FormatLocation ami('A');
    LocationChoice c = ami.load();
    EXPECT_TRUE(c.importCommand.isEmpty());
    c.selected = true;
    EXPECT_FALSE(ami.accept(c));
    EXPECT_FALSE(settings().format('A').on);
    EXPECT_EQ(msgs.texts(),
              QStringList{"Unable to write Amibroker-format\r\nAmibroker must be installed on this computer"});

    c.importCommand = quoted(script(0)) + " %f";
    ASSERT_TRUE(ami.accept(c));
    EXPECT_TRUE(settings().format('A').on);
    EXPECT_EQ(store::read("AmiBrokerImport", {}), c.importCommand);
    EXPECT_EQ(FormatLocation('A').load().importCommand, c.importCommand);
}
