#pragma once

#include "gateway/httpserver.h"

#include <QDate>
#include <QString>
#include <QStringList>

// The HTML answers, carrying the markers the program's page readers look
// for and nothing they could misread.
namespace legacypages {

// The provider could not be asked or did not answer with data: HTTP 503,
// one short line of HTML (no CR LF, so a current-quote reader sees no line).
LegacyReply failure(const QString& why);
// The same for a page request. The program reads any page as a page, so a
// failure page would pass for "no successor", "no matches": the connection
// is closed without an answer instead, which it takes for no answer.
LegacyReply noAnswer();

// The historical-prices page with its "Start Date:" controls set to `first`.
LegacyReply historyStart(const QString& symbol, const QDate& first);
LegacyReply noHistory(const QString& symbol);
LegacyReply invalidTicker(const QString& symbol);
// A quote page naming the successor of a changed ticker.
LegacyReply changedTicker(const QString& oldTicker, const QString& newTicker);
// A quote page without any marker: the ticker is valid and unchanged.
LegacyReply plainQuote(const QString& symbol, const QString& name);

// A lookup page: the "Showing" counters and the link that lists the symbols.
struct LookupRow {
    QString symbol, name, exchange;
};
LegacyReply lookup(const QString& text, int first, const QVector<LookupRow>& rows, int total);
LegacyReply noMatches(const QString& text);

// History: an unknown symbol, and a range without prices.
LegacyReply unknownSymbol(const QString& symbol);
LegacyReply noPrices();
// A path the old service did not serve either.
LegacyReply unknownPath();

}  // namespace legacypages
