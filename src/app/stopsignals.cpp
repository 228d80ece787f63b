#include "app/stopsignals.h"

#include "runs/runsession.h"
#include "support/toplevel.h"

#include <QCoreApplication>
#include <QTimer>

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

void runStoppable(RunSession& run)
{
    QObject::connect(&run, &RunSession::finished, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    StopSignals stopGuard;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &run, [&run, &stopGuard] {
        if (run.running() && stopGuard.take())
            run.stop();
    });
    poll.start(100);
    run.start();
    runTopLevel();
    poll.stop();
}
