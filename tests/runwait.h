#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

// Starts a run and turns the event loop until its `finished` signal has
// come: the test's stand-in for the window or the command that waits for
// the end. Returns what the signal reported.
template <class Run>
bool runToEnd(Run& run)
{
    bool ok = false;
    bool ended = false;
    QEventLoop loop;
    const auto connection = QObject::connect(&run, &Run::finished, &loop, [&](bool result) {
        ok = result;
        ended = true;
        loop.quit();
    });
    run.start();
    if (!ended)
        loop.exec();
    QObject::disconnect(connection);
    return ok;
}

// Does `act` (a click that starts a run) and waits for the run's end.
template <class Run, class Act>
void untilEnd(Run& run, Act act)
{
    bool ended = false;
    QEventLoop loop;
    const auto connection = QObject::connect(&run, &Run::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    act();
    if (!ended)
        loop.exec();
    QObject::disconnect(connection);
}

// Does `act` and turns the event loop until `sender` has emitted `signal`
// (a tick's or a command's end).
template <class Sender, class Signal, class Act>
void untilSignal(Sender& sender, Signal signal, Act act)
{
    bool ended = false;
    QEventLoop loop;
    const auto connection = QObject::connect(&sender, signal, &loop, [&] {
        ended = true;
        loop.quit();
    });
    act();
    if (!ended)
        loop.exec();
    QObject::disconnect(connection);
}
