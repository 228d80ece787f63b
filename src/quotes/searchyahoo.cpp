#include "quotes/searchyahoo.h"

#include "quotes/currentquotes.h"
#include "quotes/fetch.h"
#include "quotes/quoteclient.h"
#include "quotes/vraagyahoo.h"
#include "support/messages.h"

#include <QTimer>
#include <QUrl>

namespace {

// The digits of `text`, or -1 when it is not a plain decimal number.
int number(QByteArrayView text)
{
    bool ok = false;
    const int n = text.trimmed().toByteArray().toInt(&ok);
    return ok ? n : -1;
}

}  // namespace

SearchyahooClass::SearchyahooClass(QuoteClient& client, QObject* parent) : QObject(parent), client_(client) {}

SearchyahooClass::~SearchyahooClass() = default;

QString queryValue(const QString& text) { return QString::fromLatin1(text.toUtf8().toPercentEncoding()); }

QString SearchyahooClass::lookupUrl() const
{
    QString url = quoteHostFor(QString());
    url += US ? QStringLiteral("/l?m=US&s=") : QStringLiteral("/l?m=&s=");
    url += queryValue(Searchstring);
    const QChar kind = GeefZoekNaar.isEmpty() ? QChar() : GeefZoekNaar.at(0);
    if (kind == QLatin1Char('M'))
        url += QStringLiteral("&t=M");
    else if (kind == QLatin1Char('I'))
        url += QStringLiteral("&t=I");
    return url + QStringLiteral("&b=") + QString::number(std::max(firstticker, 1) - 1);
}

QStringList SearchyahooClass::scrape(QByteArrayView page)
{
    NoMatch = false;
    Tickerfrom = Tickerto = results = 0;
    const qsizetype noMatches = page.indexOf("returned no matches");
    const qsizetype yourSearch = page.indexOf("Your search for");
    if (noMatches > 0 && yourSearch > 0) {
        NoMatch = true;
        return {};
    }

    const QByteArrayView showing(">Showing ");
    qsizetype at = page.indexOf(showing);
    if (at < 0) {
        NoMatch = true;
        return {};
    }
    at += showing.size();
    qsizetype blank = page.indexOf(' ', at);
    const int a = blank < 0 ? -1 : number(page.sliced(at, blank - at));
    if (a < 0) {
        NoMatch = true;
        return {};
    }
    at = blank + 3;  // " - "
    blank = at < page.size() ? page.indexOf(' ', at) : -1;
    const int b = blank < 0 ? -1 : number(page.sliced(at, blank - at));
    if (b < 0) {
        NoMatch = true;
        return {};
    }
    at = blank + 4;  // " of "
    const qsizetype lt = at < page.size() ? page.indexOf('<', at) : -1;
    const int c = lt < 0 ? -1 : number(page.sliced(at, lt - at));
    Tickerfrom = a;
    Tickerto = b;
    if (c >= 0)
        results = c;

    // The last link of the page lists every symbol on it.
    const QByteArrayView marker("><a href=\"/q?s=");
    qsizetype link = page.lastIndexOf(marker);
    if (link >= 0) {
        link += marker.size();
    } else {
        link = page.lastIndexOf(QByteArrayView("/q?s="));
        if (link < 0)
            return {};
        link += 5;
    }
    QByteArrayView rest = page.sliced(link);
    qsizetype end = rest.indexOf("&f=s");
    if (end < 0)
        end = rest.indexOf('"');
    if (end >= 0)
        rest = rest.first(end);
    QStringList tickers;
    for (const QByteArray& piece : rest.toByteArray().split('+'))
        tickers << QString::fromLatin1(piece);
    return tickers;
}

namespace {
// A caller may search again from inside `done`, while the object that
// answered last is still inside its own signal: it goes later, and a search
// still in flight tells nobody of its end.
template <typename T>
void retire(std::unique_ptr<T>& object)
{
    if (!object)
        return;
    object->disconnect();
    object.release()->deleteLater();
}
}  // namespace

void SearchyahooClass::askNames(const QStringList& tickers, const QString& components)
{
    retire(names_);
    names_ = std::make_unique<vraagyahoo>(client_);
    vraagyahoo& v = *names_;
    v.tickers = tickers;
    v.getcomponents = components;
    v.vanafwaarzoeken = vanafwaarzoeken;
    v.getname = v.getmarket = true;
    connect(&v, &vraagyahoo::done, this, &SearchyahooClass::namesAnswered);
    v.go();
}

void SearchyahooClass::namesAnswered()
{
    vraagyahoo& v = *names_;
    answered = v.answered;
    problem = v.problem;
    yahooticker = std::move(v.yahooticker);
    yahooname = std::move(v.yahooname);
    yahoomarket = std::move(v.yahoomarket);
    if (searchedByName_)
        yahootype = QVector<QString>(yahooticker.size(), GeefZoekNaar);
    NoMatch = yahooticker.isEmpty();
    finish();
}

void SearchyahooClass::finish()
{
    busy_.reset();
    emit done();
}

void SearchyahooClass::go()
{
    yahooticker.clear();
    yahooname.clear();
    yahoomarket.clear();
    yahootype.clear();
    Next50 = Previous50 = false;
    Tickerfrom = Tickerto = results = 0;
    NoMatch = false;
    answered = true;
    problem.clear();
    searchedByName_ = false;
    retire(page_);
    retire(names_);
    busy_.reset();
    if (Searchstring.isEmpty() && getcomponents.isEmpty()) {
        QTimer::singleShot(0, this, &SearchyahooClass::finish);
        return;
    }
    busy_ = std::make_unique<BusyPointer>();

    if (!getcomponents.isEmpty() || alleensymbol) {
        if (!getcomponents.isEmpty())
            askNames({}, getcomponents);
        else
            askNames({Searchstring}, QString());
        return;
    }

    FetchRequest request;
    request.url = lookupUrl();
    request.policy = FetchPolicy::forVariant(FetchVariant::Search);
    page_ = std::make_unique<AsyncFetch>(client_, request);
    connect(page_.get(), &AsyncFetch::finished, this, &SearchyahooClass::pageFetched);
    page_->start();
}

void SearchyahooClass::pageFetched()
{
    const FetchResult& page = page_->result();
    if (page.body.isEmpty()) {
        answered = false;
        problem = page.problemText;
        NoMatch = true;
        finish();
        return;
    }
    QStringList tickers = scrape(page.body);
    tickers.removeAll(QString());
    if (NoMatch || tickers.isEmpty()) {
        // A page that is not a result page at all (an error page, another
        // site's page) is no answer to the search.
        if (!page.body.contains("returned no matches") && !page.body.contains(">Showing "))
            problem = QStringLiteral("the quote service answered with something unusable (%1: not a page of search "
                                     "results)")
                          .arg(page.host);
        NoMatch = true;
        finish();
        return;
    }
    searchedByName_ = true;
    askNames(tickers, QString());
}
