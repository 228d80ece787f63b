#include "gateway/pageanswers.h"

#include "gateway/legacypages.h"
#include "gateway/livejson.h"
#include "gateway/quotesource.h"
#include "gateway/upstream.h"
#include "gateway/userfiles.h"

#include <QDateTime>
#include <QSet>
#include <QTimeZone>
#include <QUrl>

namespace {

// Names, first dates and search results hardly change.
constexpr int kWeekMs = 7 * 24 * 60 * 60 * 1000;

// Exchanges of the United States and Canada, by the provider's codes.
bool northAmerican(const QString& code)
{
    static const QSet<QString> codes = {
        QStringLiteral("NMS"), QStringLiteral("NGM"), QStringLiteral("NCM"), QStringLiteral("NYQ"),
        QStringLiteral("ASE"), QStringLiteral("PCX"), QStringLiteral("BTS"), QStringLiteral("PNK"),
        QStringLiteral("NAS"), QStringLiteral("OQB"), QStringLiteral("OQX"), QStringLiteral("OBB"),
        QStringLiteral("TOR"), QStringLiteral("VAN"), QStringLiteral("CNQ"), QStringLiteral("NEO")};
    return codes.contains(code.toUpper());
}

bool wantedType(const QString& type, const QString& kind)
{
    if (kind == QLatin1String("M"))
        return type == QLatin1String("MUTUALFUND");
    if (kind == QLatin1String("I"))
        return type == QLatin1String("INDEX");
    return type == QLatin1String("EQUITY") || type == QLatin1String("ETF");
}

}  // namespace

PageAnswers::PageAnswers(Upstream& upstream, QString dataFolder)
    : upstream_(upstream), dataFolder_(std::move(dataFolder))
{
}

void PageAnswers::chartPage(const LegacyRequest& request, const QString& symbol, const QString& query,
                            std::function<void(const livejson::Chart&)> onChart, HttpServer::Respond respond)
{
    upstream_.getJson(
        QuoteSource::chartPath(symbol.toUpper(), query), kWeekMs,
        [symbol, onChart = std::move(onChart), respond](const UpstreamReply& r) {
            if (r.ok() && r.status == 404) {
                respond(legacypages::invalidTicker(symbol));
                return;
            }
            const auto chart = r.ok() && r.status == 200 ? livejson::parseChart(r.body) : std::nullopt;
            if (!chart) {
                respond(legacypages::noAnswer());
                return;
            }
            onChart(*chart);
        },
        request.client->cancelled());
}

void PageAnswers::historyPrices(const LegacyRequest& request, HttpServer::Respond respond)
{
    const QString symbol = request.symbols("s").value(0).toUpper();
    if (symbol.isEmpty()) {
        respond(legacypages::invalidTicker(symbol));
        return;
    }
    chartPage(
        request, symbol, QuoteSource::kLatestDaysQuery,
        [this, request, symbol, respond](const livejson::Chart& chart) {
            if (chart.meta.firstTradeDate)
                respond(
                    legacypages::historyStart(symbol, chart.meta.exchange.local(*chart.meta.firstTradeDate).date()));
            else
                firstBar(request, symbol, respond);
        },
        respond);
}

// Without a first trade date in the meta, the first monthly bar of as far
// back as the provider serves.
void PageAnswers::firstBar(const LegacyRequest& request, const QString& symbol, HttpServer::Respond respond)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const qint64 tomorrow = QDateTime(now.date().addDays(1), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch();
    const QString query =
        QStringLiteral("interval=1mo&period1=%1&period2=%2").arg(livejson::earliestDailyStart(now)).arg(tomorrow);
    chartPage(
        request, symbol, query,
        [symbol, respond](const livejson::Chart& chart) {
            if (chart.bars.isEmpty())
                respond(legacypages::noHistory(symbol));
            else
                respond(legacypages::historyStart(symbol, chart.meta.exchange.local(chart.bars.first().time).date()));
        },
        respond);
}

