#include "testutil.h"

#include "support/cancel.h"
#include "support/errors.h"
#include "support/folders.h"
#include "support/log.h"
#include "support/openfiles.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"
#include "support/yield.h"

#include <QElapsedTimer>
#include <QTimer>

#include <QDir>
#include <QFile>

using textconv::toBool;
using textconv::toInteger;
using textconv::toTime;

TEST(TextConv, NumbersThatAreNotNumbersGiveNothing)
{
    EXPECT_EQ(toInteger(QStringLiteral(" 12 "), 0, 100), 12);
    EXPECT_EQ(toInteger(QStringLiteral("10.0"), 0, 100), 10);
    EXPECT_FALSE(toInteger(QStringLiteral("abc"), 0, 100));
    EXPECT_FALSE(toInteger(QStringLiteral(""), 0, 100));
    EXPECT_FALSE(toInteger(QStringLiteral("1.5"), 0, 100));
    EXPECT_FALSE(toInteger(QStringLiteral("99999"), -32768, 32767));
    EXPECT_DOUBLE_EQ(textconv::val(QStringLiteral(" 1500")), 1500);
    EXPECT_DOUBLE_EQ(textconv::val(QStringLiteral("12abc")), 12);
    EXPECT_FALSE(textconv::leadingNumber(QStringLiteral("abc")));
    EXPECT_FALSE(textconv::leadingNumber(QStringLiteral("-")));
    EXPECT_FALSE(textconv::leadingNumber(QStringLiteral("N/A")));
    EXPECT_FALSE(textconv::leadingNumber(QStringLiteral("1e309")));  // not a finite number
    EXPECT_DOUBLE_EQ(textconv::val(QStringLiteral("-.5")), -0.5);
    EXPECT_DOUBLE_EQ(textconv::val(QStringLiteral("\t+2.25x")), 2.25);
    EXPECT_DOUBLE_EQ(textconv::val(QStringLiteral("1.5e3x")), 1500);
    EXPECT_DOUBLE_EQ(textconv::val(QStringLiteral("7e")), 7);
    EXPECT_DOUBLE_EQ(textconv::val(QStringLiteral("1.234.5")), 1.234);
}

TEST(TextConv, BooleansAndTimes)
{
    EXPECT_EQ(toBool(QStringLiteral("True")), true);
    EXPECT_EQ(toBool(QStringLiteral("FALSE")), false);
    EXPECT_EQ(toBool(QStringLiteral("-1")), true);
    EXPECT_EQ(toBool(QStringLiteral("0")), false);
    EXPECT_FALSE(toBool(QStringLiteral("maybe")));

    EXPECT_EQ(toTime(QStringLiteral("9:30")), QTime(9, 30));
    EXPECT_EQ(toTime(QStringLiteral("17:45:10")), QTime(17, 45, 10));
    EXPECT_EQ(toTime(QStringLiteral("4:00pm")), QTime(16, 0));
    EXPECT_EQ(toTime(QStringLiteral("12:15:00 AM")), QTime(0, 15));
    EXPECT_EQ(toTime(QStringLiteral("0")), QTime(0, 0));
    EXPECT_FALSE(toTime(QStringLiteral("25:00")));
    EXPECT_FALSE(toTime(QStringLiteral("13:00 pm")));
    EXPECT_FALSE(toTime(QStringLiteral("noon")));
}

class StoreTest : public QuotarisTest {};

TEST_F(StoreTest, KeysMatchWithoutRegardToCase)
{
    EXPECT_EQ(store::read(QStringLiteral("Metaversion"), QStringLiteral("2000")), QStringLiteral("2000"));
    store::write(QStringLiteral("metaversion"), QStringLiteral("6000"));
    EXPECT_EQ(store::read(QStringLiteral("Metaversion"), QStringLiteral("2000")), QStringLiteral("6000"));
    // Writing under another case replaces the value instead of adding a twin.
    store::write(QStringLiteral("METAVERSION"), QStringLiteral("255"));
    store::sync();
    const QString conf = QString::fromUtf8(readAll(paths::settingsFile()));
    EXPECT_EQ(conf.count(QStringLiteral("etaversion"), Qt::CaseInsensitive), 1) << qPrintable(conf);
    EXPECT_EQ(store::read(QStringLiteral("metaVersion"), QString()), QStringLiteral("255"));
    // Values with commas come back whole.
    store::write(QStringLiteral("List3"), QStringLiteral("Fuel Tech, Inc."));
    EXPECT_EQ(store::read(QStringLiteral("list3"), QString()), QStringLiteral("Fuel Tech, Inc."));
}

