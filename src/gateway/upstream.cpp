#include "gateway/upstream.h"

#include "gateway/gatewaylog.h"

#include <QDateTime>
#include <QLocale>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

struct Upstream::Pending {
    QString key;
    QUrl url;
    QString pathAndQuery;  // for the retry on the fallback host; empty for text requests
    bool json = true;
    bool retried = false;
    QByteArray form;  // the body of a POST; empty for a GET
    bool post = false;
    bool tooLarge = false;  // the answer passed the limit and was cut off
    qint64 startedAt = -1;
    struct Waiter {
        Callback done;
        Cancelled cancelled;  // null: wanted whatever happens
    };
    std::vector<Waiter> waiters;
    // False when every asker has given up.
    bool wanted()
    {
        std::erase_if(waiters, [](const Waiter& w) { return w.cancelled && *w.cancelled; });
        return !waiters.empty();
    }
};

namespace {

bool looksLikeJson(const QByteArray& body)
{
    for (const char c : body) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        return c == '{' || c == '[';
    }
    return false;
}

// The pauses after a 429, in steps of the configured pause: the provider
// tells nothing of how long it throttles (no Retry-After).
constexpr int kPauseSteps[] = {1, 2, 5, 15};
constexpr int kLastPauseStep = static_cast<int>(std::size(kPauseSteps)) - 1;

bool symbolChart(const QString& key)
{
    return key.startsWith(QLatin1String("J /v8/finance/chart/")) ||
           key.startsWith(QLatin1String("E /v8/finance/chart/"));
}

// The symbol part of a chart path ("/v8/finance/chart/NVDA").
QStringView chartOf(QStringView pathAndQuery) { return pathAndQuery.left(pathAndQuery.indexOf(QLatin1Char('?'))); }

qint64 retryAfterOf(QNetworkReply* reply, qint64 maxMs)
{
    // Retry-After in seconds or as an HTTP date (when a provider sends one).
    const QByteArray header = reply->rawHeader("Retry-After").trimmed();
    bool ok = false;
    qint64 ms = header.toLongLong(&ok) * 1000;
    if (!ok && !header.isEmpty()) {
        const QDateTime at = QDateTime::fromString(QString::fromLatin1(header), Qt::RFC2822Date);
        ms = at.isValid() ? QDateTime::currentDateTimeUtc().msecsTo(at) : 0;
    }
    return std::clamp<qint64>(ms, 0, maxMs);
}

// Only definite answers are worth keeping; an expired session (401) is not.
bool cacheable(int status) { return status == 200 || status == 400 || status == 404; }

}  // namespace

Upstream::Upstream(const GatewayConfig& config, std::atomic<int>* sent, QObject* parent)
    : QObject(parent), config_(config), sentCounter_(sent), userAgent_(config.userAgent), tokens_(config.burst)
{
    clock_.start();
    pumpTimer_.setSingleShot(true);
    connect(&pumpTimer_, &QTimer::timeout, this, &Upstream::pump);
    // Redirects are looked at, not followed: the provider redirects to its
    // consent page, which is no answer.
    manager_.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    manager_.setTransferTimeout(config.transferTimeoutMs);
}

Upstream::~Upstream()
{
    // Callbacks of requests still open are dropped with their owners.
    pending_.clear();
    queue_.clear();
    for (QNetworkReply* reply : manager_.findChildren<QNetworkReply*>()) {
        reply->disconnect(this);
        reply->abort();
    }
}

bool Upstream::paused() const { return pausedUntil_ >= 0 && now() < pausedUntil_; }

int Upstream::queuedWith(const QString& pathPrefix) const
{
    return static_cast<int>(std::count_if(queue_.cbegin(), queue_.cend(), [&pathPrefix](const auto& p) {
        return p->pathAndQuery.startsWith(pathPrefix);
    }));
}

bool Upstream::hasSessionCookie(const QUrl& url) const
{
    const QNetworkCookieJar* jar = manager_.cookieJar();
    if (!jar)
        return false;
    for (const QNetworkCookie& c : jar->cookiesForUrl(url)) {
        if (c.name() == "A3" || c.name() == "A1")
            return true;
    }
    return false;
}

void Upstream::answerLater(Callback done, UpstreamReply r)
{
    // Always after the caller's own step, never inside it.
    QMetaObject::invokeMethod(
        this, [done = std::move(done), r = std::move(r)] { done(r); }, Qt::QueuedConnection);
}

