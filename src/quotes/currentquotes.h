#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVector>

// The decoded answer of the current-quote endpoint: one entry per accepted
// quote, in answer order, in parallel arrays.
struct CurrentQuotes {
    QVector<QString> yahooticker;
    QVector<qint32> yahoodate;  // YYYYMMDD, 0 when unusable
    QVector<QString> yahooTime;
    QVector<double> yahooopen, yahoohigh, yahoolow, yahooclose, yahoovolume;
    // The same five numbers as the service sent them, "." as decimal point
    // (what the writers print).
    QVector<QString> openText, highText, lowText, closeText, volumeText;
    QVector<QString> yahooname;
    QStringList notfound;          // tickers the service did not know
    QStringList SymbolsVerworpen;  // found, but rejected for lack of volume
    bool decoded = false;          // the answer held at least one CR LF
    bool foundall = false;         // decoded, and nothing was unknown or rejected

    qsizetype size() const { return yahooticker.size(); }
    void clear() { *this = CurrentQuotes(); }
};

// Decodes an answer of "/d/quotes.csv" with the fields "sd1t1ohgl1vn".
// With `reject` on, a found quote without volume is rejected unless it is an
// index ("^...") or a currency ("...=X"). `maxYear` bounds the dates.
CurrentQuotes decodeCurrentQuotes(QByteArrayView body, bool reject, int maxYear);

// The request for `tickers` (empty entries left out): the AU or SG regional
// host for the region codes "AU" and "SG", the main quote host otherwise.
QString currentQuotesUrl(const QStringList& tickers, const QString& region = QString());

// "http://" + the quote host for `region`.
QString quoteHostFor(const QString& region);
