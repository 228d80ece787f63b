#include "support/yield.h"

#include "support/state.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>

void yieldToGui() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool waitUntil(const std::function<bool()>& done, int timeoutMs, AbortFlag abort)
{
    QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(timeoutMs));
    while (!done()) {
        if ((abort == AbortFlag::Honour && state().abortFlag) || deadline.hasExpired())
            return false;
        // Sleep in the event loop (not busy-wait) for at most 20 ms at a time,
        // so that an abort is seen quickly.
        QEventLoop loop;
        const qint64 slice = deadline.isForever() ? 20 : std::clamp<qint64>(deadline.remainingTime(), 1, 20);
        QTimer::singleShot(static_cast<int>(slice), &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::AllEvents);
    }
    return true;
}

bool pause(int ms)
{
    QDeadlineTimer deadline(ms);
    waitUntil([&deadline] { return deadline.hasExpired(); });
    return !state().abortFlag;
}
