#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QUrl>
#include <functional>
#include <vector>

class Upstream;
struct UpstreamReply;

// The cookie and crumb that the multi-symbol quote endpoint wants. The
// cookie comes from the cookie host into the one cookie jar of the process;
// the crumb is asked with it and kept until the endpoint refuses it. A
// consent form on the way is agreed to once; a cookie host that cannot be
// reached sends the quotes to the keyless endpoints for a few minutes.
class QuoteSession {
public:
    enum class Outcome {
        Ready,        // crumb() holds the crumb
        Unavailable,  // no session to be had (consent, odd crumb, cookie host down): use the keyless endpoints
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

    // How long the keyless endpoints serve after the session could not be had.
    static constexpr qint64 kUnavailableMs = 15 * 60 * 1000;
    static constexpr qint64 kCookieHostDownMs = 5 * 60 * 1000;

private:
    void askCookie(bool afterConsent);
    void cookieArrived(const UpstreamReply& r, bool afterConsent);
    void askCrumb();
    // The consent page at `url`: its form posted with agreement, then the
    // cookie asked again. `hops` counts the redirects followed on the way.
    void consent(const QUrl& url, int hops);
    void consentPosted(const UpstreamReply& r, int hops);
    bool mayFollow(const QUrl& url) const;
    void finish(Outcome outcome, qint64 unavailableMs = kUnavailableMs);

    Upstream& upstream_;
    QString cookieHost_, liveHost_;
    QString crumb_;
    bool asking_ = false;
    bool consentTried_ = false;  // once per session
    bool cookieHostDownLogged_ = false;
    std::vector<Callback> waiting_;
    QElapsedTimer unavailableSince_;  // valid while a failed attempt is recent
    qint64 unavailableMs_ = kUnavailableMs;
};

// The form of a consent page: where it goes and its fields with the
// agreement added, url-encoded. Empty when the page holds no form.
struct ConsentForm {
    QUrl action;
    QByteArray body;
};
ConsentForm consentForm(const QByteArray& page, const QUrl& pageUrl);
