#include "quotes/loader.h"

#include "quotes/csvfields.h"
#include "quotes/fetch.h"
#include "quotes/gap.h"
#include "quotes/quoteclient.h"
#include "support/log.h"
#include "support/state.h"

loader::loader(QuoteClient& client, QObject* parent) : QObject(parent), gap(&client.currentGap()), client_(client)
{
    startTimer_.setSingleShot(true);
    startTimer_.setInterval(1);
    connect(&startTimer_, &QTimer::timeout, this, &loader::timerFired);
}

loader::~loader() = default;

void loader::go()
{
    busy_ = true;
    startTimer_.start();
}

void loader::timerFired()
{
    if (directUse)
        return;
    signalReady_ = true;
    begin();
}

QVector<QString> loader::tickers() const
{
    QVector<QString> out;
    out.reserve(quotes_.size());
    for (const CurrentQuote& q : quotes_.quotes)
        out.append(q.ticker);
    return out;
}

qint32 loader::cvdatum(const QString& text) { return csv::cvdatum(text.toLatin1(), csv::latestQuoteYear()); }

void loader::startnu()
{
    busy_ = true;
    signalReady_ = true;
    begin();
}

void loader::begin()
{
    // Results of an earlier download never survive into this one: a caller
    // that reuses the component must not read the previous symbol's quote.
    quotes_.clear();
    downloadOk_ = false;
    url_ = currentQuotesUrl(tickers_, region);
    fetches_ = 0;
    nextFetch();
}

// A fetch that timed out is made again, up to `teller3` fetches, each with
// its own attempts.
void loader::nextFetch()
{
    ++fetches_;
    WriteLog(QStringLiteral("get : ") + url_);
    FetchRequest request;
    request.url = url_;
    request.policy = FetchPolicy::forVariant(FetchVariant::Loader, directUse ? nullptr : gap);
    request.beforeAttempt = [url = url_](int) {
        WriteLog(QStringLiteral("Downloading: ") + url);
        WriteLog(url);
    };
    fetch_ = std::make_unique<AsyncFetch>(client_, request, this);
    connect(fetch_.get(), &AsyncFetch::finished, this, &loader::fetchFinished);
    fetch_->start();
}

void loader::fetchFinished()
{
    // The fetch is inside its own signal: it is kept until the next answer
    // (or the end of the loader), and the one before it goes now.
    done_ = std::move(fetch_);
    const FetchResult& r = done_->result();
    if (r.timedOut)
        timeoutFlag_ = true;
    if (!r.body.isEmpty())
        timeoutFlag_ = false;
    if (timeoutFlag_ && !r.aborted && fetches_ < std::max(settings().teller3, 1)) {
        nextFetch();
        return;
    }
    problem_ = r.problemText;
    unreachable_ = r.problem == FetchProblem::Unreachable;
    host_ = r.host;
    decode(r.body);
    downloaded();
}

void loader::decode(const QByteArray& body)
{
    if (timeoutFlag_)
        timeout_ = true;
    if (body.isEmpty() || timeoutFlag_) {
        downloadOk_ = false;
        return;
    }
    quotes_ = decodeCurrentQuotes(body, settings().reject, csv::latestQuoteYear(), &tickers_);
    for (const QString& t : std::as_const(quotes_.unasked))
        WriteLog(QStringLiteral("Ignored, not asked for: ") + t);
    for (const QString& t : std::as_const(quotes_.missing))
        WriteLog(QStringLiteral("No answer for ") + t);
    // An answer with line breaks but not one line of the quote layout (an
    // error text, garbage) is no answer: its batch failed, it was not empty.
    for (const QString& t : std::as_const(quotes_.incomplete))
        WriteLog(QStringLiteral("Not all values for ") + t);
    const bool anyQuoteLine = !quotes_.quotes.isEmpty() || !quotes_.notfound.isEmpty() ||
                              !quotes_.SymbolsVerworpen.isEmpty() || !quotes_.incomplete.isEmpty();
    if (!anyQuoteLine)
        quotes_.clear();
    downloadOk_ = quotes_.decoded && anyQuoteLine;
    if (!downloadOk_ && problem_.isEmpty())
        problem_ = QStringLiteral("the quote service answered with something unusable (%1: not one line of quotes)")
                       .arg(host_);
    if (quotes_.decoded)
        foundall_ = quotes_.foundall;
}

void loader::downloaded()
{
    if (signalReady_) {
        signalReady_ = false;
        busy_ = false;
        emit ready();
    }
}
