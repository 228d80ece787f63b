#include "gateway/historyanswers.h"

#include "gateway/legacypages.h"
#include "gateway/legacytext.h"
#include "gateway/quotesource.h"
#include "gateway/upstream.h"

#include <QDateTime>
#include <map>

using livejson::Bar;
using livejson::present;

namespace {

constexpr int kDayMs = 24 * 60 * 60 * 1000;

qint64 utcMidnight(const QDate& d) { return QDateTime(d, QTime(0, 0), Qt::UTC).toSecsSinceEpoch(); }

}  // namespace

QByteArray historyCsv(const livejson::Chart& chart, const QDate& start, const QDate& end)
{
    std::map<QDate, Bar> byDate;
    const QTimeZone zone = chart.meta.exchange.zone();
    for (const Bar& b : chart.bars) {
        if (!present(b.close))
            continue;
        const QDate day = QDateTime::fromSecsSinceEpoch(b.time, zone).date();
        if (day < start || day > end)
            continue;
        byDate[day] = b;  // bars come in time order: the later one stays
    }
    if (byDate.empty())
        return {};
    const int d = chart.meta.priceHint;
    // The program puts the close in place of a zero open, high or low.
    const auto orZero = [d](double v) { return present(v) ? legacytext::exactPrice(v, d) : QByteArray("0"); };
    QByteArray body = "Date,Open,High,Low,Close,Volume,Adj Close\n";
    for (auto it = byDate.crbegin(); it != byDate.crend(); ++it) {
        const Bar& b = it->second;
        body += legacytext::historyDate(it->first) + ',' + orZero(b.open) + ',' + orZero(b.high) + ',' + orZero(b.low) +
                ',' + legacytext::exactPrice(b.close, d) + ',' + legacytext::volume(b.volume) + ',' +
                legacytext::exactPrice(present(b.adjclose) ? b.adjclose : b.close, d) + '\n';
    }
    for (const livejson::Split& s : chart.splits) {
        const QDate day = QDateTime::fromSecsSinceEpoch(s.time, zone).date();
        if (day >= start && day <= end)
            body += "Split," + legacytext::historyDate(day) + ',' + QByteArray::number(s.numerator, 'g', 10) + ':' +
                    QByteArray::number(s.denominator, 'g', 10) + '\n';
    }
    return body;
}

HistoryAnswers::HistoryAnswers(Upstream& upstream, int quoteCacheMs) : upstream_(upstream), quoteCacheMs_(quoteCacheMs)
{
}

void HistoryAnswers::table(const LegacyRequest& request, HttpServer::Respond respond)
{
    // The program sends the whole URL in lower case.
    const QString symbol = request.symbols("s").value(0).toUpper();
    const QDate start(request.integer("c", 0), request.integer("a", -1) + 1, request.integer("b", 0));
    const QDate end(request.integer("f", 0), request.integer("d", -1) + 1, request.integer("e", 0));
    if (symbol.isEmpty() || !start.isValid() || !end.isValid() || end < start) {
        respond(legacypages::noPrices());
        return;
    }
    // A day either side in UTC covers every exchange's local dates; the
    // provider's bars are cut to the range afterwards.
    const QString query = QStringLiteral("period1=%1&period2=%2&interval=1d&events=div%7Csplit")
                              .arg(utcMidnight(start.addDays(-1)))
                              .arg(utcMidnight(end.addDays(2)));
    // Closed days change rarely (a late correction, a new split); the last
    // few days are still moving.
    const bool recent = end >= QDate::currentDate().addDays(-3);
    upstream_.getJson(
        QuoteSource::chartPath(symbol, query), recent ? quoteCacheMs_ : kDayMs,
        [symbol, start, end, respond](const UpstreamReply& r) {
            if (!r.ok()) {
                respond(legacypages::failure(r.detail));
                return;
            }
            if (r.status == 404) {
                respond(legacypages::unknownSymbol(symbol));
                return;
            }
            if (r.status == 400) {  // the range lies before the listing
                respond(legacypages::noPrices());
                return;
            }
            const auto chart = r.status == 200 ? livejson::parseChart(r.body) : std::nullopt;
            if (!chart) {
                respond(legacypages::failure(QStringLiteral("HTTP %1 without a chart").arg(r.status)));
                return;
            }
            const QByteArray body = historyCsv(*chart, start, end);
            respond(body.isEmpty() ? legacypages::noPrices() : LegacyReply{200, body, "text/csv"});
        },
        request.client->cancelled());
}