class LogTest : public QuotarisTest {};

TEST_F(LogTest, NothingIsWrittenWithLoggingOff)
{
    settings().teller4 = 0;
    WriteLog(QStringLiteral("hidden"));
    EXPECT_FALSE(QFile::exists(paths::logFile()));
    ResetLog();
    EXPECT_FALSE(QFile::exists(paths::logFile()));
}

TEST_F(LogTest, LinesAreWrittenAsGivenAndResetStartsAfresh)
{
    settings().teller4 = 1;
    WriteLog(QStringLiteral("Collecting symbols"));
    WriteLog(QStringLiteral("two\r\nlines"));
    EXPECT_EQ(readAll(paths::logFile()), QByteArray("Collecting symbols\r\ntwo\r\nlines\r\n"));

    // A run start closes every file, then empties the log.
    openfiles::closeAll();
    EXPECT_FALSE(logIsOpen());
    ResetLog();
    EXPECT_FALSE(QFile::exists(paths::logFile()));
    WriteLog(QStringLiteral("second run"));
    EXPECT_EQ(readAll(paths::logFile()), QByteArray("second run\r\n"));
}

class ErrorDialogTest : public QuotarisTest {};

TEST_F(ErrorDialogTest, OutOfMemoryAndOtherErrorsShowTheirTexts)
{
    msgs.queue(Answer::Ignore);
    EXPECT_EQ(ErrorDialog(AppError(7, QStringLiteral("whatever"))), DialogAnswer::Ignore);
    msgs.queue(Answer::Retry);
    EXPECT_EQ(ErrorDialog(AppError(53, QStringLiteral("File not found"))), DialogAnswer::Retry);
    EXPECT_EQ(ErrorDialog(AppError(76, QStringLiteral("Path not found"))), DialogAnswer::Abort);
    ASSERT_EQ(msgs.shown.size(), 3);
    EXPECT_EQ(msgs.shown[0].text, QStringLiteral("Insuficient memory"));
    EXPECT_EQ(msgs.shown[0].title, QStringLiteral("Error 7"));
    EXPECT_EQ(msgs.shown[0].buttons, Buttons::AbortRetryIgnore);
    EXPECT_EQ(msgs.shown[0].icon, Icon::None);
    EXPECT_EQ(msgs.shown[1].text, QStringLiteral("File not found"));
    EXPECT_EQ(msgs.shown[1].title, QStringLiteral("Error 53"));
}

TEST_F(ErrorDialogTest, GuardedFollowsTheAnswer)
{
    int runs = 0;
    auto failTwice = [&runs] {
        if (++runs <= 2)
            throw AppError(57, QStringLiteral("Internal diskerror"));
    };
    msgs.queue(Answer::Retry);
    msgs.queue(Answer::Retry);
    EXPECT_EQ(guarded(failTwice), StepOutcome::Done);
    EXPECT_EQ(runs, 3);

    msgs.queue(Answer::Ignore);
    EXPECT_EQ(guarded([] { throw AppError(1, QStringLiteral("x")); }), StepOutcome::Ignored);

    // Abort closes every open file, the log among them.
    settings().teller4 = 1;
    WriteLog(QStringLiteral("before abort"));
    bool appendFileClosed = false;
    openfiles::add([&appendFileClosed] { appendFileClosed = true; });
    msgs.queue(Answer::Abort);
    EXPECT_EQ(guarded([] { throw std::bad_alloc(); }), StepOutcome::Aborted);
    EXPECT_TRUE(appendFileClosed);
    EXPECT_FALSE(logIsOpen());
    EXPECT_EQ(openfiles::count(), 0);
    EXPECT_EQ(msgs.shown.last().text, QStringLiteral("Insuficient memory"));
}

