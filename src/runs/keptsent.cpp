#include "runs/keptsent.h"

#include "database/quotestore.h"

#include <algorithm>
#include <exception>
#include <limits>

namespace keptsent {

namespace {

bool sameFigures(const core::Bar& a, const core::Bar& b)
{
    return a.open == b.open && a.high == b.high && a.low == b.low && a.close == b.close && a.volume == b.volume &&
           a.openInterest == b.openInterest;
}

}  // namespace

QSet<qint32> restore(QuoteStore& store, const QString& ticker, QVector<core::Bar>& days, QHash<qint32, core::Bar>& sent)
{
    QSet<qint32> restored;
    if (sent.isEmpty())
        return restored;
    qint32 from = std::numeric_limits<qint32>::max(), to = 0;
    for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
        from = std::min(from, it.key());
        to = std::max(to, it.key());
    }
    QHash<qint32, core::Bar> kept;
    try {
        for (const QuoteStore::Row& r : store.rows(ticker, from, to))
            if (r.bar.has(core::Bar::KeptAsSent))
                kept.insert(r.bar.date, r.bar);
    } catch (const std::exception&) {
        return restored;
    }
    if (kept.isEmpty())
        return restored;
    for (core::Bar& b : days) {
        const auto s = sent.constFind(b.date);
        const auto k = kept.constFind(b.date);
        if (s == sent.cend() || k == kept.cend() || !sameFigures(*s, *k))
            continue;
        b = *s;
        b.set(core::Bar::Repaired, false);
        b.set(core::Bar::KeptAsSent);
        restored.insert(b.date);
    }
    for (qint32 date : std::as_const(restored))
        sent.remove(date);
    return restored;
}

}  // namespace keptsent
