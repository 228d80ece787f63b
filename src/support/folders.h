#pragma once

#include <QString>

// Checks on the folders the export formats write into.
namespace folders {

// True when a file `probeName` can be created in `folder` (and is deleted
// again): the folder exists and is writable.
bool canCreateFileIn(const QString& folder, const QString& probeName);

// The folder check: `folder` unchanged when a probe file can be created in
// it; otherwise warns that the folder has been removed, closes every open
// file and returns the fallback folder (the home folder).
QString folderCheck(const QString& folder);

// The folder a Stockguru installation keeps its quote files in, when it
// exists and is writable; the fallback folder otherwise.
QString stockguruProbe();

}  // namespace folders
