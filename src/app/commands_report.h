#pragma once

#include "database/bookkeeping.h"

#include <QTextStream>
#include <QVector>

struct HeadlessContext;

// The findings of the integrity check, one per line under "Findings:".
void printFindings(QTextStream& out, const QVector<bookkeeping::FindingRow>& rows);

int cmdReport(HeadlessContext& context);