void Upstream::getJson(const QString& pathAndQuery, int cacheMs, Callback done, Cancelled cancelled)
{
    const QString key = QLatin1String("J ") + pathAndQuery;
    const auto hit = cache_.constFind(key);
    if (hit != cache_.constEnd() && now() - hit->at < cacheMs) {
        answerLater(std::move(done), {UpstreamReply::Kind::Answer, hit->status, hit->body, QString(), {}});
        return;
    }
    join(key, pathAndQuery, QUrl(config_.liveHost + pathAndQuery, QUrl::TolerantMode), std::move(done),
         std::move(cancelled));
}

// Joins the request of the same key on its way, or queues a new one.
void Upstream::join(const QString& key, const QString& pathAndQuery, const QUrl& url, Callback done,
                    Cancelled cancelled)
{
    if (const auto same = pending_.value(key)) {
        same->waiters.push_back({std::move(done), std::move(cancelled)});
        return;
    }
    auto p = std::make_shared<Pending>();
    p->key = key;
    p->pathAndQuery = pathAndQuery;
    p->url = url;
    p->waiters.push_back({std::move(done), std::move(cancelled)});
    enqueue(std::move(p));
}

void Upstream::getJsonElsewhere(const QString& pathAndQuery, Callback done, Cancelled cancelled)
{
    const QString host = config_.fallbackHost.isEmpty() ? config_.liveHost : config_.fallbackHost;
    join(QLatin1String("E ") + pathAndQuery, pathAndQuery, QUrl(host + pathAndQuery, QUrl::TolerantMode),
         std::move(done), std::move(cancelled));
}

void Upstream::getText(const QString& url, Callback done)
{
    const QString key = QLatin1String("T ") + url;
    if (const auto same = pending_.value(key)) {
        same->waiters.push_back({std::move(done), {}});
        return;
    }
    auto p = std::make_shared<Pending>();
    p->key = key;
    p->url = QUrl(url, QUrl::TolerantMode);
    p->json = false;
    p->waiters.push_back({std::move(done), {}});
    enqueue(std::move(p));
}

void Upstream::postForm(const QUrl& url, const QByteArray& body, Callback done)
{
    auto p = std::make_shared<Pending>();
    p->key = QStringLiteral("P %1 ").arg(++serial_) + url.toString();
    p->url = url;
    p->json = false;
    p->post = true;
    p->form = body;
    p->waiters.push_back({std::move(done), {}});
    enqueue(std::move(p));
}

void Upstream::enqueue(std::shared_ptr<Pending> p)
{
    if (paused()) {
        // While paused nothing is asked; the legacy request fails at once
        // instead of waiting minutes.
        for (Pending::Waiter& w : p->waiters)
            answerLater(
                std::move(w.done),
                {UpstreamReply::Kind::Throttled, 429, {}, QStringLiteral("paused after Too Many Requests"), {}});
        return;
    }
    pending_.insert(p->key, p);
    queue_.push_back(std::move(p));
    pump();
}

void Upstream::pump()
{
    const qint64 t = now();
    tokens_ = std::min<double>(config_.burst, tokens_ + (t - refilledAt_) * config_.ratePerSec / 1000.0);
    refilledAt_ = t;
    while (!queue_.empty() && running_ < config_.maxInFlight && tokens_ >= 1.0) {
        std::shared_ptr<Pending> p = std::move(queue_.front());
        queue_.pop_front();
        if (!p->wanted()) {
            // Its clients have gone: not worth one of the provider's calls.
            if (pending_.value(p->key) == p)
                pending_.remove(p->key);
            continue;
        }
        tokens_ -= 1.0;
        start(p);
    }
    if (!queue_.empty() && running_ < config_.maxInFlight && !pumpTimer_.isActive()) {
        const int wait = static_cast<int>(std::ceil((1.0 - tokens_) * 1000.0 / config_.ratePerSec));
        pumpTimer_.start(std::max(wait, 1));
    }
}

void Upstream::start(const std::shared_ptr<Pending>& p)
{
    QNetworkRequest request(p->url);
    request.setRawHeader("User-Agent", userAgent_);
    request.setRawHeader("Accept", p->json ? "application/json,text/plain,*/*" : "text/html,text/plain,*/*");
    request.setRawHeader("Accept-Language", "en-US,en;q=0.9");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    ++running_;
    p->startedAt = now();
    if (sentCounter_)
        sentCounter_->fetch_add(1);
    QNetworkReply* reply = nullptr;
    if (p->post) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
        reply = manager_.post(request, p->form);
    } else {
        reply = manager_.get(request);
    }
    // The answer is held whole until it ends: one that grows past the limit
    // is cut off and fails its call (not tried again), whatever it claims.
    const qint64 limit = config_.maxAnswerBytes;
    connect(reply, &QNetworkReply::downloadProgress, this, [p, reply, limit](qint64 received, qint64 total) {
        if (!p->tooLarge && (received > limit || total > limit)) {
            p->tooLarge = true;
            p->retried = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, p, reply] { finished(p, reply); });
}

