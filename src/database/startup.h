#pragma once

#include <QString>

// The start-up routine: opens (on the first start, creates) the symbol
// database, upgrades its schema, and loads every setting of the settings row
// and the settings store into the process-wide settings.
struct StartupResult {
    bool opened = false;   // the database could be opened
    bool created = false;  // it was created now: the first start
    bool aborted = false;  // the user chose Abort in the error dialog
};

StartupResult runStartup();
