#pragma once

#include "quotes/fetch.h"
#include "quotes/gap.h"
#include "support/cancel.h"

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
//
// A client carries the cancel token of whoever made it (a run's Stop): its
// fetches look at that token where their policy says, and a request in
// flight ends soon after the token is cancelled. Another client's requests,
// with another token or none, go on.
class QuoteClient : public QObject {
    Q_OBJECT
public:
    // `cancel` outlives the client; null: nothing but their own limits ends
    // its requests.
    explicit QuoteClient(const CancelToken* cancel = nullptr, QObject* parent = nullptr);
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

    const CancelToken* cancelToken() const { return cancel_; }
    bool cancelled() const { return cancel_ && cancel_->cancelled(); }

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
    const CancelToken* cancel_;
    std::vector<std::unique_ptr<QNetworkAccessManager>> managers_;
    GapTimer currentGap_, historicalGap_;
    FetchRecord record_;
    QByteArray lastHistoricalBody_;
};
