#pragma once

struct HeadlessContext;

// store [check]: what the quote store holds (symbols, bars, first and last
// day, size), or SQLite's integrity check of it.
int cmdStore(HeadlessContext& context);
// bars TICKER [--from YYYY-MM-DD] [--to YYYY-MM-DD]: the stored bars of a
// symbol, with their state, the values as sent of repaired days and their
// source.
int cmdBars(HeadlessContext& context);
