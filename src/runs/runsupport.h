#pragma once

#include <QChar>

// Small steps every download run takes.
namespace runsupport {

// True when the export format of `letter` is switched on.
bool formatOn(QChar letter);

// Checks every export folder (a missing one falls back as the folder check
// says) and stores the checked folders in the settings row.
void checkExportFolders();

}  // namespace runsupport