TEST_F(ErrorDialogTest, FileErrorsCarryTheirCause)
{
    QFile missing(path(QStringLiteral("no/such/folder/file.txt")));
    ASSERT_FALSE(missing.open(QIODevice::WriteOnly));
    const FileError e(missing, QStringLiteral("Can not open file"));
    EXPECT_EQ(e.number(), errnum::PathNotFound);
    EXPECT_TRUE(e.description().contains(missing.fileName()));
}

class FolderCheckTest : public QuotarisTest {};

// A folder quotes cannot go into says why, and nothing is shown or changed:
// the run that asks decides what to tell.
TEST_F(FolderCheckTest, NamesWhyAFolderCannotBeWrittenIn)
{
    const QString existing = path(QStringLiteral("quotes/"));
    QDir().mkpath(existing);
    EXPECT_EQ(folders::unusable(existing), QString());
    EXPECT_FALSE(QFile::exists(existing + QStringLiteral("testx.tst")));

    EXPECT_EQ(folders::unusable(path(QStringLiteral("gone/"))), QStringLiteral("missing"));
    EXPECT_EQ(folders::unusable(QString()), QStringLiteral("missing"));
    writeFile(path(QStringLiteral("plain")), "a file, not a folder");
    EXPECT_EQ(folders::unusable(path(QStringLiteral("plain/"))), QStringLiteral("missing"));
    // A folder no one may create files in, not even the superuser.
    if (QFileInfo(QStringLiteral("/sys/")).isDir()) {
        EXPECT_EQ(folders::unusable(QStringLiteral("/sys/")), QStringLiteral("read-only"));
    }
    EXPECT_TRUE(msgs.shown.isEmpty());
    EXPECT_EQ(
        folders::leftOutText(QStringLiteral("KBF-format"), QStringLiteral("/media/usb/"), QStringLiteral("missing")),
        QStringLiteral("KBF-format not written: the folder /media/usb/ is missing (the setting is kept)"));
}

TEST_F(FolderCheckTest, ProbeLeavesAnExistingFileOfTheSameNameAlone)
{
    const QString folder = path(QStringLiteral("q/"));
    writeFile(folder + QStringLiteral("testx.tst"), "user data");
    EXPECT_EQ(folders::unusable(folder), QString());
    EXPECT_EQ(readAll(folder + QStringLiteral("testx.tst")), QByteArray("user data"));
}

TEST_F(FolderCheckTest, StockguruProbeNeedsTheFolder)
{
    EXPECT_EQ(folders::stockguruProbe(), home());
    QDir().mkpath(home() + QStringLiteral("stockguru/stocks"));
    EXPECT_EQ(folders::stockguruProbe(), home() + QStringLiteral("stockguru/stocks/"));
}

class YieldTest : public QuotarisTest {};

TEST_F(YieldTest, WaitEndsOnConditionTimeoutOrAbort)
{
    // The condition comes true in the first turn of the event loop; only it
    // ends the wait with true, and soon (the bounds here are far below the
    // waits' own limits, with a margin for a loaded machine).
    QElapsedTimer sinceFired;
    QTimer::singleShot(0, [&sinceFired] { sinceFired.start(); });
    EXPECT_TRUE(waitUntil([&sinceFired] { return sinceFired.isValid(); }, 60000));
    EXPECT_LT(sinceFired.elapsed(), 2000);

    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(waitUntil([] { return false; }, 100));
    EXPECT_GE(clock.elapsed(), 100);

    // Stop is seen within a few milliseconds of being set: the wait looks at
    // its token every 20 ms. A token made with it as its outer one (a window
    // within a run) is cancelled with it; cancelling the inner one leaves
    // the outer alone.
    CancelToken run;
    CancelToken window(&run);
    QElapsedTimer sinceStop;
    QTimer::singleShot(0, [&run, &sinceStop] {
        run.cancel();
        sinceStop.start();
    });
    EXPECT_FALSE(pause(60000, &window));
    ASSERT_TRUE(sinceStop.isValid());
    EXPECT_LT(sinceStop.elapsed(), 2000);

    run.reset();
    CancelToken closed(&run);
    closed.cancel();
    EXPECT_FALSE(run.cancelled());
    EXPECT_FALSE(pause(60000, &closed));
    // Without a token only the time ends the pause.
    EXPECT_TRUE(pause(10));
}
