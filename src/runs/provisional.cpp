#include "runs/provisional.h"

#include "core/dates.h"
#include "database/exchanges.h"
#include "support/state.h"

#include <QDateTime>
#include <QTimeZone>
#include <QUrl>
#include <optional>

namespace provisional {

namespace {

// The moment a quote was stamped with, and its exchange; no moment when the
// answer does not tell it.
struct Stamp {
    const exchanges::Exchange* exchange = nullptr;
    QTimeZone zone;
    std::optional<QDateTime> at;
};

// The zones of one answer's exchanges, each made once: making a zone reads
// the system's time zone data.
struct Zones {
    QTimeZone eastern{"America/New_York"};
    QHash<const exchanges::Exchange*, QTimeZone> byExchange;
    const QTimeZone& of(const exchanges::Exchange* e)
    {
        auto it = byExchange.find(e);
        if (it == byExchange.end())
            it = byExchange.insert(e, QTimeZone(QByteArray(e->timeZone)));
        return *it;
    }
};

Stamp stampOf(const CurrentQuote& q, Clock clock, Zones& zones)
{
    Stamp s;
    s.exchange = exchanges::ofTicker(q.ticker);
    if (!s.exchange)
        return s;
    s.zone = zones.of(s.exchange);
    const QTimeZone& eastern = zones.eastern;
    const QTime time = exchanges::quoteTime(q.time);
    const QDate day = core::dateOf(q.bar.date);
    if (!time.isValid() || !day.isValid() || !s.zone.isValid())
        return s;
    const QDateTime sent(day, time, clock == Clock::UsEastern ? eastern : s.zone);
    if (sent.isValid())
        s.at = sent.toTimeZone(s.zone);
    return s;
}

}  // namespace

qint32 localDay(const CurrentQuote& quote, Clock clock)
{
    Zones zones;
    const Stamp s = stampOf(quote, clock, zones);
    return s.at ? core::dateNumber(s.at->date()) : quote.bar.date;
}

Clock clockOf(const QString& url)
{
    const QString& gateway = state().gatewayAddress;
    if (gateway.isEmpty())
        return Clock::UsEastern;
    const QUrl u(url);
    const QString at = u.host() + QLatin1Char(':') + QString::number(u.port(80));
    return at == gateway ? Clock::ExchangeLocal : Clock::UsEastern;
}

void mark(QVector<CurrentQuote>& quotes, Clock clock)
{
    QVector<Stamp> stamps;
    stamps.reserve(quotes.size());
    std::optional<QDateTime> latest;
    Zones zones;
    for (const CurrentQuote& q : std::as_const(quotes)) {
        stamps.append(stampOf(q, clock, zones));
        const std::optional<QDateTime>& at = stamps.last().at;
        if (at && (!latest || *at > *latest))
            latest = at;
    }
    // The answer's day in each exchange's zone.
    QHash<const exchanges::Exchange*, QDate> answerDays;
    for (qsizetype i = 0; i < quotes.size(); ++i) {
        const Stamp& s = stamps[i];
        bool early = false;
        if (s.at) {
            auto day = answerDays.find(s.exchange);
            if (day == answerDays.end())
                day = answerDays.insert(s.exchange, latest->toTimeZone(s.zone).date());
            const QDate answerDay = *day;
            early = s.at->date() >= answerDay && exchanges::beforeClose(*s.exchange, s.at->time());
        }
        quotes[i].bar.set(core::Bar::Provisional, early);
        if (s.at)
            quotes[i].bar.date = core::dateNumber(s.at->date());
    }
}

}  // namespace provisional
