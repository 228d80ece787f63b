#include "support/yield.h"

#include "support/cancel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>

void yieldToGui() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool waitUntil(const std::function<bool()>& done, int timeoutMs, const CancelToken* cancel)
{
    QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(timeoutMs));
    while (!done()) {
        if ((cancel && cancel->cancelled()) || deadline.hasExpired())
            return false;
        // Sleep in the event loop (not busy-wait) for at most 20 ms at a time,
        // so that a cancel is seen quickly.
        QEventLoop loop;
        const qint64 slice = deadline.isForever() ? 20 : std::clamp<qint64>(deadline.remainingTime(), 1, 20);
        QTimer::singleShot(static_cast<int>(slice), &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::AllEvents);
    }
    return true;
}

bool pause(int ms, const CancelToken* cancel)
{
    QDeadlineTimer deadline(ms);
    return waitUntil([&deadline] { return deadline.hasExpired(); }, -1, cancel);
}
