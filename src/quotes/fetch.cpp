#include "quotes/fetch.h"

#include "quotes/gap.h"
#include "quotes/quoteclient.h"
#include "quotes/transfer.h"
#include "support/log.h"
#include "support/state.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <algorithm>

QString fetcherr::describe(int code)
{
    switch (code) {
    case 0:
        return QStringLiteral("no error");
    case TimedOut:
        return QStringLiteral("Request timed out");
    case Cancelled:
        return QStringLiteral("Request cancelled");
    case BodyTooLarge:
        return QStringLiteral("Response too large");
    case InvalidUrl:
        return QStringLiteral("Invalid URL");
    default:
        return QStringLiteral("Transport error %1").arg(code - Transport);
    }
}

QString fetcherr::reason(int code, const QString& detail)
{
    switch (code) {
    case TimedOut:
        return QStringLiteral("timed out");
    case Cancelled:
        return QStringLiteral("cancelled");
    case BodyTooLarge:
        return QStringLiteral("answer too large");
    case InvalidUrl:
        return QStringLiteral("invalid address");
    default:
        break;
    }
    switch (static_cast<QNetworkReply::NetworkError>(code - Transport)) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("connection closed without an answer");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("name not found");
    case QNetworkReply::TimeoutError:
        return QStringLiteral("timed out");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("secure connection failed");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return QStringLiteral("no network");
    case QNetworkReply::ProxyConnectionRefusedError:
        return QStringLiteral("proxy refused the connection");
    case QNetworkReply::ProxyNotFoundError:
        return QStringLiteral("proxy name not found");
    case QNetworkReply::ProxyTimeoutError:
        return QStringLiteral("proxy timed out");
    default:
        break;
    }
    // Qt reports an unreachable network or host as an unknown error; its
    // text names which.
    if (detail.contains(QLatin1String("unreachable"), Qt::CaseInsensitive))
        return QStringLiteral("no route to the host (%1)").arg(detail.toLower());
    return detail.isEmpty() ? describe(code) : detail;
}

FetchPolicy FetchPolicy::forVariant(FetchVariant variant, GapTimer* gap)
{
    const ProgramSettings& s = settings();
    const int teller2 = std::max(s.teller2, 0);
    const int teller3 = std::max(s.teller3, 1);
    FetchPolicy p;
    switch (variant) {
    case FetchVariant::Loader:
        p.timeoutSec = teller2;
        p.attempts = teller3;
        p.gap = gap;
        p.waitForGap = gap && s.isdelay;
        // Several batches are in flight together; the gap only spaces their
        // starts.
        p.gapSpacesStarts = true;
        p.logErrors = true;
        // Stop takes effect on a request in flight too, not only in the gap
        // wait: otherwise a hanging server keeps the run busy for minutes.
        p.abortInFlight = true;
        break;
    case FetchVariant::Historical:
        p.timeoutSec = teller2;
        p.capMs = 20000;
        p.attempts = teller3;
        p.stopWhenLongerThan = 40;
        p.gap = gap;
        p.waitForGap = gap && s.isdelay;
        // Several symbols are in flight together; the gap spaces the starts
        // of their requests.
        p.gapSpacesStarts = true;
        p.abortBeforeGet = p.abortInFlight = true;
        p.historical = true;
        break;
    case FetchVariant::Lookup:
        break;
    case FetchVariant::Investigation:
        p.timeoutSec = teller2;
        p.timeoutFromSecondAttempt = true;
        p.attempts = teller3;
        p.htmlBecomesEmpty = false;
        p.abortInFlight = p.abortAfterGet = true;
        break;
    case FetchVariant::Search:
        p.htmlBecomesEmpty = false;
        p.abortInFlight = true;
        break;
    }
    return p;
}

