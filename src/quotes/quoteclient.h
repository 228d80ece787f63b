#pragma once

#include "quotes/fetch.h"
#include "quotes/gap.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class QNetworkAccessManager;

// Everything said to the quote service goes through one client: a run, a
// search window or a headless command makes one and hands it to the callers
// it starts (loader, clsHistory, vraagyahoo, SearchyahooClass,
// clsTickeronderzoek), each of which keeps its own policy of time-outs and
// attempts. The client keeps the connections open between requests, the
// pauses between requests (gaps), the tally of what the fetches met and
// what the service's hosts are. Nothing in it waits: every request reports
// from the event loop.
class QuoteClient : public QObject {
    Q_OBJECT
public:
    explicit QuoteClient(QObject* parent = nullptr);
    ~QuoteClient() override;

    // A network manager with room for one more request: at most six requests
    // are in flight on one manager, the number of connections it opens to a
    // host; a seventh would wait in its queue with its time-out running.
    // Managers are made as more requests are in flight together and kept
    // with their connections for the client's life.
    QNetworkAccessManager& network();
    int managers() const { return static_cast<int>(managers_.size()); }

    // The gap of the current-quote download and of the historical one.
    GapTimer& currentGap() { return currentGap_; }
    GapTimer& historicalGap() { return historicalGap_; }

    FetchRecord& record() { return record_; }
    const FetchRecord& record() const { return record_; }

    // The last history answer longer than 40 characters: the service under
    // load sometimes answers a symbol with the previous symbol's data.
    QByteArray& lastHistoricalBody() { return lastHistoricalBody_; }

    // The current-quote host is the built-in gateway: it answers a batch
    // with what it has when the program's time-out comes and works on for
    // the rest, so symbols an answer left out are worth asking again.
    bool asksAgainForLeftOut() const;
    // The chart host is the built-in gateway: it keeps its provider's pace
    // itself (no gap between requests) and asks for any range at once.
    bool chartHostKeepsItsPace() const;

signals:
    // The client is going: fetches still in flight end as cancelled.
    void closing();

private:
    std::vector<std::unique_ptr<QNetworkAccessManager>> managers_;
    GapTimer currentGap_, historicalGap_;
    FetchRecord record_;
    QByteArray lastHistoricalBody_;
};
