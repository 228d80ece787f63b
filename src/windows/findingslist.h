#pragma once

#include "database/bookkeeping.h"

#include <QVector>

class QGroupBox;
class QWidget;

// The frame with the integrity check's findings that both download reports
// show: its label (object name `labelName`) above a list (`listName`), one
// finding per row.
QGroupBox* findingsFrame(const QVector<bookkeeping::FindingRow>& rows, const QString& frameName,
                         const QString& labelName, const QString& listName, QWidget* parent);
