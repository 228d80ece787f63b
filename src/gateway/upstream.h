#pragma once

#include "gateway/config.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QNetworkReply;

// One provider answer as the gateway sees it.
struct UpstreamReply {
    enum class Kind {
        Answer,     // a response of the expected kind; `status` says which
        Throttled,  // 429, or traffic paused after one
        Blocked,    // a redirect (consent) or an HTML page where JSON was due
        Failed,     // 5xx, time-out, no connection
    };
    Kind kind = Kind::Failed;
    int status = 0;
    QByteArray body;
    QString detail;  // for the failure page
    QUrl location;   // where a redirect points, resolved
    bool ok() const { return kind == Kind::Answer; }
};

// Every request to the provider goes through here, so that the gateway asks
// gently whatever the program asks: a few requests at once, a steady rate,
// a growing pause after a 429, one identity and one cookie jar, identical
// requests joined and recent answers reused. Lives on the gateway's thread.
class Upstream : public QObject {
public:
    using Callback = std::function<void(const UpstreamReply&)>;
    // Set by the asker when nobody wants the answer any more: a request
    // not yet sent whose every asker has given up is dropped.
    using Cancelled = std::shared_ptr<bool>;

    // `sent`, when given, counts the requests sent (read by other threads).
    explicit Upstream(const GatewayConfig& config, std::atomic<int>* sent = nullptr, QObject* parent = nullptr);
    ~Upstream() override;

    // GET of `pathAndQuery` on the live host, expecting JSON. An answer
    // younger than `cacheMs` is given again without asking.
    void getJson(const QString& pathAndQuery, int cacheMs, Callback done, Cancelled cancelled = {});
    // The same asked anew on the provider's other host (the live host again
    // when there is none), never from the cache: a second opinion.
    void getJsonElsewhere(const QString& pathAndQuery, Callback done, Cancelled cancelled = {});
    // GET of a whole URL whose body is text (the session cookie and crumb);
    // never cached.
    void getText(const QString& url, Callback done);
    // POST of a form (`body` url-encoded) to a whole URL; never cached, never
    // joined with another.
    void postForm(const QUrl& url, const QByteArray& body, Callback done);

    bool paused() const;
    // True when the cookie jar holds the provider's session cookie (A1 or
    // A3) for `url`.
    bool hasSessionCookie(const QUrl& url) const;
    // Requests waiting for their turn.
    int queued() const { return static_cast<int>(queue_.size()); }
    // Of those, the ones whose path starts with `pathPrefix`.
    int queuedWith(const QString& pathPrefix) const;

private:
    struct Pending;

    void join(const QString& key, const QString& pathAndQuery, const QUrl& url, Callback done, Cancelled cancelled);
    void enqueue(std::shared_ptr<Pending> p);
    void pump();
    void start(const std::shared_ptr<Pending>& p);
    void finished(const std::shared_ptr<Pending>& p, QNetworkReply* reply);
    UpstreamReply classify(const Pending& p, QNetworkReply* reply) const;
    void deliver(const std::shared_ptr<Pending>& p, const UpstreamReply& r);
    void startPause(const Pending& p, qint64 retryAfterMs);
    // A 429 for one symbol's chart: the chart of a symbol answered before
    // tells whether the provider throttles everything or only that symbol.
    void suspect(const std::shared_ptr<Pending>& p, qint64 retryAfterMs);
    void controlArrived(const UpstreamReply& r);
    qint64 pauseStepMs() const;
    void remember(const QString& key, const UpstreamReply& r);
    void answerLater(Callback done, UpstreamReply r);
    qint64 now() const { return clock_.elapsed(); }

    GatewayConfig config_;
    QNetworkAccessManager manager_;
    QElapsedTimer clock_;
    QTimer pumpTimer_;

    QHash<QString, std::shared_ptr<Pending>> pending_;  // queued or running, by key
    std::deque<std::shared_ptr<Pending>> queue_;
    int running_ = 0;
    int serial_ = 0;  // makes the keys of requests never joined with another unique
    std::atomic<int>* sentCounter_ = nullptr;
    QByteArray userAgent_;
    bool answered_ = false;  // some request has been answered (not throttled)
    bool alternateTried_ = false;
    QString controlPath_;                             // the chart of a symbol answered before
    std::vector<std::shared_ptr<Pending>> suspects_;  // 429s waiting for the control call
    qint64 suspectRetryAfterMs_ = 0;
    bool controlRunning_ = false;
    double tokens_ = 0;
    qint64 refilledAt_ = 0;
    qint64 pausedUntil_ = -1;
    int pauseStep_ = 0;         // the place of the last pause in the schedule
    qint64 lastPauseEnd_ = -1;  // when the last pause ended; -1: none since the last answer

    struct Cached {
        int status = 0;
        QByteArray body;
        qint64 at = 0;
    };
    QHash<QString, Cached> cache_;
    qint64 cacheBytes_ = 0;
};
