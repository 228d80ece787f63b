#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

// Readers of the quote service's HTML pages. Only a few markers and offsets
// of these pages are known; anything else on a page is ignored.

// The successor named on a quote page ("/q?s=TICKER&d=v1"), or nothing when
// the page names none. A successor that does not look like a ticker (empty,
// long, or with characters other than letters, digits and ". ^ = _ -") is
// not accepted: it would become a file name and a database key.
std::optional<QString> findChangedTicker(QByteArrayView page);

// The earliest date of history pre-filled on a historical-prices page
// ("/q/hp?s=TICKER"). Month 0 is read as 12.
struct HistoryStart {
    int day = 0, month = 0, year = 0;
};
std::optional<HistoryStart> findHistoryStart(QByteArrayView page);

// True for the texts a ticker may consist of.
bool plausibleTicker(const QString& ticker);
