#pragma once

#include "database/bookkeeping.h"
#include "runs/findingsreport.h"

#include <QTextStream>
#include <QVector>

struct HeadlessContext;

// The findings of the integrity check, one per line under "Findings:"; then,
// when the run repaired days, each with its values as sent and as written
// under "Repaired days:".
void printFindings(QTextStream& out, const QVector<bookkeeping::FindingRow>& rows,
                   const QVector<findingsreport::RepairedDay>& repaired);

int cmdReport(HeadlessContext& context);
