#include "quotes/vraagyahoo.h"

#include "quotes/csvfields.h"
#include "quotes/currentquotes.h"
#include "quotes/fetch.h"
#include "quotes/lookup.h"

vraagyahoo::vraagyahoo(QuoteClient& client, QObject* parent) : QObject(parent), client_(client) {}

vraagyahoo::~vraagyahoo() = default;

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
    askedAgain_ = false;
    request_ = FetchRequest();
    request_.url = url();
    request_.policy = policy ? *policy : FetchPolicy::forVariant(FetchVariant::Lookup);
    // A page is no answer: it is looked at here, then dropped as the
    // variant drops it.
    request_.policy.htmlBecomesEmpty = false;
    send();
}

void vraagyahoo::send()
{
    fetch_ = std::make_unique<AsyncFetch>(client_, request_, this);
    connect(fetch_.get(), &AsyncFetch::finished, this, &vraagyahoo::fetched);
    fetch_->start();
}

void vraagyahoo::fetched()
{
    // The fetch is inside its own signal: it is kept until the next answer.
    done_ = std::move(fetch_);
    FetchResult result = done_->result();
    if (!askedAgain_ && csv::splitLines(result.body).size() > 51) {
        askedAgain_ = true;
        request_.url.remove(QLatin1Char(','));
        send();
        return;
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
    emit done();
}
