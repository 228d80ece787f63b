#include "gateway/livejson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <utility>

namespace livejson {

namespace {

double number(const QJsonValue& v) { return v.isDouble() ? v.toDouble() : kMissing; }

double numberAt(const QJsonArray& a, qsizetype i) { return i < a.size() ? number(a.at(i)) : kMissing; }

qint64 seconds(const QJsonValue& v) { return v.isDouble() ? static_cast<qint64>(v.toDouble()) : 0; }

std::optional<QJsonObject> object(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

int priceHint(const QJsonValue& v)
{
    // Four decimals at most: currencies use four, shares two.
    return v.isDouble() ? std::clamp(v.toInt(), 0, 6) : 2;
}

Instrument instrumentFromMeta(const QJsonObject& m)
{
    Instrument i;
    i.symbol = m.value(QLatin1String("symbol")).toString();
    i.shortName = m.value(QLatin1String("shortName")).toString();
    i.longName = m.value(QLatin1String("longName")).toString();
    i.fullExchangeName = m.value(QLatin1String("fullExchangeName")).toString();
    i.exchangeCode = m.value(QLatin1String("exchangeName")).toString();
    i.type = m.value(QLatin1String("instrumentType")).toString();
    i.exchange.timezoneName = m.value(QLatin1String("exchangeTimezoneName")).toString();
    i.exchange.gmtOffsetSec = m.value(QLatin1String("gmtoffset")).toInt();
    i.priceHint = priceHint(m.value(QLatin1String("priceHint")));
    i.marketTime = seconds(m.value(QLatin1String("regularMarketTime")));
    // The chart's meta has no open; the day's range and volume it has.
    i.open = number(m.value(QLatin1String("regularMarketOpen")));  // not sent so far
    i.high = number(m.value(QLatin1String("regularMarketDayHigh")));
    i.low = number(m.value(QLatin1String("regularMarketDayLow")));
    i.last = number(m.value(QLatin1String("regularMarketPrice")));
    i.volume = number(m.value(QLatin1String("regularMarketVolume")));
    const QJsonValue first = m.value(QLatin1String("firstTradeDate"));
    if (first.isDouble())
        i.firstTradeDate = static_cast<qint64>(first.toDouble());
    return i;
}

Instrument instrumentFromQuote(const QJsonObject& q)
{
    Instrument i;
    i.symbol = q.value(QLatin1String("symbol")).toString();
    i.shortName = q.value(QLatin1String("shortName")).toString();
    i.longName = q.value(QLatin1String("longName")).toString();
    i.fullExchangeName = q.value(QLatin1String("fullExchangeName")).toString();
    i.exchangeCode = q.value(QLatin1String("exchange")).toString();
    i.type = q.value(QLatin1String("quoteType")).toString();
    i.exchange.timezoneName = q.value(QLatin1String("exchangeTimezoneName")).toString();
    i.exchange.gmtOffsetSec = static_cast<int>(q.value(QLatin1String("gmtOffSetMilliseconds")).toDouble() / 1000);
    i.priceHint = priceHint(q.value(QLatin1String("priceHint")));
    i.marketTime = seconds(q.value(QLatin1String("regularMarketTime")));
    i.open = number(q.value(QLatin1String("regularMarketOpen")));
    i.high = number(q.value(QLatin1String("regularMarketDayHigh")));
    i.low = number(q.value(QLatin1String("regularMarketDayLow")));
    i.last = number(q.value(QLatin1String("regularMarketPrice")));
    i.volume = number(q.value(QLatin1String("regularMarketVolume")));
    const QJsonValue firstMs = q.value(QLatin1String("firstTradeDateMilliseconds"));
    if (firstMs.isDouble())
        i.firstTradeDate = static_cast<qint64>(firstMs.toDouble() / 1000);
    return i;
}

}  // namespace

QTimeZone Exchange::zone() const
{
    if (!timezoneName.isEmpty()) {
        QTimeZone named(timezoneName.toLatin1());
        if (named.isValid())
            return named;
    }
    return QTimeZone(gmtOffsetSec);
}

qint64 earliestDailyStart(const QDateTime& now)
{
    return QDateTime(now.toUTC().date().addYears(-99).addDays(1), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch();
}

QDate sessionDay(qint64 epochSec, const QTimeZone& zone)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(epochSec, zone);
    return local.time().hour() >= 22 ? local.date().addDays(1) : local.date();
}

namespace {

Chart chartFrom(const QJsonObject& r)
{
    Chart chart;
    chart.meta = instrumentFromMeta(r.value(QLatin1String("meta")).toObject());

    const QJsonArray stamps = r.value(QLatin1String("timestamp")).toArray();
    const QJsonObject indicators = r.value(QLatin1String("indicators")).toObject();
    const QJsonObject quote = indicators.value(QLatin1String("quote")).toArray().at(0).toObject();
    const QJsonArray open = quote.value(QLatin1String("open")).toArray();
    const QJsonArray high = quote.value(QLatin1String("high")).toArray();
    const QJsonArray low = quote.value(QLatin1String("low")).toArray();
    const QJsonArray close = quote.value(QLatin1String("close")).toArray();
    const QJsonArray volume = quote.value(QLatin1String("volume")).toArray();
    const QJsonArray adj = indicators.value(QLatin1String("adjclose"))
                               .toArray()
                               .at(0)
                               .toObject()
                               .value(QLatin1String("adjclose"))
                               .toArray();
    chart.bars.reserve(stamps.size());
    for (qsizetype i = 0; i < stamps.size(); ++i) {
        if (!stamps.at(i).isDouble())
            continue;
        Bar b;
        b.time = seconds(stamps.at(i));
        b.open = numberAt(open, i);
        b.high = numberAt(high, i);
        b.low = numberAt(low, i);
        b.close = numberAt(close, i);
        b.volume = numberAt(volume, i);
        b.adjclose = numberAt(adj, i);
        chart.bars.append(b);
    }
    const QJsonObject splits = r.value(QLatin1String("events")).toObject().value(QLatin1String("splits")).toObject();
    for (auto it = splits.constBegin(); it != splits.constEnd(); ++it) {
        const QJsonObject e = it.value().toObject();
        Split split;
        split.time =
            e.contains(QLatin1String("date")) ? seconds(e.value(QLatin1String("date"))) : it.key().toLongLong();
        split.numerator = e.value(QLatin1String("numerator")).toDouble();
        split.denominator = e.value(QLatin1String("denominator")).toDouble();
        if (split.numerator > 0 && split.denominator > 0)
            chart.splits.append(split);
    }
    std::sort(chart.splits.begin(), chart.splits.end(), [](const Split& a, const Split& b) { return a.time < b.time; });
    const QJsonObject events = r.value(QLatin1String("events")).toObject();
    for (auto [name, list] :
         {std::pair{"dividends", &chart.dividends}, std::pair{"capitalGains", &chart.capitalGains}}) {
        const QJsonObject found = events.value(QLatin1String(name)).toObject();
        for (auto it = found.constBegin(); it != found.constEnd(); ++it) {
            const QJsonObject e = it.value().toObject();
            Distribution d;
            d.time =
                e.contains(QLatin1String("date")) ? seconds(e.value(QLatin1String("date"))) : it.key().toLongLong();
            d.amount = number(e.value(QLatin1String("amount")));
            if (present(d.amount) && d.amount > 0)
                list->append(d);
        }
        std::sort(list->begin(), list->end(),
                  [](const Distribution& a, const Distribution& b) { return a.time < b.time; });
    }
    return chart;
}

}  // namespace

std::optional<Chart> parseChart(const QByteArray& body)
{
    const auto root = object(body);
    if (!root)
        return std::nullopt;
    const QJsonArray results = root->value(QLatin1String("chart")).toObject().value(QLatin1String("result")).toArray();
    if (results.isEmpty() || !results.at(0).isObject())
        return std::nullopt;
    return chartFrom(results.at(0).toObject());
}

std::optional<QHash<QString, Chart>> parseSpark(const QByteArray& body)
{
    const auto root = object(body);
    if (!root)
        return std::nullopt;
    const QJsonValue spark = root->value(QLatin1String("spark"));
    if (!spark.isObject() || !spark.toObject().value(QLatin1String("result")).isArray())
        return std::nullopt;
    QHash<QString, Chart> out;
    for (const QJsonValue& v : spark.toObject().value(QLatin1String("result")).toArray()) {
        const QJsonObject entry = v.toObject();
        const QJsonObject response = entry.value(QLatin1String("response")).toArray().at(0).toObject();
        if (response.isEmpty())
            continue;
        Chart chart = chartFrom(response);
        QString symbol = entry.value(QLatin1String("symbol")).toString();
        if (symbol.isEmpty())
            symbol = chart.meta.symbol;
        if (!symbol.isEmpty())
            out.insert(symbol.toUpper(), std::move(chart));
    }
    return out;
}

std::optional<QVector<Instrument>> parseQuotes(const QByteArray& body)
{
    const auto root = object(body);
    if (!root)
        return std::nullopt;
    const QJsonValue response = root->value(QLatin1String("quoteResponse"));
    if (!response.isObject())
        return std::nullopt;
    const QJsonValue results = response.toObject().value(QLatin1String("result"));
    if (!results.isArray())
        return std::nullopt;
    QVector<Instrument> out;
    for (const QJsonValue& v : results.toArray()) {
        if (v.isObject())
            out.append(instrumentFromQuote(v.toObject()));
    }
    return out;
}

std::optional<QVector<SearchHit>> parseSearch(const QByteArray& body)
{
    const auto root = object(body);
    if (!root)
        return std::nullopt;
    const QJsonValue quotes = root->value(QLatin1String("quotes"));
    if (!quotes.isArray())
        return std::nullopt;
    QVector<SearchHit> out;
    for (const QJsonValue& v : quotes.toArray()) {
        const QJsonObject q = v.toObject();
        const QString symbol = q.value(QLatin1String("symbol")).toString();
        if (symbol.isEmpty())
            continue;
        out.append({symbol, q.value(QLatin1String("shortname")).toString(),
                    q.value(QLatin1String("longname")).toString(), q.value(QLatin1String("exchange")).toString(),
                    q.value(QLatin1String("exchDisp")).toString(), q.value(QLatin1String("quoteType")).toString()});
    }
    return out;
}

std::optional<LookupPage> parseLookup(const QByteArray& body)
{
    const auto root = object(body);
    if (!root)
        return std::nullopt;
    const QJsonValue result = root->value(QLatin1String("finance")).toObject().value(QLatin1String("result"));
    if (!result.isArray())
        return std::nullopt;
    const QJsonObject first = result.toArray().at(0).toObject();
    const auto text = [](const QJsonObject& o, const char* a, const char* b) {
        const QString v = o.value(QLatin1String(a)).toString();
        return v.isEmpty() ? o.value(QLatin1String(b)).toString() : v;
    };
    LookupPage page;
    if (first.value(QLatin1String("total")).isDouble())
        page.total = first.value(QLatin1String("total")).toInt();
    for (const QJsonValue& v : first.value(QLatin1String("documents")).toArray()) {
        const QJsonObject d = v.toObject();
        const QString symbol = d.value(QLatin1String("symbol")).toString();
        if (symbol.isEmpty())
            continue;
        page.hits.append({symbol, text(d, "shortName", "shortname"), text(d, "longName", "longname"),
                          d.value(QLatin1String("exchange")).toString(), text(d, "exchDisp", "exchangeDisplay"),
                          d.value(QLatin1String("quoteType")).toString().toUpper()});
    }
    return page;
}

}  // namespace livejson
