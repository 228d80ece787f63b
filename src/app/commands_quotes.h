#pragma once

struct HeadlessContext;

// quote TICKER...: the current quotes of the tickers, one line per accepted
// quote, then the tickers the service did not know and those rejected.
int cmdQuote(HeadlessContext& context);

// investigate TICKER: whether the service changed the ticker, and the first
// date of its history.
int cmdInvestigate(HeadlessContext& context);
