#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <vector>

class Upstream;
struct UpstreamReply;

// The cookie and crumb that the multi-symbol quote endpoint wants. The
// cookie comes into the one cookie jar of the process from the cookie host;
// when that cannot be reached (it is on common DNS block lists) or gives no
// session cookie, from the quote page of a known symbol on the web host,
// then from the portal host. Redirects on the way are followed; a consent
// page is agreed to, and declined when agreeing does not take. The crumb is
// asked with the cookie and kept until the endpoint refuses it. When no
// session can be had, the quotes go to the keyless endpoints for a while.
class QuoteSession {
public:
    enum class Outcome {
        Ready,        // crumb() holds the crumb
        Unavailable,  // no session to be had (consent, odd crumb, hosts down): use the keyless endpoints
        Throttled,    // 429 on the way: the request fails
        Failed,       // no connection: the request fails
    };
    using Callback = std::function<void(Outcome)>;

    struct Hosts {
        QString cookieHost;  // a URL that sets the cookie
        QString webHost;     // URL base of the web pages; empty: none
        QString portalHost;  // URL base of the portal; empty: none
        QString liveHost;    // where the crumb is asked
    };
    QuoteSession(Upstream& upstream, Hosts hosts);

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
    // The web page asked for the cookie: the quote page of a symbol the
    // provider knows.
    static inline const QString kWebPage = QStringLiteral("/quote/AAPL/");

private:
    // Asks the cookie of the `index`th place (cookie host, web, portal).
    void trySource(int index);
    void visit(const QUrl& url, int hops);
    void pageArrived(const QUrl& url, const UpstreamReply& r, int hops);
    void consentPosted(const UpstreamReply& r, int hops);
    // The place gave what it gives: on to the crumb with a cookie, else to
    // the next place.
    void sourceEnded();
    void askCrumb();
    bool mayFollow(const QUrl& url) const;
    void finish(Outcome outcome, qint64 unavailableMs = kUnavailableMs);

    Upstream& upstream_;
    Hosts hosts_;
    QStringList sources_;
    int source_ = 0;
    int posts_ = 0;            // consent forms posted for this place: agreed, then declined
    bool revisit_ = false;     // after a consent, the place is asked again
    bool anyReached_ = false;  // some place answered in this attempt
    bool unreachableLogged_ = false;
    QString crumb_;
    bool asking_ = false;
    std::vector<Callback> waiting_;
    QElapsedTimer unavailableSince_;  // valid while a failed attempt is recent
    qint64 unavailableMs_ = kUnavailableMs;
};

// The form of a consent page: where it goes and its hidden fields with the
// agreement (or, with `agree` false, the refusal) added, url-encoded. Empty
// when the page holds no form.
struct ConsentForm {
    QUrl action;
    QByteArray body;
};
ConsentForm consentForm(const QByteArray& page, const QUrl& pageUrl, bool agree = true);