UpstreamReply Upstream::classify(const Pending& p, QNetworkReply* reply) const
{
    using Kind = UpstreamReply::Kind;
    const QVariant statusValue = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    UpstreamReply r;
    if (p.tooLarge) {
        r.detail = QStringLiteral("an answer larger than ") + QLocale::c().formattedDataSize(config_.maxAnswerBytes, 0);
        return r;  // Failed
    }
    if (!statusValue.isValid()) {
        r.detail = reply->errorString();
        return r;  // Failed: no response at all
    }
    r.status = statusValue.toInt();
    r.body = reply->readAll();
    if (r.status == 429) {
        r.kind = Kind::Throttled;
        r.detail = QStringLiteral("Too Many Requests");
    } else if (r.status >= 300 && r.status < 400) {
        r.kind = Kind::Blocked;
        r.detail = QStringLiteral("redirected to ") + QString::fromLatin1(reply->rawHeader("Location")).left(200);
        r.location = p.url.resolved(QUrl(QString::fromLatin1(reply->rawHeader("Location")), QUrl::TolerantMode));
    } else if (r.status >= 500) {
        r.detail = QStringLiteral("HTTP %1").arg(r.status);
    } else if (p.json && !looksLikeJson(r.body)) {
        r.kind = Kind::Blocked;
        r.detail = QStringLiteral("HTTP %1 with a page where data was due").arg(r.status);
    } else {
        r.kind = Kind::Answer;
    }
    if (r.kind != Kind::Answer)
        r.body.clear();
    return r;
}

void Upstream::finished(const std::shared_ptr<Pending>& p, QNetworkReply* reply)
{
    --running_;
    const UpstreamReply r = classify(*p, reply);
    reply->deleteLater();
    if (r.kind == UpstreamReply::Kind::Throttled && !answered_ && !alternateTried_ &&
        !config_.alternateUserAgent.isEmpty()) {
        // Refused from the first request on: the identity may be what is
        // refused. One other, fixed, and that request once more.
        alternateTried_ = true;
        userAgent_ = config_.alternateUserAgent;
        qCInfo(lcGateway).noquote() << "Too Many Requests at the first request: asking as"
                                    << QString::fromLatin1(userAgent_);
        queue_.push_front(p);
        pump();
        return;
    }
    if (r.kind == UpstreamReply::Kind::Throttled && symbolChart(p->key) && !controlPath_.isEmpty() &&
        chartOf(controlPath_) != chartOf(p->pathAndQuery) && !paused()) {
        suspect(p, retryAfterOf(reply, config_.maxPauseMs));
        pump();
        return;
    }
    if (r.kind == UpstreamReply::Kind::Throttled)
        startPause(*p, retryAfterOf(reply, config_.maxPauseMs));
    else if (r.kind == UpstreamReply::Kind::Answer)
        answered_ = true;
    if (r.kind == UpstreamReply::Kind::Answer && r.status == 200 &&
        p->key.startsWith(QLatin1String("J /v8/finance/chart/")))
        controlPath_ = p->pathAndQuery;

    if (r.kind == UpstreamReply::Kind::Failed && !p->retried && !p->post && !paused()) {
        // One more try a little later, on the other host when there is one.
        p->retried = true;
        if (!p->pathAndQuery.isEmpty() && !config_.fallbackHost.isEmpty())
            p->url = QUrl((p->key.startsWith(QLatin1String("E ")) ? config_.liveHost : config_.fallbackHost) +
                              p->pathAndQuery,
                          QUrl::TolerantMode);
        QTimer::singleShot(config_.retryDelayMs, this, [this, p] {
            if (pending_.value(p->key) != p)
                return;
            if (paused()) {
                deliver(
                    p, {UpstreamReply::Kind::Throttled, 429, {}, QStringLiteral("paused after Too Many Requests"), {}});
                return;
            }
            queue_.push_back(p);
            pump();
        });
        pump();
        return;
    }
    if (r.kind == UpstreamReply::Kind::Answer && !paused() && (lastPauseEnd_ < 0 || p->startedAt >= lastPauseEnd_)) {
        // Asked after the pause and answered: the throttling is over.
        pauseStep_ = 0;
        lastPauseEnd_ = -1;
    }
    if (r.kind == UpstreamReply::Kind::Answer) {
        if (p->json && cacheable(r.status) && !p->key.startsWith(QLatin1String("E ")))
            remember(p->key, r);
    }
    deliver(p, r);
    pump();
}

