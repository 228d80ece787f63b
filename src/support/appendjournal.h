#pragma once

#include <QString>
#include <QStringList>

// The files a run appends to line by line. A line is one write(), but a kill
// can end a write that crosses a page of the file part-way, and the file then
// ends in a cut line. Each file is named in the data folder's journal before
// its first write; the journal goes when the run closes its files whole. The
// next holder of the data folder's run lock finds the journal of a run that
// did not end, and cuts each named file back to its last whole line.
namespace appendjournal {

// The journal of the current data folder.
QString path();

// Names `file` in the journal; called before the file's first write.
void enter(const QString& file);
// Every file named is whole: the journal goes.
void clear();
// After a run that did not end: every file the journal names loses a cut
// last line, and the journal goes. Returns the files that were cut back.
QStringList mend();

}  // namespace appendjournal
