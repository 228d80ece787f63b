#pragma once

#include "core/bar.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

class QuoteStore;

// A day whose repair the user undid keeps the values as sent: when the
// integrity check repairs that day again, and the provider still sends what
// the store keeps, the repair is taken back.
namespace keptsent {

// Takes back the check's repairs in `days` (`sent`: the values as sent of
// the repaired days, by date) of the days the store keeps as sent with those
// same values. Those days get the values as sent and the KeptAsSent flag,
// leave `sent`, and their dates are returned. Nothing is changed when the
// store cannot be read: the store write that follows reports it.
QSet<qint32> restore(QuoteStore& store, const QString& ticker, QVector<core::Bar>& days,
                     QHash<qint32, core::Bar>& sent);

}  // namespace keptsent
