#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

class AsyncFetch;
class BusyPointer;
class QuoteClient;
class vraagyahoo;

// Finds symbols on the quote service: by name (one page of its symbol
// lookup, 50 results a page), by exact symbol, or as the members of an index.
// The names and exchanges of what was found are then asked from the CSV
// endpoint. Set the inputs, call go, read the results once `done` has come.
class SearchyahooClass : public QObject {
    Q_OBJECT
public:
    explicit SearchyahooClass(QuoteClient& client, QObject* parent = nullptr);
    ~SearchyahooClass() override;

    // Inputs.
    QString Searchstring;
    bool US = false;       // only the US and Canadian markets
    QString GeefZoekNaar;  // kind: first letter "M" funds, "I" indices, else stocks
    bool alleensymbol = false;
    int firstticker = 1;      // 1-based number of the first result wanted
    QString getcomponents;    // an index symbol: its members instead of a search
    int vanafwaarzoeken = 0;  // member offset

    // Starts the search and returns; `done` follows from the event loop,
    // also when there is nothing to search for.
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

signals:
    void done();

private:
    void pageFetched();
    void askNames(const QStringList& tickers, const QString& components);
    void namesAnswered();
    void finish();

    QuoteClient& client_;
    std::unique_ptr<AsyncFetch> page_;
    std::unique_ptr<vraagyahoo> names_;
    std::unique_ptr<BusyPointer> busy_;
    bool searchedByName_ = false;  // the names are those of a lookup page's hits
};

// `text` as it may stand in a query value: its UTF-8 bytes, every one other
// than a letter, digit, "-", ".", "_" or "~" percent-encoded, so a blank,
// "&", "+", "#", "%" or "Ł" reaches the service as typed.
QString queryValue(const QString& text);
