#pragma once

struct HeadlessContext;

// Headless commands for the symbol lists.
int cmdImport(HeadlessContext& c);    // import --list N FILE
int cmdExport(HeadlessContext& c);    // export --list N --columns Symbol,Name,Market FILE
int cmdLists(HeadlessContext& c);     // lists
int cmdListName(HeadlessContext& c);  // list-name N TEXT
