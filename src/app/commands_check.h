#pragma once

struct HeadlessContext;

// The exit statuses of `check` beside 0 (no finding) and 2 (wrong arguments).
constexpr int kExitCheckFindings = 1;    // findings were printed
constexpr int kExitCheckUnreadable = 6;  // a file or folder could not be read (or repaired)

// check FOLDER|FILE [--format C|S|D|K|M] [--repair]: the integrity check over
// the stored days of per-symbol files or a MetaStock folder.
int cmdCheck(HeadlessContext& context);
