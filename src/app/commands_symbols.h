#pragma once

struct HeadlessContext;

// Headless commands for markets, symbols and list membership; they run the
// operations of the list management window.
int cmdMarkets(HeadlessContext& c);       // markets
int cmdSymbols(HeadlessContext& c);       // symbols --market NAME | --list N [--sort COLUMN]
int cmdList(HeadlessContext& c);          // list add|add-market|remove|copy|move ...
int cmdRemoveSymbol(HeadlessContext& c);  // remove-symbol TICKER...
