#pragma once

// Back to a fresh process in every layer that keeps something beyond one
// run; tests call it before and after each test. It covers:
// - support: the process state (settings, run message, ...),
//   the open files, the log and its failure, the settings file, and the
//   data folder, help pages and desktop opener set for this process;
// - mslink: the cached master files and the folders repaired this session;
// - writers: the formats a test added to the registry, the MetaStock run
//   state (chosen folders, "Don't ask again", the map connection, damaged
//   folders) and the installed MetaStock prompt.
// The installed message interface is left as it is. The built-in gateway,
// the quote clients (with their request gaps), a run's Excel workbooks and
// the file ends it read ahead end with their owners.
void resetAllLayers();
