#pragma once

#include "core/bar.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

// One accepted quote of the answer: the day as a bar whose figures keep the
// texts the service sent ("." as decimal point; what the writers print), and
// what the answer says beside it.
struct CurrentQuote {
    QString ticker;
    QString name;  // the answer's name, the ticker when it gave none
    QString time;  // the time of the last price, as sent ("4:00pm")
    core::Bar bar;
};

// The decoded answer of the current-quote endpoint: the accepted quotes in
// answer order, and the tickers sorted out.
struct CurrentQuotes {
    QVector<CurrentQuote> quotes;
    QStringList notfound;          // tickers the service did not know
    QStringList SymbolsVerworpen;  // found, but rejected for lack of volume
    // With the request's tickers given to the decoder: those the answer has
    // no line for, and the lines for a ticker that was not asked (or a
    // second line for one), which are left out of every other field.
    QStringList missing;
    QStringList unasked;
    // Found, but a price or the volume is not available ("N/A"):
    // left out of every other field, never written with a stand-in value.
    QStringList incomplete;
    // The names as the answer has them between their quotes, a comma with
    // its blanks and quotes inside kept, by ticker, where they differ from
    // the quote's name (which the files get, each comma's blanks and every
    // quote dropped).
    QHash<QString, QString> sentNames;
    bool decoded = false;   // the answer held at least one CR LF
    bool foundall = false;  // decoded, and nothing was unknown or rejected

    qsizetype size() const { return quotes.size(); }
    // The name of `quote` as sent: the symbol's name in the database.
    QString sentName(const CurrentQuote& quote) const { return sentNames.value(quote.ticker, quote.name); }
    void clear() { *this = CurrentQuotes(); }
};

// Decodes an answer of "/d/quotes.csv" with the fields "sd1t1ohgl1vn".
// With `reject` on, a found quote without volume is rejected unless it is an
// index ("^...") or a currency ("...=X"). `maxYear` bounds the dates.
// Given `asked` (the request's tickers), only the first line of each asked
// ticker counts (compared without regard to case); see `missing` and
// `unasked`.
CurrentQuotes decodeCurrentQuotes(QByteArrayView body, bool reject, int maxYear, const QStringList* asked = nullptr);

// `text` as it can stand in a query value: "%", "&", "+", "#", "=", blanks,
// control characters and everything beyond ASCII percent-encoded (as
// Latin-1 when it fits, else UTF-8); "^", "." and the rest as they are.
QString queryText(const QString& text);

// The request for `tickers` (empty entries left out): the AU or SG regional
// host for the region codes "AU" and "SG", the main quote host otherwise.
QString currentQuotesUrl(const QStringList& tickers, const QString& region = QString());

// "http://" + the quote host for `region`.
QString quoteHostFor(const QString& region);
