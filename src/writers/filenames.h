#pragma once

#include <QString>

namespace filenames {

// A symbol's name reduced to the letters A-Z, a-z and digits, in order.
QString reduceName(const QString& name);

// The base name of a ticker's per-symbol file: "." becomes "_", "prn" and
// "PRN" become "pr1" and "PR1" (a DOS device name), and anything that could
// leave the folder or trouble a file system ("/", blanks, control and
// non-ASCII characters) becomes "_". Empty when nothing usable is left.
QString tickerBaseName(const QString& ticker);

// The same cleaning for a long name (already reduced by the caller, but a
// file name must never depend on that).
QString longBaseName(const QString& name);

// A file counts as present when it exists and holds at least one byte; an
// existing empty file is deleted and counts as absent.
bool filePresent(const QString& file);

}  // namespace filenames