namespace {
// How often a fetch waiting for the gap looks again (and at its cancel token).
constexpr int kGapPollMs = 10;

// The built-in gateway's page when it cannot use the live source names why:
// the user learns that, not that a page came. Empty for any other page.
QString gatewaySourceProblem(const QByteArray& page)
{
    static constexpr char kSourceUnavailable[] = "Quote source unavailable: ";
    const qsizetype at = page.indexOf(kSourceUnavailable);
    if (at < 0)
        return {};
    const qsizetype from = at + qsizetype(sizeof kSourceUnavailable) - 1;
    const qsizetype end = page.indexOf('<', from);
    QByteArray why = page.mid(from, end < 0 ? -1 : end - from).trimmed();
    why.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
    return QString::fromUtf8(why);
}
}  // namespace

AsyncFetch::AsyncFetch(QuoteClient& client, FetchRequest request, QObject* parent)
    : QObject(parent), client_(&client), request_(std::move(request))
{
    gapWait_.setSingleShot(true);
    connect(&gapWait_, &QTimer::timeout, this, &AsyncFetch::waitForGap);
    connect(&client, &QuoteClient::closing, this, &AsyncFetch::clientClosing);
}

AsyncFetch::~AsyncFetch() = default;

bool AsyncFetch::cancelled() const { return client_ && client_->cancelled(); }

void AsyncFetch::start()
{
    if (running_)
        return;
    running_ = true;
    result_ = FetchResult();
    url_ = wireUrl(request_.url);
    const FetchPolicy& p = request_.policy;
    if (p.gap && p.waitForGap)
        waitForGap();
    else
        sendAttempt();
}

// Only the loader and the historical variant wait for a gap; both give up
// the wait when the user stops the run, and send nothing then.
void AsyncFetch::waitForGap()
{
    if (cancelled()) {
        finish(true);
        return;
    }
    if (request_.policy.gap->running()) {
        gapWait_.start(kGapPollMs);
        return;
    }
    sendAttempt();
}

void AsyncFetch::sendAttempt()
{
    const FetchPolicy& p = request_.policy;
    const int n = result_.attempts + 1;
    if (!client_ || (p.abortBeforeGet && cancelled())) {
        finish(true);
        return;
    }
    if (request_.beforeAttempt)
        request_.beforeAttempt(n);

    AttemptSettings a;
    if (!p.timeoutFromSecondAttempt || n > 1)
        a.timeoutMs = p.timeoutSec * 1000;
    a.capMs = p.capMs;
    if (p.abortInFlight)
        a.cancel = client_->cancelToken();
    // The gap is claimed in the same step as the GET goes out: no other
    // fetch can slip in between.
    if (p.gap && p.gapSpacesStarts) {
        p.gap->start();
    } else if (p.gap) {
        p.gap->requestStarted();
        a.gap = p.gap;
    }
    result_.attempts = n;
    // A child as well: an attempt whose deferred deletion never comes goes
    // with its fetch.
    attempt_ = std::make_unique<HttpAttempt>(client_->network(), url_, a, this);
    connect(attempt_.get(), &HttpAttempt::done, this, &AsyncFetch::attemptDone);
    attempt_->start();
}

void AsyncFetch::attemptDone()
{
    const FetchPolicy& p = request_.policy;
    // The attempt is inside its own signal: it goes once control is back in
    // the event loop.
    HttpAttempt* attempt = attempt_.release();
    attempt->deleteLater();
    AttemptOutcome outcome = attempt->outcome();
    const int n = result_.attempts;
    result_.errorCode = outcome.errorCode;
    result_.timedOut = result_.timedOut || outcome.timedOut;
    result_.body = std::move(outcome.body);
    errorText_ = outcome.errorText;
    responseInfo_ = outcome.responseInfo;

    if (p.historical) {
        // The service under load answered with the previous symbol's data.
        if (!result_.body.isEmpty() && client_ && result_.body == client_->lastHistoricalBody())
            result_.body.clear();
        WriteLog(QStringLiteral("timeout: ") + QString::number(settings().teller2));
        WriteLog(outcome.responseInfo);
        WriteLog(QString::fromLatin1(result_.body));
    }
    if (outcome.aborted || (p.abortAfterGet && cancelled())) {
        finish(true);
        return;
    }
    bool again = n < std::max(p.attempts, 1);
    if (result_.errorCode != 0) {
        if (p.historical)
            WriteLog(QStringLiteral("timeout!"));
        else if (p.logErrors && !outcome.timedOut)
            WriteLog(QStringLiteral("error ") + fetcherr::describe(result_.errorCode));
    } else {
        if (p.historical)
            WriteLog(QStringLiteral("Teller :") + QString::number(n));
        if (result_.body.size() > p.stopWhenLongerThan)
            again = false;
        // The service's own short answer for a range without prices is an
        // answer: asking again brings the same.
        if (p.historical && result_.body.contains("No Prices"))
            again = false;
    }
    if (again)
        sendAttempt();  // at once, without a pause
    else
        finish(false);
}

