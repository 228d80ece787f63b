#include "quotes/tickeronderzoek.h"

#include "quotes/currentquotes.h"
#include "quotes/fetch.h"
#include "quotes/pages.h"
#include "support/state.h"

namespace {

QByteArray fetchPage(const QString& url, bool* missing)
{
    FetchRequest request;
    request.url = url;
    request.policy = FetchPolicy::forVariant(FetchVariant::Investigation);
    QByteArray page = fetchurl(request).body;
    *missing = page.isEmpty();
    return page;
}

}  // namespace

void clsTickeronderzoek::go()
{
    if (state().abortFlag)
        return;
    changed = false;
    const QByteArray page = fetchPage(quoteHostFor(QString()) + QStringLiteral("/q?s=") + queryText(ticker)
                                          + QStringLiteral("&d=v1"),
                                      &pageMissing);
    if (const auto successor = findChangedTicker(page)) {
        changed = true;
        newticker = *successor;
    }
}

bool clsTickeronderzoek::examine()
{
    const QByteArray page = fetchPage(quoteHostFor(QString()) + QStringLiteral("/q/hp?s=") + queryText(ticker), &pageMissing);
    const auto start = findHistoryStart(page);
    if (!start)
        return false;
    startDatumDay = static_cast<qint16>(start->day);
    startDatumMonth = static_cast<qint16>(start->month);
    startDatumYear = static_cast<qint16>(start->year);
    return true;
}
