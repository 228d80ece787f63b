#pragma once

struct HeadlessContext;

// fill LETTER [--list N | --lists N,M,...] [--from YYYY-MM-DD] [--to YYYY-MM-DD]:
// writes the files of one format from the quote store, without the network,
// as a historical download of the same range writes them. SIGINT or SIGTERM
// stops it as the Stop button does.
int cmdFill(HeadlessContext& context);
