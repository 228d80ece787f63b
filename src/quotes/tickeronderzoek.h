#pragma once

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
};
