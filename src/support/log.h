#pragma once

#include <QString>

// The trace of a download run, written to quotaris.log in the data folder
// when logging is switched on (the teller4 setting).

// Appends `message` and CR LF, exactly as given. Does nothing with logging off.
// Never throws: a log that cannot be opened or written is reported once
// through the message interface, and logging then rests until ResetLog.
void WriteLog(const QString& message);

// Empties the log before a run: the next WriteLog starts a new file. Closes
// the log first if it is still open. A log that cannot be removed is
// reported (with logging on) like a failed write.
void ResetLog();

// Closes the log and forgets a failed write, leaving the file as it is: the
// log as a fresh process finds it.
void forgetLog();

// True while the log file is held open.
bool logIsOpen();
