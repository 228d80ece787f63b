#pragma once

#include <QDateTime>
#include <QString>

// The outcome and time of the last current and historical run, kept in the
// settings store for the start page.
namespace runrecord {
void note(bool historical, const QString& outcome, const QDateTime& when = QDateTime::currentDateTime());
// "time: outcome" in the user's format; empty when no run was noted.
QString last(bool historical);
}  // namespace runrecord
