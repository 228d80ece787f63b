#pragma once

#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

class Database;

// The one settings row `globaal`. Every read and write uses its first row.
namespace settingsrow {

using Columns = QVector<QPair<QString, QVariant>>;

// Writes the given columns (names are the program's own column names).
void write(Database& db, const Columns& columns);

// Reads one column of the row; an invalid QVariant for Null.
QVariant read(Database& db, const QString& column);

// Stores the current list number in `lijst`, on a connection of its own,
// under the error dialog.
void saveCurrentList();

// Stores the time-out, attempts, logging and euro options in the row and the
// split and current-during-historical options in the settings store.
void saveOptions(Database& db);

// The settings row as start-up stores it: folders, switches and options,
// one name and value a line (the headless "info" command prints it).
QVector<QPair<QString, QString>> describe();

}  // namespace settingsrow
