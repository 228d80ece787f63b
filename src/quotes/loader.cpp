#include "quotes/loader.h"

#include "quotes/csvfields.h"
#include "quotes/fetch.h"
#include "quotes/gap.h"
#include "support/log.h"
#include "support/state.h"

loader::loader(QObject* parent) : QObject(parent), gap(&currentGap())
{
    startTimer_.setSingleShot(true);
    startTimer_.setInterval(1);
    connect(&startTimer_, &QTimer::timeout, this, &loader::timerFired);
}

void loader::go()
{
    busy_ = true;
    startTimer_.start();
}

void loader::timerFired()
{
    if (directUse)
        return;
    startnu();
    busy_ = false;
    emit ready();
}

qint32 loader::cvdatum(const QString& text)
{
    return csv::cvdatum(text.toLatin1(), csv::latestQuoteYear());
}

void loader::startnu()
{
    // Results of an earlier download never survive into this one: a caller
    // that reuses the component must not read the previous symbol's quote.
    quotes_.clear();
    url_ = currentQuotesUrl(tickers_, region);

    FetchRequest request;
    request.url = url_;
    request.policy = FetchPolicy::forVariant(FetchVariant::Loader, directUse ? nullptr : gap);
    request.beforeAttempt = [this](int) {
        WriteLog(QStringLiteral("Downloading: ") + url_);
        WriteLog(url_);
    };

    const int fetches = std::max(settings().teller3, 1);
    QByteArray body;
    for (int n = 1;; ++n) {
        WriteLog(QStringLiteral("get : ") + url_);
        const FetchResult r = fetchurl(request);
        if (r.timedOut)
            timeoutFlag_ = true;
        if (!r.body.isEmpty())
            timeoutFlag_ = false;
        body = r.body;
        if (!timeoutFlag_ || r.aborted || n >= fetches)
            break;
    }
    if (timeoutFlag_)
        timeout_ = true;
    if (body.isEmpty() || timeoutFlag_) {
        downloadOk_ = false;
        return;
    }
    quotes_ = decodeCurrentQuotes(body, settings().reject, csv::latestQuoteYear());
    // An answer with line breaks but not one line of the quote layout (an
    // error text, garbage) is no answer: its batch failed, it was not empty.
    const bool anyQuoteLine =
        !quotes_.yahooticker.isEmpty() || !quotes_.notfound.isEmpty() || !quotes_.SymbolsVerworpen.isEmpty();
    if (!anyQuoteLine)
        quotes_.clear();
    downloadOk_ = quotes_.decoded && anyQuoteLine;
    if (quotes_.decoded)
        foundall_ = quotes_.foundall;
}