void Upstream::deliver(const std::shared_ptr<Pending>& p, const UpstreamReply& r)
{
    if (pending_.value(p->key) == p)
        pending_.remove(p->key);
    std::vector<Pending::Waiter> waiters = std::move(p->waiters);
    for (Pending::Waiter& w : waiters)
        w.done(r);
}

qint64 Upstream::pauseStepMs() const
{
    return std::min<qint64>(qint64(config_.pauseMs) * kPauseSteps[pauseStep_], config_.maxPauseMs);
}

void Upstream::startPause(const Pending& p, qint64 retryAfterMs)
{
    const qint64 t = now();
    if (paused()) {
        // One burst is one step: the other requests of the burst were under
        // way when the pause began. Only a longer Retry-After counts.
        pausedUntil_ = std::max(pausedUntil_, t + retryAfterMs);
    } else {
        if (pausedUntil_ >= 0 && lastPauseEnd_ >= 0 && p.startedAt >= lastPauseEnd_)
            pauseStep_ = std::min(pauseStep_ + 1, kLastPauseStep);  // throttled again after a pause
        pausedUntil_ = t + std::max<qint64>(pauseStepMs(), retryAfterMs);
        lastPauseEnd_ = pausedUntil_;
    }
    // What waits in the queue would only meet the same answer.
    std::deque<std::shared_ptr<Pending>> waiting;
    waiting.swap(queue_);
    for (const auto& w : waiting)
        deliver(w, {UpstreamReply::Kind::Throttled, 429, {}, QStringLiteral("paused after Too Many Requests"), {}});
}

void Upstream::suspect(const std::shared_ptr<Pending>& p, qint64 retryAfterMs)
{
    suspects_.push_back(p);
    suspectRetryAfterMs_ = std::max(suspectRetryAfterMs_, retryAfterMs);
    if (controlRunning_)
        return;
    controlRunning_ = true;
    // Asked before anything else waiting, never from the cache.
    auto c = std::make_shared<Pending>();
    c->key = QStringLiteral("C %1 ").arg(++serial_) + controlPath_;
    c->pathAndQuery = controlPath_;
    c->url = QUrl(config_.liveHost + controlPath_, QUrl::TolerantMode);
    c->waiters.push_back({[this](const UpstreamReply& r) { controlArrived(r); }, {}});
    pending_.insert(c->key, c);
    queue_.push_front(std::move(c));
}

void Upstream::controlArrived(const UpstreamReply& r)
{
    controlRunning_ = false;
    std::vector<std::shared_ptr<Pending>> suspects;
    suspects.swap(suspects_);
    const qint64 retryAfterMs = std::exchange(suspectRetryAfterMs_, 0);
    if (r.ok()) {
        // The provider answers others: the 429 was that symbol's own. It
        // fails this time (and is asked again later); nothing pauses.
        for (const auto& p : suspects) {
            qCInfo(lcGateway).noquote() << "Too Many Requests for" << chartOf(p->pathAndQuery).mid(18)
                                        << "alone: the others go on";
            deliver(p, {UpstreamReply::Kind::Failed, 429, {}, QStringLiteral("Too Many Requests for this symbol"), {}});
        }
        return;
    }
    if (!paused() && !suspects.empty())
        startPause(*suspects.front(), retryAfterMs);
    for (const auto& p : suspects)
        deliver(p, {UpstreamReply::Kind::Throttled, 429, {}, QStringLiteral("Too Many Requests"), {}});
}

void Upstream::remember(const QString& key, const UpstreamReply& r)
{
    const auto old = cache_.constFind(key);
    if (old != cache_.constEnd())
        cacheBytes_ -= old->body.size();
    cache_.insert(key, {r.status, r.body, now()});
    cacheBytes_ += r.body.size();
    if (cacheBytes_ <= config_.maxCacheBytes)
        return;
    // Drop the oldest answers until a quarter of the room is free again.
    std::vector<std::pair<qint64, QString>> byAge;
    byAge.reserve(cache_.size());
    for (auto it = cache_.constBegin(); it != cache_.constEnd(); ++it)
        byAge.emplace_back(it->at, it.key());
    std::sort(byAge.begin(), byAge.end());
    for (const auto& [at, k] : byAge) {
        if (cacheBytes_ <= config_.maxCacheBytes * 3 / 4)
            break;
        cacheBytes_ -= cache_.value(k).body.size();
        cache_.remove(k);
    }
}
