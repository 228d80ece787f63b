#include "gateway/session.h"

#include "gateway/upstream.h"

namespace {

// Tried again after this long; until then the per-symbol endpoint serves.
constexpr qint64 kUnavailableMs = 15 * 60 * 1000;

// A crumb is a short token. "Too Many Requests" or a page is not.
bool plausibleCrumb(const QByteArray& body)
{
    if (body.isEmpty() || body.size() > 64)
        return false;
    for (const char c : body) {
        if (c <= ' ' || c == '<' || c == '>' || c == '"' || static_cast<unsigned char>(c) >= 0x7F)
            return false;
    }
    return true;
}

QuoteSession::Outcome failureOf(const UpstreamReply& r)
{
    switch (r.kind) {
    case UpstreamReply::Kind::Throttled: return QuoteSession::Outcome::Throttled;
    case UpstreamReply::Kind::Failed: return QuoteSession::Outcome::Failed;
    default: return QuoteSession::Outcome::Unavailable;
    }
}

}  // namespace

QuoteSession::QuoteSession(Upstream& upstream, QString cookieHost, QString liveHost)
    : upstream_(upstream), cookieHost_(std::move(cookieHost)), liveHost_(std::move(liveHost))
{
}

void QuoteSession::invalidate()
{
    crumb_.clear();
}

void QuoteSession::giveUp()
{
    crumb_.clear();
    unavailableSince_.start();
}

void QuoteSession::withCrumb(Callback done)
{
    if (!crumb_.isEmpty()) {
        done(Outcome::Ready);
        return;
    }
    if (unavailableSince_.isValid() && !unavailableSince_.hasExpired(kUnavailableMs)) {
        done(Outcome::Unavailable);
        return;
    }
    waiting_.push_back(std::move(done));
    if (asking_)
        return;
    asking_ = true;
    // Any answer of the cookie host will do (it is often a 404): it is the
    // cookie that counts. A redirect is the consent page.
    upstream_.getText(cookieHost_, [this](const UpstreamReply& cookie) {
        if (!cookie.ok()) {
            finish(failureOf(cookie));
            return;
        }
        upstream_.getText(liveHost_ + QStringLiteral("/v1/test/getcrumb"), [this](const UpstreamReply& r) {
            if (!r.ok()) {
                finish(failureOf(r));
                return;
            }
            if (r.status != 200 || !plausibleCrumb(r.body.trimmed())) {
                finish(Outcome::Unavailable);
                return;
            }
            crumb_ = QString::fromLatin1(r.body.trimmed());
            finish(Outcome::Ready);
        });
    });
}

void QuoteSession::finish(Outcome outcome)
{
    asking_ = false;
    if (outcome == Outcome::Unavailable)
        unavailableSince_.start();
    else
        unavailableSince_.invalidate();
    std::vector<Callback> waiting;
    waiting.swap(waiting_);
    for (Callback& w : waiting)
        w(outcome);
}