void AsyncFetch::finish(bool aborted)
{
    const FetchPolicy& p = request_.policy;
    gapWait_.stop();
    result_.aborted = aborted;
    if (aborted || result_.errorCode != 0)
        result_.body.clear();
    const bool page = p.htmlBecomesEmpty && result_.body.startsWith('<');
    const QString sourceProblem = page ? gatewaySourceProblem(result_.body) : QString();
    if (page)
        result_.body.clear();
    describeProblem(page, sourceProblem);
    if (client_) {
        client_->record().note(result_);
        if (p.historical && result_.body.size() > 40)
            client_->lastHistoricalBody() = result_.body;
    }
    running_ = false;
    emit finished();
}

void AsyncFetch::describeProblem(bool page, const QString& sourceProblem)
{
    result_.problem = FetchProblem::None;
    result_.problemText.clear();
    QString host = url_.host();
    if (url_.port() > 0)
        host += QLatin1Char(':') + QString::number(url_.port());
    result_.host = host;
    if (result_.aborted || !result_.body.isEmpty())
        return;
    if (result_.errorCode == fetcherr::Cancelled)
        return;
    if (result_.errorCode != 0) {
        result_.problem = FetchProblem::Unreachable;
        const QString why = result_.errorCode == fetcherr::TimedOut && request_.policy.timeoutSec > 0
                                ? QStringLiteral("no answer within %1 s").arg(request_.policy.timeoutSec)
                                : fetcherr::reason(result_.errorCode, errorText_);
        result_.problemText = QStringLiteral("the quote service could not be reached (%1: %2)").arg(host, why);
        return;
    }
    if (!sourceProblem.isEmpty()) {
        // The network's own failures (no name, no route, refused, timed out)
        // mean the source could not be reached; anything else it answered.
        static const QRegularExpression network(
            QStringLiteral("not found|refused|timed out|timeout|unreachable|network|no route|closed"),
            QRegularExpression::CaseInsensitiveOption);
        const bool reached = !network.match(sourceProblem).hasMatch();
        result_.problem = reached ? FetchProblem::Unusable : FetchProblem::Unreachable;
        result_.problemText = (reached ? QStringLiteral("the quote service answered with something unusable (%1)")
                                       : QStringLiteral("the quote service could not be reached (%1)"))
                                  .arg(QStringLiteral("the live source: ") + sourceProblem.left(300));
        return;
    }
    QString what = page ? QStringLiteral("an HTML page") : QStringLiteral("an empty answer");
    if (!responseInfo_.isEmpty() && !responseInfo_.startsWith(QLatin1String("HTTP 200")))
        what += QStringLiteral(", ") + responseInfo_.trimmed();
    result_.problem = FetchProblem::Unusable;
    result_.problemText = QStringLiteral("the quote service answered with something unusable (%1: %2)").arg(host, what);
}

// The attempt in flight goes with its client's connections: the fetch ends
// as one the user stopped, from the event loop like every other end.
void AsyncFetch::clientClosing()
{
    if (!running_)
        return;
    attempt_.reset();
    gapWait_.stop();
    client_ = nullptr;
    QTimer::singleShot(0, this, [this] {
        if (running_)
            finish(true);
    });
}
