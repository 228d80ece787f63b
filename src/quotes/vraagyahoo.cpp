#include "quotes/vraagyahoo.h"

#include "quotes/csvfields.h"
#include "quotes/currentquotes.h"
#include "quotes/fetch.h"
#include "quotes/lookup.h"

QString vraagyahoo::url() const
{
    QString u = quoteHostFor(QString());
    if (getcomponents.isEmpty()) {
        u += QStringLiteral("/d/quotes.csv?s=");
        for (const QString& t : tickers) {
            if (!t.isEmpty())
                u += queryText(t) + QLatin1Char('+');
        }
    } else {
        u += QStringLiteral("/d/quotes?s=@") + queryText(getcomponents);
    }
    u += QStringLiteral("&h=") + QString::number(vanafwaarzoeken) + QStringLiteral("&f=s");
    if (getquotes)
        u += QStringLiteral("d1ohgl1v");
    if (getname)
        u += QLatin1Char('n');
    if (getmarket)
        u += QLatin1Char('x');
    return u + QStringLiteral("&e=.csv");
}

void vraagyahoo::go()
{
    Busy = true;
    FetchRequest request;
    request.url = url();
    request.policy = FetchPolicy::forVariant(FetchVariant::Lookup);
    // A page is no answer: it is looked at here, then dropped as the
    // variant drops it.
    request.policy.htmlBecomesEmpty = false;
    FetchResult result = fetchurl(request);
    if (csv::splitLines(result.body).size() > 51) {
        request.url.remove(QLatin1Char(','));
        result = fetchurl(request);
    }
    const bool page = result.body.startsWith('<');
    if (page)
        result.body.clear();
    answered = result.errorCode == 0 && !result.aborted && !page;
    problem = result.problemText;
    const QByteArray& body = result.body;
    LookupResult r = decodeLookup(body, getname, getmarket, !getcomponents.isEmpty());
    yahooticker = std::move(r.yahooticker);
    yahooname = std::move(r.yahooname);
    yahoomarket = std::move(r.yahoomarket);
    Busy = false;
}
