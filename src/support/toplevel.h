#pragma once

#include <QEventLoop>
#include <QObject>
#include <functional>

// The one event loop of a headless command or of the foreground scheduler:
// it runs at the top of the thread, never inside another loop (a nested loop
// would serialise what is meant to run side by side).

// True when no event loop is running on the calling thread.
bool atTopLevel();

// Reports (log and stderr) that `what` was asked to turn an event loop while
// another one is running on the thread; returns atTopLevel(). Such a loop is
// still run, but it is a defect of the caller.
bool checkTopLevel(const char* what);

// Runs the application's event loop (QCoreApplication::exec) as the top-level
// loop and returns its exit code.
int runTopLevel();

// Runs a top-level loop around one asynchronous step: `start` sends
// something asynchronous and the loop runs until `sender` emits `signal`
// (a signal emitted inside `start` ends it before it turns).
template <typename Sender, typename Signal>
void runUntil(Sender* sender, Signal signal, const std::function<void()>& start)
{
    checkTopLevel("runUntil");
    QEventLoop loop;
    bool done = false;
    const QMetaObject::Connection c = QObject::connect(sender, signal, &loop, [&] {
        done = true;
        loop.quit();
    });
    start();
    if (!done)
        loop.exec();
    QObject::disconnect(c);
}
