#pragma once

class QString;
struct HeadlessContext;

// A list number 1..16 from a command's argument, or 0 (with a message on
// stderr) for anything else.
int listNumber(HeadlessContext& c, const QString& text);

// Headless commands for the symbol lists.
int cmdImport(HeadlessContext& c);    // import --list N FILE
int cmdExport(HeadlessContext& c);    // export --list N --columns Symbol,Name,Market FILE
int cmdLists(HeadlessContext& c);     // lists
int cmdListName(HeadlessContext& c);  // list-name N TEXT
