#pragma once

#include <QString>

// Takes the network connection down after a download: runs the command the
// user keeps under "DisconnectCommand" in the settings store (for example
// "nmcli connection down NAME"). The command is split into program and
// arguments like a shell would split it, but no shell runs it: quotes group,
// nothing is expanded, ";" and "|" are plain characters.
//
// Returns an empty text when no command is set or the command exited with 0;
// otherwise what went wrong. A failure never affects the download: callers
// only show or log it. Waits at most `timeoutMs`, yielding, then ends the
// command.
QString HangUpDialUp(int timeoutMs = 60000);
