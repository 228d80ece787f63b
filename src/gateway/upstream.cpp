#include "gateway/upstream.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <algorithm>
#include <cmath>

struct Upstream::Pending {
    QString key;
    QUrl url;
    QString pathAndQuery;  // for the retry on the fallback host; empty for text requests
    bool json = true;
    bool retried = false;
    std::vector<Callback> waiters;
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

// Only definite answers are worth keeping; an expired session (401) is not.
bool cacheable(int status)
{
    return status == 200 || status == 400 || status == 404;
}

}  // namespace

Upstream::Upstream(const GatewayConfig& config, std::atomic<int>* sent, QObject* parent)
    : QObject(parent), config_(config), sentCounter_(sent), tokens_(config.burst), nextPauseMs_(config.pauseMs)
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

bool Upstream::paused() const
{
    return pausedUntil_ >= 0 && now() < pausedUntil_;
}

void Upstream::answerLater(Callback done, UpstreamReply r)
{
    // Always after the caller's own step, never inside it.
    QMetaObject::invokeMethod(this, [done = std::move(done), r = std::move(r)] { done(r); }, Qt::QueuedConnection);
}

void Upstream::getJson(const QString& pathAndQuery, int cacheMs, Callback done)
{
    const QString key = QLatin1String("J ") + pathAndQuery;
    const auto hit = cache_.constFind(key);
    if (hit != cache_.constEnd() && now() - hit->at < cacheMs) {
        answerLater(std::move(done), {UpstreamReply::Kind::Answer, hit->status, hit->body, QString()});
        return;
    }
    if (const auto same = pending_.value(key)) {
        same->waiters.push_back(std::move(done));
        return;
    }
    auto p = std::make_shared<Pending>();
    p->key = key;
    p->pathAndQuery = pathAndQuery;
    p->url = QUrl(config_.liveHost + pathAndQuery, QUrl::TolerantMode);
    p->waiters.push_back(std::move(done));
    enqueue(std::move(p));
}

void Upstream::getText(const QString& url, Callback done)
{
    const QString key = QLatin1String("T ") + url;
    if (const auto same = pending_.value(key)) {
        same->waiters.push_back(std::move(done));
        return;
    }
    auto p = std::make_shared<Pending>();
    p->key = key;
    p->url = QUrl(url, QUrl::TolerantMode);
    p->json = false;
    p->waiters.push_back(std::move(done));
    enqueue(std::move(p));
}

void Upstream::enqueue(std::shared_ptr<Pending> p)
{
    if (paused()) {
        // While paused nothing is asked; the legacy request fails at once
        // instead of waiting minutes.
        for (Callback& w : p->waiters)
            answerLater(std::move(w), {UpstreamReply::Kind::Throttled, 429, {}, QStringLiteral("paused after Too Many Requests")});
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
        tokens_ -= 1.0;
        std::shared_ptr<Pending> p = std::move(queue_.front());
        queue_.pop_front();
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
    request.setRawHeader("User-Agent", config_.userAgent);
    request.setRawHeader("Accept", p->json ? "application/json,text/plain,*/*" : "text/html,text/plain,*/*");
    request.setRawHeader("Accept-Language", "en-US,en;q=0.9");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    ++running_;
    if (sentCounter_)
        sentCounter_->fetch_add(1);
    QNetworkReply* reply = manager_.get(request);
    connect(reply, &QNetworkReply::finished, this, [this, p, reply] { finished(p, reply); });
}

UpstreamReply Upstream::classify(const Pending& p, QNetworkReply* reply) const
{
    using Kind = UpstreamReply::Kind;
    const QVariant statusValue = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    UpstreamReply r;
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
    if (r.kind == UpstreamReply::Kind::Throttled)
        startPause(reply);
    reply->deleteLater();

    if (r.kind == UpstreamReply::Kind::Failed && !p->retried && !paused()) {
        // One more try a little later, on the other host when there is one.
        p->retried = true;
        if (!p->pathAndQuery.isEmpty() && !config_.fallbackHost.isEmpty())
            p->url = QUrl(config_.fallbackHost + p->pathAndQuery, QUrl::TolerantMode);
        QTimer::singleShot(config_.retryDelayMs, this, [this, p] {
            if (pending_.value(p->key) != p)
                return;
            if (paused()) {
                deliver(p, {UpstreamReply::Kind::Throttled, 429, {}, QStringLiteral("paused after Too Many Requests")});
                return;
            }
            queue_.push_back(p);
            pump();
        });
        pump();
        return;
    }
    if (r.kind == UpstreamReply::Kind::Answer) {
        nextPauseMs_ = config_.pauseMs;
        if (p->json && cacheable(r.status))
            remember(p->key, r);
    }
    deliver(p, r);
    pump();
}

void Upstream::deliver(const std::shared_ptr<Pending>& p, const UpstreamReply& r)
{
    pending_.remove(p->key);
    std::vector<Callback> waiters = std::move(p->waiters);
    for (Callback& w : waiters)
        w(r);
}

void Upstream::startPause(QNetworkReply* reply)
{
    bool ok = false;
    const int retryAfterSec = reply->rawHeader("Retry-After").trimmed().toInt(&ok);
    int pause = nextPauseMs_;
    if (ok && retryAfterSec > 0)
        pause = std::max<qint64>(pause, std::min<qint64>(qint64(retryAfterSec) * 1000, config_.maxPauseMs));
    pausedUntil_ = now() + pause;
    nextPauseMs_ = std::min(nextPauseMs_ * 2, config_.maxPauseMs);
    // What waits in the queue would only meet the same answer.
    std::deque<std::shared_ptr<Pending>> waiting;
    waiting.swap(queue_);
    for (const auto& p : waiting)
        deliver(p, {UpstreamReply::Kind::Throttled, 429, {}, QStringLiteral("paused after Too Many Requests")});
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
