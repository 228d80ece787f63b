#pragma once

#include <QMap>
#include <QStringList>
#include <QTextStream>

// The commands the program runs without a window:
//   quotaris [--home DIR] <command> [arguments]
// Each command prints plain text and returns the process exit status.
struct HeadlessContext {
    QStringList args;  // the arguments after the command name
    QTextStream& out;
    QTextStream& err;
};

struct HeadlessCommand {
    const char* name;
    const char* usage;    // arguments, for --help
    const char* summary;  // one line, for --help
    int (*run)(HeadlessContext& context);
};

// The exit status of a download refused because another run holds the
// data folder.
constexpr int kExitFolderBusy = 4;

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

// What a download wrote: "written X (caption): n" for every format that is
// on, then "not written: n" when some quotes reached no file.
void printWritten(QTextStream& out, const QMap<QChar, int>& written, int failures);
