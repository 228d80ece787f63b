#pragma once

#include "quotes/fetch.h"

#include <QObject>
#include <QString>
#include <memory>

class QuoteClient;

// Reads the quote service's pages of one symbol: whether the service has
// replaced it by another symbol, and from which date on it holds history.
// Each question is sent and answered from the event loop.
class clsTickeronderzoek : public QObject {
    Q_OBJECT
public:
    explicit clsTickeronderzoek(QuoteClient& client, QObject* parent = nullptr);
    ~clsTickeronderzoek() override;

    QString ticker;

    // Looks for a successor; `goDone` sets `changed` and, when found,
    // `newticker` first. Once the client's cancel token is cancelled nothing
    // is asked and nothing changes.
    void go();
    bool changed = false;
    QString newticker;

    // Reads the first date of history into the three fields; `examined`
    // says whether it did (false, and the fields unchanged, when the page
    // has none or could not be fetched).
    void examine();
    qint16 startDatumDay = 0, startDatumMonth = 0, startDatumYear = 0;

    // True when the last page asked for came back empty (no answer, or Stop).
    bool pageMissing = false;

    // The requests of go() and examine(), for a caller that sends them as an
    // AsyncFetch and goes on meanwhile; it reads the pages with
    // findChangedTicker() and findHistoryStart() (quotes/pages.h).
    static FetchRequest quotePageRequest(const QString& ticker);
    static FetchRequest historyPageRequest(const QString& ticker);

signals:
    void goDone();
    void examined(bool found);

private:
    void ask(const FetchRequest& request, void (clsTickeronderzoek::*answered)(const QByteArray&));
    void quotePage(const QByteArray& page);
    void historyPage(const QByteArray& page);

    QuoteClient& client_;
    std::unique_ptr<AsyncFetch> fetch_;
};
