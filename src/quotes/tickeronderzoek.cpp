#include "quotes/tickeronderzoek.h"

#include "quotes/currentquotes.h"
#include "quotes/fetch.h"
#include "quotes/pages.h"
#include "support/state.h"

namespace {

FetchRequest pageRequest(const QString& url)
{
    FetchRequest request;
    request.url = url;
    request.policy = FetchPolicy::forVariant(FetchVariant::Investigation);
    return request;
}

QByteArray fetchPage(const FetchRequest& request, bool* missing)
{
    QByteArray page = fetchurl(request).body;
    *missing = page.isEmpty();
    return page;
}

}  // namespace

FetchRequest clsTickeronderzoek::quotePageRequest(const QString& ticker)
{
    return pageRequest(quoteHostFor(QString()) + QStringLiteral("/q?s=") + queryText(ticker) + QStringLiteral("&d=v1"));
}

FetchRequest clsTickeronderzoek::historyPageRequest(const QString& ticker)
{
    return pageRequest(quoteHostFor(QString()) + QStringLiteral("/q/hp?s=") + queryText(ticker));
}

void clsTickeronderzoek::go()
{
    if (state().abortFlag)
        return;
    changed = false;
    const QByteArray page = fetchPage(quotePageRequest(ticker), &pageMissing);
    if (const auto successor = findChangedTicker(page)) {
        changed = true;
        newticker = *successor;
    }
}

bool clsTickeronderzoek::examine()
{
    const QByteArray page = fetchPage(historyPageRequest(ticker), &pageMissing);
    const auto start = findHistoryStart(page);
    if (!start)
        return false;
    startDatumDay = static_cast<qint16>(start->day);
    startDatumMonth = static_cast<qint16>(start->month);
    startDatumYear = static_cast<qint16>(start->year);
    return true;
}
