#pragma once

#include <QDBusMessage>
#include <QString>

struct RunSummary;

// A desktop notification after a run the scheduler started, through the
// freedesktop notification service on the session bus. Without a session
// bus (a server, a test) nothing is sent and nothing is said.
namespace notify {
// "Quotaris: list 2 downloaded" and the outcome with its counts.
QString summaryOf(int list, const RunSummary& run);
QString bodyOf(const RunSummary& run);
// The Notify call for the service.
QDBusMessage message(const QString& summary, const QString& body);
// Sends it without waiting for an answer; false when there is no bus.
bool send(const QString& summary, const QString& body);
// Both for a finished scheduled run of `list`.
bool scheduledRunFinished(int list, const RunSummary& run);
}  // namespace notify
