#pragma once

// Small steps every download run takes.
namespace runsupport {

// Checks every export folder (a missing one falls back as the folder check
// says) and stores the checked folders in the settings row.
void checkExportFolders();

}  // namespace runsupport
