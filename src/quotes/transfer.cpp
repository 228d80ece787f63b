#include "quotes/transfer.h"

#include "quotes/fetch.h"
#include "quotes/gap.h"
#include "support/cancel.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace {

// An answer was obtained when the server sent a status line; HTTP error
// statuses still deliver their page, only transport failures do not.
bool responseObtained(QNetworkReply* reply)
{
    if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const int e = reply->error();
    return e == QNetworkReply::NoError ||
           (e >= QNetworkReply::ContentAccessDenied && e <= QNetworkReply::UnknownContentError) ||
           (e >= QNetworkReply::InternalServerError && e <= QNetworkReply::UnknownServerError);
}

// How often a request that Stop may end looks at its cancel token.
constexpr int kAbortPollMs = 20;

}  // namespace

QUrl wireUrl(const QString& url)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray wire;
    const QByteArray bytes = url.toLatin1();
    wire.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F || b == '#') {
            wire += '%';
            wire += hex[b >> 4];
            wire += hex[b & 0xF];
        } else {
            wire += c;
        }
    }
    return QUrl::fromEncoded(wire, QUrl::TolerantMode);
}

void configureProxy(QNetworkAccessManager& manager, const QUrl& url)
{
    const QString host = url.host();
    const QHostAddress address(host);
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
        (!address.isNull() && address.isLoopback()))
        manager.setProxy(QNetworkProxy::NoProxy);
}

HttpAttempt::HttpAttempt(QNetworkAccessManager& manager, const QUrl& url, const AttemptSettings& settings,
                         QObject* parent)
    : QObject(parent), manager_(manager), url_(url), settings_(settings)
{
    // A coarse timer may fire a few percent early; a time-out never may.
    for (QTimer* t : {&timeout_, &cap_}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
    }
    abortPoll_.setInterval(kAbortPollMs);
    connect(&timeout_, &QTimer::timeout, this, [this] { giveUp(true, false); });
    connect(&cap_, &QTimer::timeout, this, [this] { giveUp(false, false); });
    connect(&abortPoll_, &QTimer::timeout, this, [this] {
        if (settings_.cancel && settings_.cancel->cancelled())
            giveUp(false, true);
    });
}

HttpAttempt::~HttpAttempt()
{
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
    // Never leave the gap claimed: every later request of the window would
    // wait for it forever.
    if (!finished_ && settings_.gap)
        settings_.gap->requestEnded();
}

void HttpAttempt::start()
{
    if (!url_.isValid() || url_.host().isEmpty()) {
        // Reported from the event loop like every other outcome.
        QTimer::singleShot(0, this, [this] { complete(fetcherr::InvalidUrl); });
        return;
    }
    QNetworkRequest request(url_);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    reply_ = manager_.get(request);
    connect(reply_, &QNetworkReply::readyRead, this, [this] {
        outcome_.body += reply_->readAll();
        if (outcome_.body.size() > kMaxBodyBytes && !tooLarge_) {
            tooLarge_ = true;
            reply_->abort();
        }
    });
    connect(reply_, &QNetworkReply::finished, this, &HttpAttempt::replyFinished);
    if (settings_.timeoutMs > 0)
        timeout_.start(settings_.timeoutMs);
    cap_.start(std::max(settings_.capMs, 1));
    if (settings_.cancel)
        abortPoll_.start();
}

void HttpAttempt::giveUp(bool timedOut, bool aborted)
{
    if (finished_ || !reply_)
        return;
    outcome_.timedOut = timedOut;
    outcome_.aborted = aborted;
    gaveUp_ = true;
    reply_->abort();  // emits finished
    if (!finished_)
        replyFinished();
}

void HttpAttempt::replyFinished()
{
    if (finished_ || !reply_)
        return;
    if (!tooLarge_ && reply_->isOpen())
        outcome_.body += reply_->readAll();
    int code = 0;
    if (tooLarge_)
        code = fetcherr::BodyTooLarge;
    else if (outcome_.timedOut)
        code = fetcherr::TimedOut;
    else if (gaveUp_)
        code = fetcherr::Cancelled;
    else if (!responseObtained(reply_)) {
        code = fetcherr::Transport + static_cast<int>(reply_->error());
        outcome_.errorText = reply_->errorString();
    }
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        outcome_.responseInfo =
            QStringLiteral("HTTP %1 %2")
                .arg(status.toInt())
                .arg(QString::fromLatin1(reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray()));
    reply_->disconnect(this);
    reply_->deleteLater();
    reply_ = nullptr;
    complete(code);
}

void HttpAttempt::complete(int errorCode)
{
    if (finished_)
        return;
    timeout_.stop();
    cap_.stop();
    abortPoll_.stop();
    outcome_.errorCode = errorCode;
    if (errorCode != 0)
        outcome_.body.clear();
    finished_ = true;
    if (settings_.gap)
        settings_.gap->requestEnded();
    emit done();
}
