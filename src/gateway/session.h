#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <vector>

class Upstream;

// The cookie and crumb that the multi-symbol quote endpoint wants. The
// cookie comes from the cookie host into the one cookie jar of the process;
// the crumb is asked with it and kept until the endpoint refuses it.
class QuoteSession {
public:
    enum class Outcome {
        Ready,        // crumb() holds the crumb
        Unavailable,  // no session to be had (consent, odd crumb): use the per-symbol endpoint
        Throttled,    // 429 on the way: the request fails
        Failed,       // no connection: the request fails
    };
    using Callback = std::function<void(Outcome)>;

    QuoteSession(Upstream& upstream, QString cookieHost, QString liveHost);

    // Calls `done` once a crumb is known or cannot be had.
    void withCrumb(Callback done);
    // The endpoint refused the crumb: the next withCrumb asks for a new one.
    void invalidate();
    // The endpoint refused a fresh crumb too: leave it alone for a while.
    void giveUp();
    const QString& crumb() const { return crumb_; }

private:
    void finish(Outcome outcome);

    Upstream& upstream_;
    QString cookieHost_, liveHost_;
    QString crumb_;
    bool asking_ = false;
    std::vector<Callback> waiting_;
    QElapsedTimer unavailableSince_;  // valid while a failed attempt is recent
};
