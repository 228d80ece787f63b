#include "app/stopsignals.h"

#include "runs/gapfill.h"
#include "runs/runsession.h"
#include "support/toplevel.h"

#include <QCoreApplication>
#include <QTimer>
#include <functional>

namespace {

// A signal handler can only set a flag of the process.
volatile std::sig_atomic_t stopAsked = 0;

extern "C" void askStop(int) { stopAsked = 1; }

}  // namespace

StopSignals::StopSignals()
{
    stopAsked = 0;
    struct sigaction action = {};
    action.sa_handler = askStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
}

StopSignals::~StopSignals()
{
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
}

bool StopSignals::take()
{
    if (!stopAsked)
        return false;
    stopAsked = 0;
    return true;
}

namespace {

// Turns the command's event loop, started by `start`, until something quits
// it; a signal meanwhile calls `stop` while `running` says so.
void turnStoppable(QObject& context, const std::function<void()>& start, const std::function<bool()>& running,
                   const std::function<void()>& stop)
{
    StopSignals stopGuard;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &context, [&running, &stop, &stopGuard] {
        if (running() && stopGuard.take())
            stop();
    });
    poll.start(100);
    start();
    runTopLevel();
    poll.stop();
}

}  // namespace

void runStoppable(RunSession& run)
{
    QObject::connect(&run, &RunSession::finished, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    turnStoppable(
        run, [&run] { run.start(); }, [&run] { return run.running(); }, [&run] { run.stop(); });
}

void runStoppable(gapfill::GapFill& fill)
{
    QObject::connect(&fill, &gapfill::GapFill::finished, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    turnStoppable(
        fill, [&fill] { fill.start(); }, [&fill] { return fill.running(); }, [&fill] { fill.stop(); });
}
