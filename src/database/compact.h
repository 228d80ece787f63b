#pragma once

#include <QString>

// Compaction of the symbol database: a compact copy is written to a new file
// under the same password, which also drops free pages and rebuilds every
// index, and the copy then takes the database file's place.
namespace compaction {

QString targetFile();  // quotaris.tmp in the data folder

// Writes a compact copy of the database `source` into the new file `target`,
// encrypted with the same password. A `target` that exists already is
// refused. On failure shows the failure's description (exclamation icon),
// removes what it wrote itself, and returns false.
bool Compact(const QString& source, const QString& target);

// The whole compaction of the program's database: quotaris.qrd into
// quotaris.tmp, then the copy renamed over quotaris.qrd. The database file is
// replaced in one rename, so at every moment it is either the old or the new
// file, whole. Returns true on success; failures are shown as by Compact.
bool compactDatabase();

// compactDatabase() that shows nothing: on failure `failure` gets the
// description the other one shows. Touches no process-wide state beyond the
// database's use lock, so it may run on a worker thread.
bool compactDatabase(QString* failure);

}  // namespace compaction
