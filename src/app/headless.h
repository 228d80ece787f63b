#pragma once

#include <QMap>
#include <QStringList>
#include <QTextStream>
#include <functional>

class LiveHosts;
struct RunSummary;

// The commands the program runs without a window:
//   quotaris [--home DIR] <command> [arguments]
// Each command prints plain text and returns the process exit status.
struct HeadlessContext {
    QStringList args;  // the arguments after the command name
    QTextStream& out;
    QTextStream& err;
    LiveHosts* liveHosts = nullptr;  // the built-in gateway of the command
};

struct HeadlessCommand {
    const char* name;
    const char* usage;    // arguments, for --help
    const char* summary;  // one line, for --help
    int (*run)(HeadlessContext& context);
};

// The exit statuses a script can tell apart (0: all done, 2: wrong use).
constexpr int kExitFailed = 1;      // nothing was done: failed, got or wrote nothing
constexpr int kExitNoServer = 3;    // check-update, help-update: no server is set
constexpr int kExitFolderBusy = 4;  // another run holds the data folder: nothing started
constexpr int kExitPartial = 5;     // a download got and wrote some, not all it was asked

// Every command the program knows, in the order --help lists them.
const QVector<HeadlessCommand>& headlessCommands();

// Runs `command` with `args`; unknown commands print the usage and return 2.
int runHeadless(const QString& command, const QStringList& args);

// The --help text; `moreCommands` (in the same layout) goes after the
// headless commands, before the exit statuses.
QString headlessUsage(const QString& moreCommands = {});

// Shared by the commands: runs the start-up routine without a window,
// reporting every message to stderr. Returns false when the database
// could not be opened. A command that talks to the quote service passes
// `quoteService`: only then does the built-in gateway start for the hosts
// set to it.
bool headlessStartup(HeadlessContext& context, bool quoteService = false);

// The exit status of a finished download: 0 only when everything asked was
// downloaded and written (`missing`: symbols the run itself could not
// account for, such as tickers the service did not know).
int downloadExitStatus(const RunSummary& summary, int missing = 0);

// What a download wrote: "written X (caption): n" for every format that is
// on, then "not written: n" when some quotes reached no file.
void printWritten(QTextStream& out, const QMap<QChar, int>& written, int failures);
