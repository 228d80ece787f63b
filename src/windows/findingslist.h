#pragma once

#include "database/bookkeeping.h"
#include "runs/findingsreport.h"

#include <QVector>

class QGroupBox;
class QWidget;

// The frame with the integrity check's findings that both download reports
// show: its label (object name `labelName`) above a list (`listName`), one
// finding per row; below it, when the run repaired days, a list
// (`listName` + "Repaired") of each such day with its values as sent and as
// written.
QGroupBox* findingsFrame(const QVector<bookkeeping::FindingRow>& rows,
                         const QVector<findingsreport::RepairedDay>& repaired, const QString& frameName,
                         const QString& labelName, const QString& listName, QWidget* parent);
