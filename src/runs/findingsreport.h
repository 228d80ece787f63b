#pragma once

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

}  // namespace findingsreport
