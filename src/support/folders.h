#pragma once

#include <QString>

// Checks on the folders the export formats write into.
namespace folders {

// True when a file `probeName` can be created in `folder` (and is deleted
// again): the folder exists and is writable.
bool canCreateFileIn(const QString& folder, const QString& probeName);

// Why quotes cannot be written into `folder`: "missing" (absent, or not a
// folder: a disk not mounted, a share not connected), "read-only" or "full";
// empty when a probe file can be created in it and there is room. Changes
// nothing: a folder that is only gone for a while keeps its setting.
QString unusable(const QString& folder);

// The text that names a format's folder and why nothing is written there.
QString leftOutText(const QString& formatName, const QString& folder, const QString& why);

// The folder a Stockguru installation keeps its quote files in, when it
// exists and is writable; the fallback folder otherwise.
QString stockguruProbe();

}  // namespace folders
