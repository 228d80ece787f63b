#include "quotes/tickeronderzoek.h"

#include "quotes/currentquotes.h"
#include "quotes/fetch.h"
#include "quotes/pages.h"
#include "quotes/quoteclient.h"

#include <QTimer>

namespace {

FetchRequest pageRequest(const QString& url)
{
    FetchRequest request;
    request.url = url;
    request.policy = FetchPolicy::forVariant(FetchVariant::Investigation);
    return request;
}

}  // namespace

clsTickeronderzoek::clsTickeronderzoek(QuoteClient& client, QObject* parent) : QObject(parent), client_(client) {}

clsTickeronderzoek::~clsTickeronderzoek() = default;

FetchRequest clsTickeronderzoek::quotePageRequest(const QString& ticker)
{
    return pageRequest(quoteHostFor(QString()) + QStringLiteral("/q?s=") + queryText(ticker) + QStringLiteral("&d=v1"));
}

FetchRequest clsTickeronderzoek::historyPageRequest(const QString& ticker)
{
    return pageRequest(quoteHostFor(QString()) + QStringLiteral("/q/hp?s=") + queryText(ticker));
}

void clsTickeronderzoek::ask(const FetchRequest& request, void (clsTickeronderzoek::*answered)(const QByteArray&))
{
    // A question asked from inside the last one's answer: that fetch is
    // still inside its own signal and goes later.
    if (fetch_) {
        fetch_->disconnect(this);
        fetch_.release()->deleteLater();
    }
    fetch_ = std::make_unique<AsyncFetch>(client_, request);
    connect(fetch_.get(), &AsyncFetch::finished, this, [this, answered] {
        const QByteArray page = fetch_->result().body;
        pageMissing = page.isEmpty();
        (this->*answered)(page);
    });
    fetch_->start();
}

void clsTickeronderzoek::go()
{
    if (client_.cancelled()) {
        QTimer::singleShot(0, this, &clsTickeronderzoek::goDone);
        return;
    }
    changed = false;
    ask(quotePageRequest(ticker), &clsTickeronderzoek::quotePage);
}

void clsTickeronderzoek::quotePage(const QByteArray& page)
{
    if (const auto successor = findChangedTicker(page)) {
        changed = true;
        newticker = *successor;
    }
    emit goDone();
}

void clsTickeronderzoek::examine() { ask(historyPageRequest(ticker), &clsTickeronderzoek::historyPage); }

void clsTickeronderzoek::historyPage(const QByteArray& page)
{
    const auto start = findHistoryStart(page);
    if (start) {
        startDatumDay = static_cast<qint16>(start->day);
        startDatumMonth = static_cast<qint16>(start->month);
        startDatumYear = static_cast<qint16>(start->year);
    }
    emit examined(start.has_value());
}
