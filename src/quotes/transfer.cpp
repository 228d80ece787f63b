#include "quotes/transfer.h"

#include "quotes/fetch.h"
#include "quotes/gap.h"
#include "support/state.h"

#include <QDeadlineTimer>
#include <QEventLoop>
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
    return e == QNetworkReply::NoError
        || (e >= QNetworkReply::ContentAccessDenied && e <= QNetworkReply::UnknownContentError)
        || (e >= QNetworkReply::InternalServerError && e <= QNetworkReply::UnknownServerError);
}

// Sleeps in the event loop for at most `ms`, waking early on any event that
// quits `loop`.
void sleepSlice(QEventLoop& loop, qint64 ms)
{
    QTimer slice;
    slice.setSingleShot(true);
    QObject::connect(&slice, &QTimer::timeout, &loop, &QEventLoop::quit);
    slice.start(static_cast<int>(std::clamp<qint64>(ms, 1, 20)));
    loop.exec(QEventLoop::AllEvents);
}

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
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
        || (!address.isNull() && address.isLoopback()))
        manager.setProxy(QNetworkProxy::NoProxy);
}

AttemptOutcome runAttempt(QNetworkAccessManager& manager, const QUrl& url, const AttemptSettings& settings)
{
    AttemptOutcome outcome;
    GapTimer* gap = settings.gap;
    if (!url.isValid() || url.host().isEmpty()) {
        if (gap)
            gap->requestEnded();
        outcome.errorCode = fetcherr::InvalidUrl;
        return outcome;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);

    QPointer<QNetworkReply> reply = manager.get(request);

    QEventLoop loop;
    bool finished = false;
    bool tooLarge = false;
    bool gapEnded = false;
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        outcome.body += reply->readAll();
        if (outcome.body.size() > kMaxBodyBytes && !tooLarge) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [&] {
        if (!tooLarge && reply->isOpen())
            outcome.body += reply->readAll();
        finished = true;
        if (gap && !gapEnded) {
            gapEnded = true;
            gap->requestEnded();
        }
        loop.quit();
    });

    const int timeoutMs = settings.timeoutMs > 0 ? settings.timeoutMs : -1;
    QDeadlineTimer timeoutDeadline(timeoutMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(timeoutMs));
    QDeadlineTimer capDeadline(std::max(settings.capMs, 1));
    while (!finished) {
        if (settings.abortable && state().abortFlag) {
            outcome.aborted = true;
            break;
        }
        if (timeoutDeadline.hasExpired()) {
            outcome.timedOut = true;
            break;
        }
        if (capDeadline.hasExpired())
            break;
        const qint64 left = std::min(capDeadline.remainingTime(),
                                     timeoutDeadline.isForever() ? qint64(20) : timeoutDeadline.remainingTime());
        sleepSlice(loop, left);
    }
    if (!finished)
        reply->abort();  // emits finished, which ends the gap's request
    if (gap && !gapEnded) {
        // Never leave the gap claimed: every later request of the window
        // would wait for it forever.
        gapEnded = true;
        gap->requestEnded();
    }

    if (tooLarge) {
        outcome.errorCode = fetcherr::BodyTooLarge;
        outcome.body.clear();
    } else if (outcome.timedOut) {
        outcome.errorCode = fetcherr::TimedOut;
    } else if (outcome.aborted || !finished) {
        outcome.errorCode = fetcherr::Cancelled;
    } else if (!responseObtained(reply)) {
        outcome.errorCode = fetcherr::Transport + static_cast<int>(reply->error());
    }
    if (outcome.errorCode != 0)
        outcome.body.clear();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        outcome.responseInfo = QStringLiteral("HTTP %1 %2").arg(status.toInt()).arg(
            QString::fromLatin1(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray()));
    reply->disconnect();
    reply->deleteLater();
    return outcome;
}
