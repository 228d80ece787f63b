#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVector>

// Finds symbols on the quote service: by name (one page of its symbol
// lookup, 50 results a page), by exact symbol, or as the members of an index.
// The names and exchanges of what was found are then asked from the CSV
// endpoint. Set the inputs, call go, read the results.
class SearchyahooClass {
public:
    // Inputs.
    QString Searchstring;
    bool US = false;       // only the US and Canadian markets
    QString GeefZoekNaar;  // kind: first letter "M" funds, "I" indices, else stocks
    bool alleensymbol = false;
    int firstticker = 1;      // 1-based number of the first result wanted
    QString getcomponents;    // an index symbol: its members instead of a search
    int vanafwaarzoeken = 0;  // member offset

    void go();

    // The lookup request of a name search.
    QString lookupUrl() const;
    // Reads the counters and the ticker list of a lookup page into the
    // results (NoMatch, Tickerfrom, Tickerto, results); returns the tickers
    // the page lists.
    QStringList scrape(QByteArrayView page);

    // Results, all of the same length.
    QVector<QString> yahooticker, yahooname, yahoomarket, yahootype;
    bool NoMatch = false;
    int Tickerfrom = 0, Tickerto = 0, results = 0;
    bool Next50 = false, Previous50 = false;
    // False when the service gave no answer at all (no connection, time-out,
    // Stop), as opposed to an answer without hits.
    bool answered = true;
    // Why nothing usable came from the service; empty when it answered.
    QString problem;

private:
    void askNames(const QStringList& tickers, const QString& components);
};

// `text` as it may stand in a query value: its UTF-8 bytes, every one other
// than a letter, digit, "-", ".", "_" or "~" percent-encoded, so a blank,
// "&", "+", "#", "%" or "Ł" reaches the service as typed.
QString queryValue(const QString& text);
