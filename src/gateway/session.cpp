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

constexpr int kMaxHops = 8;

}  // namespace

ConsentForm consentForm(const QByteArray& page, const QUrl& pageUrl, bool agree)
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
    const QString button = agree ? QStringLiteral("agree") : QStringLiteral("reject");
    fields.addQueryItem(button, button);
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

QuoteSession::QuoteSession(Upstream& upstream, Hosts hosts) : upstream_(upstream), hosts_(std::move(hosts))
{
    sources_ << hosts_.cookieHost;
    if (!hosts_.webHost.isEmpty())
        sources_ << hosts_.webHost + kWebPage;
    if (!hosts_.portalHost.isEmpty())
        sources_ << hosts_.portalHost + QLatin1Char('/');
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
    anyReached_ = false;
    trySource(0);
}

void QuoteSession::trySource(int index)
{
    if (index >= sources_.size()) {
        if (!anyReached_ && !unreachableLogged_) {
            qCWarning(lcGateway).noquote()
                << "no place that hands out the provider's cookie can be reached:"
                << "current quotes come from the chart endpoints for" << kCookieHostDownMs / 60000 << "minutes";
            unreachableLogged_ = true;
        }
        // Hosts that cannot be reached are asked again sooner than a
        // session that was refused.
        finish(Outcome::Unavailable, anyReached_ ? kUnavailableMs : kCookieHostDownMs);
        return;
    }
    source_ = index;
    posts_ = 0;
    revisit_ = false;
    visit(QUrl(sources_[index], QUrl::TolerantMode), 0);
}

void QuoteSession::visit(const QUrl& url, int hops)
{
    upstream_.getText(url.toString(), [this, url, hops](const UpstreamReply& r) { pageArrived(url, r, hops); });
}

void QuoteSession::pageArrived(const QUrl& url, const UpstreamReply& r, int hops)
{
    switch (r.kind) {
    case UpstreamReply::Kind::Throttled:
        finish(Outcome::Throttled);
        return;
    case UpstreamReply::Kind::Failed:
        // Blocked by the resolver, down or broken: the next place.
        qCInfo(lcGateway).noquote() << "no cookie from" << url.toString(QUrl::RemoveQuery) << "(" << r.detail << ")";
        trySource(source_ + 1);
        return;
    case UpstreamReply::Kind::Blocked:
        anyReached_ = true;
        // A redirect (to the consent flow, or back from it): followed, the
        // cookie jar keeping what each step sets.
        if (r.location.isValid() && hops < kMaxHops && mayFollow(r.location))
            visit(r.location, hops + 1);
        else
            sourceEnded();
        return;
    case UpstreamReply::Kind::Answer:
        break;
    }
    anyReached_ = true;
    // Only a page of the consent flow: other pages have forms too (search).
    const bool consentPage = url.host().contains(QLatin1String("consent"), Qt::CaseInsensitive) ||
                             url.host().contains(QLatin1String("guce"), Qt::CaseInsensitive) ||
                             url.path().contains(QLatin1String("consent"), Qt::CaseInsensitive);
    const ConsentForm form =
        consentPage && r.status == 200 && posts_ < 2 ? consentForm(r.body, url, posts_ == 0) : ConsentForm();
    if (!form.body.isEmpty() && mayFollow(form.action)) {
        ++posts_;
        revisit_ = true;
        upstream_.postForm(form.action, form.body,
                           [this, hops](const UpstreamReply& posted) { consentPosted(posted, hops); });
        return;
    }
    if (revisit_) {
        // The consent was given (or refused): the place itself again.
        revisit_ = false;
        visit(QUrl(sources_[source_], QUrl::TolerantMode), 0);
        return;
    }
    sourceEnded();
}

void QuoteSession::consentPosted(const UpstreamReply& r, int hops)
{
    if (r.kind == UpstreamReply::Kind::Throttled) {
        finish(Outcome::Throttled);
        return;
    }
    qCInfo(lcGateway) << (posts_ == 1 ? "consent given to the provider" : "consent declined to the provider");
    if (r.kind == UpstreamReply::Kind::Blocked && r.location.isValid() && hops < kMaxHops && mayFollow(r.location)) {
        visit(r.location, hops + 1);
        return;
    }
    revisit_ = false;
    visit(QUrl(sources_[source_], QUrl::TolerantMode), 0);
}

void QuoteSession::sourceEnded()
{
    if (upstream_.hasSessionCookie(QUrl(hosts_.liveHost)))
        askCrumb();
    else
        trySource(source_ + 1);
}

void QuoteSession::askCrumb()
{
    upstream_.getText(hosts_.liveHost + QStringLiteral("/v1/test/getcrumb"), [this](const UpstreamReply& r) {
        if (r.kind == UpstreamReply::Kind::Throttled) {
            finish(Outcome::Throttled);
            return;
        }
        if (r.kind == UpstreamReply::Kind::Failed) {
            finish(Outcome::Failed);
            return;
        }
        // "Too Many Requests", a page, blanks or nothing are no crumb: a
        // cookie from the next place may do better.
        if (!r.ok() || r.status != 200 || !plausibleCrumb(r.body.trimmed())) {
            trySource(source_ + 1);
            return;
        }
        crumb_ = QString::fromLatin1(r.body.trimmed());
        unreachableLogged_ = false;
        finish(Outcome::Ready);
    });
}

bool QuoteSession::mayFollow(const QUrl& url) const
{
    // The provider's own hosts, or wherever one of the configured places is.
    const QString host = url.host().toLower();
    if (host == QLatin1String("yahoo.com") || host.endsWith(QLatin1String(".yahoo.com")))
        return true;
    for (const QString& place : {hosts_.cookieHost, hosts_.webHost, hosts_.portalHost}) {
        if (!place.isEmpty() && host == QUrl(place).host().toLower())
            return true;
    }
    return false;
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
