#include "database/gaps.h"

#include "database/quotestore.h"

#include <QHash>
#include <algorithm>
#include <map>

namespace gaps {

namespace {

SymbolGaps gapsAmong(QuoteStore& store, const QString& ticker, qint32 first, const QVector<QuoteStore::DayFlags>& days,
                     const QVector<qint32>& sessions, qint32 dropped)
{
    SymbolGaps g;
    g.ticker = ticker;
    if (sessions.isEmpty() || first == 0)
        return g;
    QHash<qint32, quint32> held;
    held.reserve(days.size());
    for (const QuoteStore::DayFlags& d : days)
        held.insert(d.date, d.flags);
    const qint32 lastSession = sessions.last();
    QHash<qint32, QuoteStore::GapState> states;
    bool statesRead = false;
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        const qint32 s = sessions[i];
        if (s < first || (dropped && s > dropped))
            continue;
        const auto at = held.constFind(s);
        if (at != held.constEnd()) {
            if ((*at & core::Bar::Provisional) && s < lastSession)
                g.provisional.append(s);
            continue;
        }
        if (!statesRead) {
            states = store.gapStates(ticker);
            statesRead = true;
        }
        if (states.value(s).settled)
            continue;
        const qsizetype later = sessions.size() - 1 - i;
        (later >= kGiveUpAfter ? g.givenUp : g.missing).append(s);
    }
    return g;
}

}  // namespace

Exchange::Exchange(QuoteStore& store, const QStringList& tickers, qint32 from) : store_(store)
{
    held_.reserve(tickers.size());
    for (const QString& t : tickers) {
        Held h;
        h.first = store.firstDay(t);
        if (h.first == 0)
            continue;
        h.days = store.days(t, from);
        held_.insert(t, std::move(h));
    }
}

QVector<qint32> Exchange::sessions() const
{
    QVector<qint32> sessions;
    if (held_.size() < kMinSymbols)
        return sessions;
    // For every day: how many symbols have a final bar, and how many span it
    // (from their first day to their last).
    std::map<qint32, int> finals;
    std::map<qint32, int> spanDelta;  // +1 at a first day, -1 after a last day
    for (const Held& h : held_) {
        for (const QuoteStore::DayFlags& d : h.days) {
            if (!(d.flags & core::Bar::Provisional))
                ++finals[d.date];
        }
        if (!h.days.isEmpty()) {
            ++spanDelta[h.first];
            --spanDelta[h.days.last().date + 1];  // any number after the last day will do
        }
    }
    int spanning = 0;
    auto delta = spanDelta.cbegin();
    for (const auto& [date, count] : finals) {
        for (; delta != spanDelta.cend() && delta->first <= date; ++delta)
            spanning += delta->second;
        if (count * 2 > spanning)
            sessions.append(date);
    }
    return sessions;
}

SymbolGaps Exchange::gapsOf(const QString& ticker, const QVector<qint32>& sessions, qint32 dropped) const
{
    const auto h = held_.constFind(ticker);
    if (h == held_.constEnd())
        return gaps::gapsOf(store_, ticker, sessions, dropped);
    return gapsAmong(store_, ticker, h->first, h->days, sessions, dropped);
}

QVector<qint32> sessionsOf(QuoteStore& store, const QStringList& tickers, qint32 from)
{
    return Exchange(store, tickers, from).sessions();
}

QVector<qint32> sessionsOfIndex(QuoteStore& store, const QString& index, qint32 from)
{
    QVector<qint32> sessions;
    for (const QuoteStore::DayFlags& d : store.days(index, from)) {
        if (!(d.flags & core::Bar::Provisional))
            sessions.append(d.date);
    }
    return sessions;
}

QVector<qint32> lastSessions(const QVector<qint32>& sessions, int count)
{
    if (count <= 0 || count >= sessions.size())
        return sessions;
    return sessions.mid(sessions.size() - count);
}

SymbolGaps gapsOf(QuoteStore& store, const QString& ticker, const QVector<qint32>& sessions, qint32 dropped)
{
    if (sessions.isEmpty())
        return SymbolGaps{ticker, {}, {}, {}};
    return gapsAmong(store, ticker, store.firstDay(ticker), store.days(ticker, sessions.first()), sessions, dropped);
}

}  // namespace gaps
