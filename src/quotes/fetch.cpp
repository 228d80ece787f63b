#include "quotes/fetch.h"

#include "quotes/gap.h"
#include "quotes/transfer.h"
#include "support/log.h"
#include "support/state.h"
#include "support/yield.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <algorithm>

QString fetcherr::describe(int code)
{
    switch (code) {
    case 0: return QStringLiteral("no error");
    case TimedOut: return QStringLiteral("Request timed out");
    case Cancelled: return QStringLiteral("Request cancelled");
    case BodyTooLarge: return QStringLiteral("Response too large");
    case InvalidUrl: return QStringLiteral("Invalid URL");
    default: return QStringLiteral("Transport error %1").arg(code - Transport);
    }
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

// Only the loader and the historical variant use a gap; both give up their
// wait when the user stops the run. The wait ends with the one yield that
// precedes a GET; since another fetch may have taken the gap during that
// yield, the gap is looked at again after it. The caller then claims the gap
// before it yields again.
bool waitForGap(GapTimer& gap)
{
    for (;;) {
        if (!waitUntil([&gap] { return !gap.running(); }))
            return false;
        yieldToGui();
        if (!gap.running())
            return true;
    }
}

}  // namespace

FetchResult fetchurl(const FetchRequest& request)
{
    const FetchPolicy& p = request.policy;
    FetchResult result;
    if (p.gap && p.waitForGap && !waitForGap(*p.gap)) {
        result.aborted = true;
        return result;
    }

    QNetworkAccessManager manager;
    const QUrl url = wireUrl(request.url);
    configureProxy(manager, url);
    QByteArray& lastGood = state().lastHistoricalBody;

    const bool yielded = p.gap && p.waitForGap;
    const int attempts = std::max(p.attempts, 1);
    for (int n = 1; n <= attempts; ++n) {
        if (n > 1 || !yielded)
            yieldToGui();
        if (p.abortBeforeGet && state().abortFlag) {
            result.aborted = true;
            result.body.clear();
            return result;
        }
        if (request.beforeAttempt)
            request.beforeAttempt(n);

        AttemptSettings a;
        if (!p.timeoutFromSecondAttempt || n > 1)
            a.timeoutMs = p.timeoutSec * 1000;
        a.capMs = p.capMs;
        a.abortable = p.abortInFlight;
        a.gap = p.gap;
        // No yield between the claim and the GET: a fetch that started in a
        // nested event loop would otherwise wait for a request not yet sent.
        if (p.gap)
            p.gap->requestStarted();
        AttemptOutcome outcome = runAttempt(manager, url, a);
        result.attempts = n;
        result.errorCode = outcome.errorCode;
        result.timedOut = result.timedOut || outcome.timedOut;
        result.body = std::move(outcome.body);

        if (p.historical) {
            // The service under load answered with the previous symbol's data.
            if (!result.body.isEmpty() && result.body == lastGood)
                result.body.clear();
            WriteLog(QStringLiteral("timeout: ") + QString::number(settings().teller2));
            WriteLog(outcome.responseInfo);
            WriteLog(QString::fromLatin1(result.body));
        }
        if (outcome.aborted || (p.abortAfterGet && state().abortFlag)) {
            result.aborted = true;
            result.body.clear();
            return result;
        }
        if (result.errorCode != 0)
            continue;
        if (p.historical)
            WriteLog(QStringLiteral("Teller :") + QString::number(n));
        if (result.body.size() > p.stopWhenLongerThan)
            break;
    }

    if (result.errorCode != 0)
        result.body.clear();
    if (p.htmlBecomesEmpty && result.body.startsWith('<'))
        result.body.clear();
    if (p.historical && result.body.size() > 40)
        lastGood = result.body;
    return result;
}

QByteArray OpenUrl(const QString& url)
{
    QNetworkAccessManager manager;
    const QUrl wire = wireUrl(url);
    configureProxy(manager, wire);
    AttemptSettings a;
    AttemptOutcome outcome = runAttempt(manager, wire, a);
    return outcome.body;
}
