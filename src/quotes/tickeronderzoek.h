#pragma once

#include "quotes/fetch.h"

#include <QString>

// Reads the quote service's pages of one symbol: whether the service has
// replaced it by another symbol, and from which date on it holds history.
class clsTickeronderzoek {
public:
    QString ticker;

    // Looks for a successor; sets `changed` and, when found, `newticker`.
    // Does nothing while the abort flag is set.
    void go();
    bool changed = false;
    QString newticker;

    // Reads the first date of history into the three fields; false (and the
    // fields unchanged) when the page has none or could not be fetched.
    bool examine();
    qint16 startDatumDay = 0, startDatumMonth = 0, startDatumYear = 0;

    // True when the last page asked for came back empty (no answer, or Stop).
    bool pageMissing = false;

    // The requests of go() and examine(), for a caller that sends them as an
    // AsyncFetch and goes on meanwhile; it reads the pages with
    // findChangedTicker() and findHistoryStart() (quotes/pages.h).
    static FetchRequest quotePageRequest(const QString& ticker);
    static FetchRequest historyPageRequest(const QString& ticker);
};
