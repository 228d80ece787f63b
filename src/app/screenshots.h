#pragma once

#include <QString>

// "quotaris screenshots DIR": every window rendered into DIR/<window>.png,
// over a temporary data folder that holds a few symbols, two lists, a format
// that is on and a finished run, so that anyone can look at all windows at
// once. Needs a QApplication (offscreen will do) and the temporary data
// folder and settings file already in place. Returns the exit status.
int takeScreenshots(const QString& folder);
