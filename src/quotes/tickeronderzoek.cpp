#include "quotes/tickeronderzoek.h"

#include "quotes/currentquotes.h"
#include "quotes/fetch.h"
#include "quotes/pages.h"
#include "support/state.h"

#include <QTimer>

namespace {

FetchRequest pageRequest(const QString& url)
{
    FetchRequest request;
    request.url = url;
    request.policy = FetchPolicy::forVariant(FetchVariant::Investigation);
    return request;
}

QByteArray fetchPage(const QString& url, bool* missing)
{
    QByteArray page = fetchurl(pageRequest(url)).body;
    *missing = page.isEmpty();
    return page;
}

QString quotePageUrl(const QString& ticker)
{
    return quoteHostFor(QString()) + QStringLiteral("/q?s=") + queryText(ticker) + QStringLiteral("&d=v1");
}

QString historyPageUrl(const QString& ticker)
{
    return quoteHostFor(QString()) + QStringLiteral("/q/hp?s=") + queryText(ticker);
}

}  // namespace

void clsTickeronderzoek::go()
{
    if (state().abortFlag)
        return;
    changed = false;
    const QByteArray page = fetchPage(quotePageUrl(ticker), &pageMissing);
    if (const auto successor = findChangedTicker(page)) {
        changed = true;
        newticker = *successor;
    }
}

bool clsTickeronderzoek::examine()
{
    const QByteArray page = fetchPage(historyPageUrl(ticker), &pageMissing);
    const auto start = findHistoryStart(page);
    if (!start)
        return false;
    startDatumDay = static_cast<qint16>(start->day);
    startDatumMonth = static_cast<qint16>(start->month);
    startDatumYear = static_cast<qint16>(start->year);
    return true;
}

HistoryStartExamination::HistoryStartExamination(const QString& ticker, QObject* parent)
    : QObject(parent), ticker_(ticker)
{
}

HistoryStartExamination::~HistoryStartExamination() = default;

void HistoryStartExamination::start()
{
    first_ = QDate();
    found_ = answered_ = false;
    fetch_ = std::make_unique<AsyncFetch>(pageRequest(historyPageUrl(ticker_)));
    connect(fetch_.get(), &AsyncFetch::finished, this, &HistoryStartExamination::pageArrived);
    fetch_->start();
}

void HistoryStartExamination::pageArrived()
{
    // Inside the fetch's signal: it stays until this object goes.
    const AsyncFetch* fetch = fetch_.get();
    answered_ = !fetch->result().aborted;
    if (const auto start = findHistoryStart(fetch->result().body)) {
        found_ = true;
        first_ = QDate(start->year, start->month, start->day);
    }
    emit finished();
}

SuccessorLookup::SuccessorLookup(const QString& ticker, QObject* parent) : QObject(parent), ticker_(ticker) {}

SuccessorLookup::~SuccessorLookup() = default;

void SuccessorLookup::start()
{
    newticker_.clear();
    if (state().abortFlag) {
        QTimer::singleShot(0, this, &SuccessorLookup::finished);
        return;
    }
    fetch_ = std::make_unique<AsyncFetch>(pageRequest(quotePageUrl(ticker_)));
    connect(fetch_.get(), &AsyncFetch::finished, this, &SuccessorLookup::pageArrived);
    fetch_->start();
}

void SuccessorLookup::pageArrived()
{
    // Inside the fetch's signal: it stays until this object goes.
    const AsyncFetch* fetch = fetch_.get();
    if (const auto successor = findChangedTicker(fetch->result().body))
        newticker_ = *successor;
    emit finished();
}
