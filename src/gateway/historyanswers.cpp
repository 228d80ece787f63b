#include "gateway/historyanswers.h"

#include "gateway/gatewaylog.h"
#include "gateway/legacypages.h"
#include "gateway/legacytext.h"
#include "gateway/quotesource.h"
#include "gateway/upstream.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <map>

using livejson::Bar;
using livejson::present;

namespace {

constexpr int kDayMs = 24 * 60 * 60 * 1000;

qint64 utcMidnight(const QDate& d) { return QDateTime(d, QTime(0, 0), Qt::UTC).toSecsSinceEpoch(); }

}  // namespace

namespace {

// The adjusted closes of `chart`'s bars without its capital gains: the
// provider counts a fund's capital gain into the dividend of its ex-date,
// and so into the dividend adjustment of every earlier close.
QVector<double> adjustedWithoutGains(const livejson::Chart& chart, const QTimeZone& zone)
{
    QVector<double> adj;
    adj.reserve(chart.bars.size());
    for (const Bar& b : chart.bars)
        adj.append(b.adjclose);
    for (const livejson::Distribution& gain : chart.capitalGains) {
        const QDate ex = livejson::sessionDay(gain.time, zone);
        double dividend = 0;
        for (const livejson::Distribution& d : chart.dividends) {
            if (livejson::sessionDay(d.time, zone) == ex)
                dividend += d.amount;
        }
        // The close before the ex-date, which the adjustment divides by.
        double before = livejson::kMissing;
        qsizetype exAt = chart.bars.size();
        for (qsizetype i = 0; i < chart.bars.size(); ++i) {
            if (livejson::sessionDay(chart.bars[i].time, zone) >= ex) {
                exAt = i;
                break;
            }
            if (present(chart.bars[i].close))
                before = chart.bars[i].close;
        }
        if (!present(before) || before <= 0)
            continue;
        // The provider's step at the ex-date holds the whole distribution;
        // the one kept holds the dividend without the gain.
        const double total = std::max(dividend, gain.amount);
        const double meant = 1 - (total - gain.amount) / before;
        const double applied = 1 - total / before;
        if (applied <= 0 || meant <= 0)
            continue;
        for (qsizetype i = 0; i < exAt; ++i) {
            if (present(adj[i]))
                adj[i] *= meant / applied;
        }
    }
    return adj;
}

bool priced(double v) { return present(v) && v != 0; }

}  // namespace

QByteArray historyCsv(const livejson::Chart& chart, const QDate& start, const QDate& end, int* withoutPrices)
{
    std::map<QDate, Bar> byDate;
    const QTimeZone zone = chart.meta.exchange.zone();
    const QVector<double> adj = adjustedWithoutGains(chart, zone);
    int bare = 0;
    for (qsizetype i = 0; i < chart.bars.size(); ++i) {
        Bar b = chart.bars[i];
        const QDate day = livejson::sessionDay(b.time, zone);
        if (day < start || day > end)
            continue;
        // A holiday's row, or a bar with volume but without prices: no day
        // to write, and never zeros.
        if (!priced(b.open) || !priced(b.high) || !priced(b.low) || !priced(b.close)) {
            ++bare;
            continue;
        }
        b.adjclose = adj[i];
        byDate[day] = b;  // bars come in time order: the later one stays
    }
    if (withoutPrices)
        *withoutPrices = bare;
    if (byDate.empty())
        return {};
    const int d = chart.meta.priceHint;
    QByteArray body = "Date,Open,High,Low,Close,Volume,Adj Close\n";
    for (auto it = byDate.crbegin(); it != byDate.crend(); ++it) {
        const Bar& b = it->second;
        body += legacytext::historyDate(it->first) + ',' + legacytext::exactPrice(b.open, d) + ',' +
                legacytext::exactPrice(b.high, d) + ',' + legacytext::exactPrice(b.low, d) + ',' +
                legacytext::exactPrice(b.close, d) + ',' + legacytext::volume(b.volume) + ',' +
                legacytext::exactPrice(present(b.adjclose) ? b.adjclose : b.close, d) + '\n';
    }
    for (const livejson::Split& s : chart.splits) {
        const QDate day = livejson::sessionDay(s.time, zone);
        if (day >= start && day <= end)
            body += "Split," + legacytext::historyDate(day) + ',' + QByteArray::number(s.numerator, 'g', 10) + ':' +
                    QByteArray::number(s.denominator, 'g', 10) + '\n';
    }
    // For the run's log, which holds the answer; the program's decoder
    // passes over it like over any line without a date.
    if (bare > 0)
        body += "Left out," + QByteArray::number(bare) + ",days without prices\n";
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
    // provider's bars are cut to the range afterwards. It serves no more
    // than 100 years of days.
    const qint64 period1 =
        std::max(utcMidnight(start.addDays(-1)), livejson::earliestDailyStart(QDateTime::currentDateTimeUtc()));
    const qint64 period2 = utcMidnight(end.addDays(2));
    if (period1 >= period2) {
        respond(legacypages::noPrices());
        return;
    }
    const QString query = QStringLiteral("period1=%1&period2=%2&interval=1d").arg(period1).arg(period2) +
                          QStringLiteral("&events=div%2Csplits%2CcapitalGains");
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
            int bare = 0;
            const QByteArray body = historyCsv(*chart, start, end, &bare);
            if (bare > 0)
                qCInfo(lcGateway).noquote() << symbol << ": left out" << bare << "days without prices";
            respond(body.isEmpty() ? legacypages::noPrices() : LegacyReply{200, body, "text/csv"});
        },
        request.client->cancelled());
}