void PageAnswers::quotePage(const LegacyRequest& request, HttpServer::Respond respond)
{
    const QString symbol = request.symbols("s").value(0);
    // The provider reports no ticker changes: only the user's table does,
    // also for a ticker the provider has dropped.
    const QString successor = userfiles::changes(dataFolder_).value(symbol.toUpper());
    if (!successor.isEmpty()) {
        respond(legacypages::changedTicker(symbol, successor));
        return;
    }
    if (symbol.isEmpty()) {
        respond(legacypages::invalidTicker(symbol));
        return;
    }
    chartPage(
        request, symbol, QuoteSource::kLatestDaysQuery,
        [symbol, respond](const livejson::Chart& chart) {
            const livejson::Instrument& m = chart.meta;
            respond(legacypages::plainQuote(symbol, m.shortName.isEmpty() ? m.longName : m.shortName));
        },
        respond);
}

void PageAnswers::lookup(const LegacyRequest& request, HttpServer::Respond respond)
{
    const QString text = request.text("s");
    const bool us = request.text("m").compare(QLatin1String("US"), Qt::CaseInsensitive) == 0;
    const QString kind = request.text("t").left(1).toUpper();
    const int offset = std::max(request.integer("b", 0), 0);
    if (text.size() > kMaxSearchText) {
        respond({400, "<html><body>Search text too long</body></html>", "text/html"});
        return;
    }
    if (text.isEmpty()) {
        respond(legacypages::noMatches(text));
        return;
    }
    // Pages of the lookup endpoint match the program's pages of 50, so
    // "Next 50" asks the provider's next page.
    // Stocks are shares and exchange-traded funds: the lookup's "equity"
    // leaves the funds out, so all types are asked and filtered here.
    const QString type = kind == QLatin1String("M")   ? QStringLiteral("mutualfund")
                         : kind == QLatin1String("I") ? QStringLiteral("index")
                                                      : QStringLiteral("all");
    const QString path = QStringLiteral("/v1/finance/lookup?query=") +
                         QString::fromLatin1(QUrl::toPercentEncoding(text)) +
                         QStringLiteral("&type=%1&start=%2&count=%3").arg(type).arg(offset).arg(kLookupPage);
    upstream_.getJson(
        path, kWeekMs,
        [this, request, text, us, kind, offset, respond](const UpstreamReply& r) {
            const auto page = r.ok() && r.status == 200 ? livejson::parseLookup(r.body) : std::nullopt;
            // The two endpoints match differently: what the lookup does not
            // find on its first page, the search may.
            if (!page || (offset == 0 && page->hits.isEmpty())) {
                if (offset == 0 && r.kind != UpstreamReply::Kind::Throttled)
                    searchPage(request, text, us, kind, respond);
                else
                    respond(legacypages::noAnswer());
                return;
            }
            QVector<legacypages::LookupRow> rows;
            for (const livejson::SearchHit& h : page->hits) {
                if (!wantedType(h.type, kind) || (us && !northAmerican(h.exchangeCode)))
                    continue;
                rows.append({h.symbol, h.shortName.isEmpty() ? h.longName : h.shortName,
                             h.exchangeDisplay.isEmpty() ? h.exchangeCode : h.exchangeDisplay});
            }
            const int total = std::max<int>(page->total, offset + static_cast<int>(page->hits.size()));
            respond(rows.isEmpty() ? legacypages::noMatches(text) : legacypages::lookup(text, offset + 1, rows, total));
        },
        request.client->cancelled());
}

void PageAnswers::searchPage(const LegacyRequest& request, const QString& text, bool us, const QString& kind,
                             HttpServer::Respond respond)
{
    const QString path = QStringLiteral("/v1/finance/search?q=") + QString::fromLatin1(QUrl::toPercentEncoding(text)) +
                         QStringLiteral("&quotesCount=%1&newsCount=0").arg(kLookupPage);
    upstream_.getJson(
        path, kWeekMs,
        [text, us, kind, respond](const UpstreamReply& r) {
            const auto hits = r.ok() && r.status == 200 ? livejson::parseSearch(r.body) : std::nullopt;
            if (!hits) {
                respond(legacypages::noAnswer());
                return;
            }
            QVector<legacypages::LookupRow> rows;
            for (const livejson::SearchHit& h : *hits) {
                if (!wantedType(h.type, kind) || (us && !northAmerican(h.exchangeCode)))
                    continue;
                rows.append({h.symbol, h.shortName.isEmpty() ? h.longName : h.shortName, h.exchangeDisplay});
            }
            rows = rows.mid(0, kLookupPage);
            respond(rows.isEmpty() ? legacypages::noMatches(text)
                                   : legacypages::lookup(text, 1, rows, static_cast<int>(rows.size())));
        },
        request.client->cancelled());
}
