#pragma once

#include "core/bar.h"
#include "database/bookkeeping.h"

#include <QStringList>
#include <QVector>

class clsData;

// The integrity check's findings as both download reports show them: the
// fourth kind of trouble beside failed, missing and rejected quotes.
namespace findingsreport {

// The findings table by ticker and date; empty when it cannot be read (the
// standard error dialog has said why). False when the user chose Abort.
bool load(clsData& data, QVector<bookkeeping::FindingRow>& rows);

// The explanation beside the list, one sentence per element.
QStringList text();

// The list's column headers.
QStringList columns();
// The column headers of the list of repaired days.
QStringList repairedColumns();

// A day the run repaired: the values the service sent and the ones the run
// stored and wrote in their place.
struct RepairedDay {
    QString ticker;
    core::Bar sent, written;
    // "TICKER yyyy-MM-dd sent O H L C V; written O H L C V"
    QString line() const;
};

// The days the findings say were repaired, from the quote store, which keeps
// a repaired day's values as sent: from each repaired finding's day, the
// run's repaired days that follow one another there (a block repaired as one
// finding). Days undone since, or a store that cannot be read, give none.
QVector<RepairedDay> repairedDays(const QVector<bookkeeping::FindingRow>& findings);

}  // namespace findingsreport
