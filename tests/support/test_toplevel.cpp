#include "testutil.h"

#include "support/toplevel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

TEST(TopLevelLoop, KnowsWhetherALoopIsRunning)
{
    EXPECT_TRUE(atTopLevel());
    EXPECT_TRUE(checkTopLevel("test"));

    // Inside a running loop the check refuses, and says so only there.
    bool inside = true, checked = true;
    QTimer timer;
    timer.setSingleShot(true);
    runUntil(&timer, &QTimer::timeout, [&] {
        QTimer::singleShot(0, [&] {
            inside = atTopLevel();
            checked = checkTopLevel("test");
        });
        timer.start(20);
    });
    EXPECT_FALSE(inside);
    EXPECT_FALSE(checked);
    EXPECT_TRUE(atTopLevel());  // the loop has left again
}

TEST(TopLevelLoop, RunsUntilTheSignalAndNoLonger)
{
    // The loop turns until the signal: a timer's later event has not come yet.
    QTimer first, later;
    first.setSingleShot(true);
    later.setSingleShot(true);
    bool laterFired = false;
    QObject::connect(&later, &QTimer::timeout, [&] { laterFired = true; });
    QElapsedTimer clock;
    clock.start();
    runUntil(&first, &QTimer::timeout, [&] {
        first.start(50);
        later.start(2000);
    });
    EXPECT_GE(clock.elapsed(), 45);
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_FALSE(laterFired);

    // A signal sent while starting ends it before it turns: queued work waits.
    bool queuedRan = false;
    QObject sender;
    runUntil(&sender, &QObject::objectNameChanged, [&] {
        QTimer::singleShot(0, [&] { queuedRan = true; });
        sender.setObjectName(QStringLiteral("done"));
    });
    EXPECT_FALSE(queuedRan);

    // Nothing of the finished loop stays connected: a later signal would reach
    // a loop that is gone.
    sender.setObjectName(QStringLiteral("again"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(queuedRan);
}
