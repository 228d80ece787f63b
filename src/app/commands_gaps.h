#pragma once

struct HeadlessContext;

// gaps [--list N] [--fill] [--days N | --all]: lists the sessions the quote
// store lacks and the provisional days of the symbols of the lists in their
// markets' last N sessions; --fill asks the provider for them (one history
// request per symbol) and writes what comes to the store and every format
// that is on. SIGINT or SIGTERM stops it as the Stop button does.
int cmdGaps(HeadlessContext& context);
