#include "gateway/session.h"

#include "gateway/gatewaylog.h"
#include "gateway/upstream.h"

#include <QRegularExpression>
#include <QUrlQuery>

Q_LOGGING_CATEGORY(lcGateway, "quotaris.gateway")

namespace {

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
    case UpstreamReply::Kind::Throttled:
        return QuoteSession::Outcome::Throttled;
    case UpstreamReply::Kind::Failed:
        return QuoteSession::Outcome::Failed;
    default:
        return QuoteSession::Outcome::Unavailable;
    }
}

QString attribute(const QString& tag, const QString& name)
{
    const QRegularExpression re(QStringLiteral("\\b") + name + QStringLiteral("\\s*=\\s*(\"([^\"]*)\"|'([^']*)')"),
                                QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(tag);
    if (!m.hasMatch())
        return QString();
    QString value = m.captured(2).isNull() ? m.captured(3) : m.captured(2);
    value.replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&#39;"), QLatin1String("'"))
        .replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
    return value;
}

constexpr int kMaxHops = 4;

}  // namespace

ConsentForm consentForm(const QByteArray& page, const QUrl& pageUrl)
{
    const QString html = QString::fromUtf8(page);
    static const QRegularExpression formTag(QStringLiteral("<form\\b[^>]*>"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression inputTag(QStringLiteral("<input\\b[^>]*>"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch form = formTag.match(html);
    if (!form.hasMatch())
        return {};
    const qsizetype end = html.indexOf(QLatin1String("</form"), form.capturedEnd(), Qt::CaseInsensitive);
    const QString inside = html.mid(form.capturedEnd(), end < 0 ? -1 : end - form.capturedEnd());
    QUrlQuery fields;
    for (auto it = inputTag.globalMatch(inside); it.hasNext();) {
        const QString tag = it.next().captured(0);
        const QString name = attribute(tag, QStringLiteral("name"));
        if (name.isEmpty() ||
            attribute(tag, QStringLiteral("type")).compare(QLatin1String("hidden"), Qt::CaseInsensitive) != 0)
            continue;
        fields.addQueryItem(name, attribute(tag, QStringLiteral("value")));
    }
    // The button the user would press.
    fields.addQueryItem(QStringLiteral("agree"), QStringLiteral("agree"));
    ConsentForm f;
    f.action = pageUrl.resolved(QUrl(attribute(form.captured(0), QStringLiteral("action"))));
    QByteArray body;
    for (const auto& [k, v] : fields.queryItems(QUrl::FullyDecoded)) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(k) + '=' + QUrl::toPercentEncoding(v);
    }
    f.body = body;
    return f;
}

QuoteSession::QuoteSession(Upstream& upstream, QString cookieHost, QString liveHost)
    : upstream_(upstream), cookieHost_(std::move(cookieHost)), liveHost_(std::move(liveHost))
{
}

void QuoteSession::invalidate() { crumb_.clear(); }

void QuoteSession::giveUp()
{
    crumb_.clear();
    unavailableMs_ = kUnavailableMs;
    unavailableSince_.start();
}

void QuoteSession::withCrumb(Callback done)
{
    if (!crumb_.isEmpty()) {
        done(Outcome::Ready);
        return;
    }
    if (unavailableSince_.isValid() && !unavailableSince_.hasExpired(unavailableMs_)) {
        done(Outcome::Unavailable);
        return;
    }
    waiting_.push_back(std::move(done));
    if (asking_)
        return;
    asking_ = true;
    askCookie(false);
}

void QuoteSession::askCookie(bool afterConsent)
{
    upstream_.getText(cookieHost_, [this, afterConsent](const UpstreamReply& r) { cookieArrived(r, afterConsent); });
}

void QuoteSession::cookieArrived(const UpstreamReply& r, bool afterConsent)
{
    // Any answer of the cookie host will do (it is often a 404): it is the
    // cookie that counts. A redirect is the consent page.
    if (r.ok()) {
        cookieHostDownLogged_ = false;
        askCrumb();
        return;
    }
    if (r.kind == UpstreamReply::Kind::Blocked && r.location.isValid() && !afterConsent && !consentTried_ &&
        mayFollow(r.location)) {
        consentTried_ = true;
        consent(r.location, 0);
        return;
    }
    if (r.kind == UpstreamReply::Kind::Failed) {
        // Down or broken: the keyless endpoints serve meanwhile, and the
        // host is left alone for a while.
        if (!cookieHostDownLogged_) {
            qCWarning(lcGateway).noquote()
                << "cookie host" << cookieHost_ << "cannot be reached (" << r.detail
                << "): current quotes come from the chart endpoints for" << kCookieHostDownMs / 60000 << "minutes";
            cookieHostDownLogged_ = true;
        }
        finish(Outcome::Unavailable, kCookieHostDownMs);
        return;
    }
    finish(failureOf(r));
}

void QuoteSession::askCrumb()
{
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
}

bool QuoteSession::mayFollow(const QUrl& url) const
{
    // The provider's own consent hosts, or wherever the cookie host itself is.
    const QString host = url.host().toLower();
    return host == QLatin1String("yahoo.com") || host.endsWith(QLatin1String(".yahoo.com")) ||
           host == QUrl(cookieHost_).host().toLower();
}

void QuoteSession::consent(const QUrl& url, int hops)
{
    upstream_.getText(url.toString(), [this, url, hops](const UpstreamReply& r) {
        if (r.kind == UpstreamReply::Kind::Blocked && r.location.isValid() && hops < kMaxHops &&
            mayFollow(r.location)) {
            consent(r.location, hops + 1);
            return;
        }
        const ConsentForm form = r.ok() && r.status == 200 ? consentForm(r.body, url) : ConsentForm();
        if (form.body.isEmpty() || !mayFollow(form.action)) {
            qCWarning(lcGateway).noquote() << "consent page without a form at" << url.toString(QUrl::RemoveQuery)
                                           << ": current quotes come from the chart endpoints";
            finish(r.kind == UpstreamReply::Kind::Throttled ? Outcome::Throttled : Outcome::Unavailable);
            return;
        }
        upstream_.postForm(form.action, form.body,
                           [this, hops](const UpstreamReply& posted) { consentPosted(posted, hops); });
    });
}

void QuoteSession::consentPosted(const UpstreamReply& r, int hops)
{
    // The agreement usually answers with a redirect through a page that
    // copies the consent into the cookie; follow it, then ask the cookie.
    if (r.kind == UpstreamReply::Kind::Blocked && r.location.isValid() && hops < kMaxHops && mayFollow(r.location)) {
        upstream_.getText(r.location.toString(),
                          [this, hops](const UpstreamReply& next) { consentPosted(next, hops + 1); });
        return;
    }
    if (r.kind == UpstreamReply::Kind::Throttled || r.kind == UpstreamReply::Kind::Failed) {
        finish(failureOf(r));
        return;
    }
    qCInfo(lcGateway) << "consent given to the provider";
    askCookie(true);
}

void QuoteSession::finish(Outcome outcome, qint64 unavailableMs)
{
    asking_ = false;
    if (outcome == Outcome::Unavailable) {
        unavailableMs_ = unavailableMs;
        unavailableSince_.start();
    } else {
        unavailableSince_.invalidate();
    }
    std::vector<Callback> waiting;
    waiting.swap(waiting_);
    for (Callback& w : waiting)
        w(outcome);
}
