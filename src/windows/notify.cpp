#include "windows/notify.h"

#include "runs/runsummary.h"

#include <QDBusConnection>
#include <QVariantMap>

QString notify::summaryOf(int list, const RunSummary& run)
{
    if (run.aborted)
        return QStringLiteral("Quotaris: download of list %1 stopped").arg(list);
    if (run.totalWritten() == 0)
        return QStringLiteral("Quotaris: download of list %1 failed").arg(list);
    return QStringLiteral("Quotaris: list %1 downloaded").arg(list);
}

QString notify::bodyOf(const RunSummary& run)
{
    return run.outcome() + QLatin1Char('\n') +
           QStringLiteral("%1 symbols, %2 quotes written").arg(run.symbols).arg(run.totalWritten());
}

QDBusMessage notify::message(const QString& summary, const QString& body)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Quotaris") << 0u << QStringLiteral("org.example.Quotaris") << summary << body
         << QStringList() << QVariantMap() << -1;
    return call;
}

bool notify::send(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // No answer is awaited: a missing notification service costs nothing.
    return bus.send(message(summary, body));
}

bool notify::scheduledRunFinished(int list, const RunSummary& run)
{
    if (run.nothingToDo)
        return false;
    return send(summaryOf(list, run), bodyOf(run));
}
