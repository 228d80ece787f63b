#pragma once

#include "quotes/currentquotes.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

class AsyncFetch;
class GapTimer;
class QuoteClient;

// Downloads the current quotes of one batch of tickers in one request and
// sorts the tickers into accepted, not found and rejected. `go` starts the
// download from the event loop and `startnu` at once; both report with
// `ready` and nothing waits for the answer meanwhile, so many loaders can be
// in flight together on the connections of one client.
class loader : public QObject {
    Q_OBJECT

public:
    explicit loader(QuoteClient& client, QObject* parent = nullptr);
    ~loader() override;

    // The batch; empty entries are left out of the request.
    void setTickers(const QStringList& tickers) { tickers_ = tickers; }
    const QStringList& originaltickers() const { return tickers_; }
    // The accepted tickers, in answer order.
    QVector<QString> tickers() const;

    // Direct use: no gap wait or restart, and `go` does not start a download.
    bool directUse = false;
    // "AU" or "SG" for a regional host; anything else uses the main host.
    QString region;
    // The gap shared with the other requests of the window; the client's
    // current-quote gap by default.
    GapTimer* gap;

    void go();
    void startnu();

    static qint32 cvdatum(const QString& text);

    // Results of the last download.
    const CurrentQuotes& quotes() const { return quotes_; }
    // The same for the integrity check, which repairs prices in place and
    // marks a quote it skips as refused.
    CurrentQuotes& checkedQuotes() { return quotes_; }
    const QStringList& notfound() const { return quotes_.notfound; }
    const QStringList& SymbolsVerworpen() const { return quotes_.SymbolsVerworpen; }
    // Tickers of the batch the answer held no line for: failed, as a batch
    // without an answer is.
    const QStringList& missing() const { return quotes_.missing; }
    // Tickers answered without all their values: asked again later.
    const QStringList& incomplete() const { return quotes_.incomplete; }
    bool DownloadOk() const { return downloadOk_; }
    bool foundall() const { return foundall_; }
    bool timeout() const { return timeout_; }
    bool Busy() const { return busy_; }
    // Why the last download brought nothing usable; empty when it did.
    const QString& problem() const { return problem_; }
    // True when the last download failed because the service could not be
    // reached at all (as opposed to an unusable answer).
    bool unreachable() const { return unreachable_; }
    // The request of the last download.
    const QString& url() const { return url_; }

signals:
    void ready();

private:
    void timerFired();
    void begin();
    void nextFetch();
    void fetchFinished();
    void decode(const QByteArray& body);
    void downloaded();

    QuoteClient& client_;
    QStringList tickers_;
    CurrentQuotes quotes_;
    QString url_;
    QString problem_, host_;
    bool unreachable_ = false;
    QTimer startTimer_;
    std::unique_ptr<AsyncFetch> fetch_;
    std::unique_ptr<AsyncFetch> done_;  // the last answered fetch
    int fetches_ = 0;                   // fetches of this download so far
    bool signalReady_ = false;
    bool downloadOk_ = false, foundall_ = false, timeout_ = false, busy_ = false;
    bool timeoutFlag_ = false;  // set by a fetch that timed out, cleared by one that answered
};
