#pragma once

struct HeadlessContext;

// adopt LETTER FOLDER [--list N]: takes the days the files of a per-symbol
// format (or a MetaStock folder) hold into the quote store, leaving the
// files as they are; days the store holds with other values keep the
// store's and are listed.
int cmdAdopt(HeadlessContext& context);
