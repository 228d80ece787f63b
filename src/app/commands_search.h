#pragma once

struct HeadlessContext;

// search TEXT [--us] [--kind stocks|funds|indices] [--from N] | search --symbol TICKER,
// and members INDEX [--from N]; each with [--add [--list N]]. They run the
// symbol search window's search and additions.
int cmdSearch(HeadlessContext& c);
int cmdMembers(HeadlessContext& c);
