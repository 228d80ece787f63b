#pragma once

#include <QStringList>

class Database;

namespace schema {

// Creates the tables of a new symbol database and its one settings row.
// The settings row gets the columns of the oldest supported version; the
// start-up upgrade adds the rest, as it does for an installed old file.
void createTables(Database& db);

// The upgrade statements of the start-up routine, in order: the settings
// row's columns the oldest files lack, then the columns a format of its own
// declares (formatsettings), then the tables. A statement that the database
// refuses (the column, table or index is already there, or the table to
// drop is missing) is skipped by the caller.
QStringList upgradeStatements();

}  // namespace schema
