#pragma once

struct HeadlessContext;

// repair --undo TICKER DATE: puts back the values as sent of a day the
// integrity check repaired, in the quote store and in every per-symbol file
// and MetaStock security that holds the day.
int cmdRepair(HeadlessContext& context);
