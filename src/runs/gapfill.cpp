#include "runs/gapfill.h"

#include "core/dates.h"
#include "database/exchanges.h"
#include "database/quotestore.h"
#include "support/log.h"

#include <QMap>
#include <algorithm>

namespace gapfill {

namespace {

// The session before the first of `days` and after the last, where the
// sessions have one: the answer then shows whether the provider covers the
// days around them.
void setRange(Plan& plan, const QVector<qint32>& sessions)
{
    const auto [low, high] = std::minmax_element(plan.ask.cbegin(), plan.ask.cend());
    qint32 from = *low, to = *high;
    const auto before = std::lower_bound(sessions.cbegin(), sessions.cend(), from);
    if (before != sessions.cbegin())
        from = *(before - 1);
    const auto after = std::upper_bound(sessions.cbegin(), sessions.cend(), to);
    if (after != sessions.cend())
        to = *after;
    plan.from = core::dateOf(from);
    plan.to = core::dateOf(to);
}

}  // namespace

QString marketOf(const QString& ticker)
{
    if (const exchanges::Exchange* e = exchanges::ofTicker(ticker))
        return *e->suffix ? QString::fromLatin1(e->suffix) : QStringLiteral("US");
    const qsizetype dot = ticker.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QStringLiteral("US") : ticker.mid(dot + 1).toUpper();
}

QString unknownText(const Unknown& unknown)
{
    return QStringLiteral("market %1: sessions unknown (%2 %3, not checked)")
        .arg(unknown.market)
        .arg(unknown.tickers.size())
        .arg(unknown.tickers.size() == 1 ? QStringLiteral("symbol") : QStringLiteral("symbols"));
}

Survey survey(QuoteStore& store, const QStringList& tickers, int sessions)
{
    Survey out;
    // The markets in the order their first symbol comes.
    QStringList order;
    QHash<QString, QStringList> byMarket;
    for (const QString& t : tickers) {
        const QString m = marketOf(t);
        if (!byMarket.contains(m))
            order << m;
        byMarket[m] << t;
    }
    QHash<QString, Plan> plans;
    for (const QString& m : std::as_const(order)) {
        const QStringList& members = byMarket[m];
        // Only the days near the end are read: a session is about 1.4
        // calendar days, with room for holidays and the session before the
        // first one looked at.
        qint32 last = 0;
        for (const QString& t : members)
            last = std::max(last, store.lastDay(t));
        if (last == 0)
            continue;  // nothing stored: nothing to miss
        const qint32 from = sessions > 0 ? QuoteStore::dateOf(QuoteStore::dayNumber(last) - sessions * 7 / 5 - 30) : 0;
        gaps::Exchange exchange(store, members, from);
        QVector<qint32> all = exchange.sessions();
        if (all.isEmpty()) {
            const exchanges::Exchange* e = exchanges::ofTicker(members.first());
            if (e && *e->index)
                all = gaps::sessionsOfIndex(store, QString::fromLatin1(e->index), from);
        }
        if (all.isEmpty()) {
            out.unknown.append({m, members});
            continue;
        }
        const QVector<qint32> looked = gaps::lastSessions(all, sessions);
        for (const QString& t : members) {
            ++out.checked;
            Plan p;
            p.gaps = exchange.gapsOf(t, looked);
            p.market = m;
            p.lastSession = looked.last();
            if (p.gaps.missing.isEmpty() && p.gaps.provisional.isEmpty() && p.gaps.givenUp.isEmpty())
                continue;
            const QHash<qint32, QuoteStore::GapState> states = store.gapStates(t);
            for (qint32 d : std::as_const(p.gaps.missing)) {
                (states.value(d).askedAfter >= p.lastSession ? p.waiting : p.ask).append(d);
            }
            // A day found late is asked once before it counts as given up.
            for (qint32 d : std::as_const(p.gaps.givenUp)) {
                (states.value(d).tries > 0 ? p.givenUp : p.ask).append(d);
            }
            p.ask += p.gaps.provisional;
            std::sort(p.ask.begin(), p.ask.end());
            if (!p.ask.isEmpty())
                setRange(p, all);
            plans.insert(t, std::move(p));
        }
    }
    for (const QString& t : tickers) {
        const auto p = plans.constFind(t);
        if (p != plans.constEnd())
            out.plans.append(*p);
    }
    return out;
}

QVector<qint32> Plan::missingDays() const
{
    QVector<qint32> out = gaps.missing;
    for (qint32 d : gaps.givenUp) {
        if (!givenUp.contains(d))
            out.append(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

QHash<QString, int> openGaps(const Survey& survey)
{
    QHash<QString, int> out;
    for (const Plan& p : survey.plans) {
        if (p.open() > 0)
            out.insert(p.gaps.ticker, p.open());
    }
    return out;
}

QVector<HistoryRun::Range> ranges(const Survey& survey, const QHash<QString, QString>& names)
{
    QVector<HistoryRun::Range> out;
    for (const Plan& p : survey.plans) {
        if (p.asks())
            out.append({p.gaps.ticker, names.value(p.gaps.ticker), p.from, p.to});
    }
    return out;
}

void Answers::add(const QString& ticker, const QVector<core::Bar>& days)
{
    QVector<Day>& held = answers_[ticker];
    for (const core::Bar& b : days)
        held.append({b.date, !b.volume.given() || b.volume.value != 0});
    std::sort(held.begin(), held.end(), [](const Day& a, const Day& b) { return a.date < b.date; });
}

QVector<Outcome> Answers::record(QuoteStore& store, const Survey& survey) const
{
    const auto holds = [](const QVector<Day>& days, qint32 d) {
        return std::binary_search(days.cbegin(), days.cend(), Day{d, true},
                                  [](const Day& a, const Day& b) { return a.date < b.date; });
    };
    const auto spans = [](const QVector<Day>& days, qint32 d) {
        return !days.isEmpty() && days.first().date < d && days.last().date > d;
    };
    // Per market and day: the answers covering the day, and how many hold it.
    struct Cover {
        int spanning = 0, holding = 0;
    };
    QMap<std::pair<QString, qint32>, Cover> covers;
    for (const Plan& p : survey.plans) {
        const auto a = answers_.constFind(p.gaps.ticker);
        if (a == answers_.constEnd())
            continue;
        for (qint32 d : p.ask) {
            if (spans(*a, d)) {
                Cover& c = covers[{p.market, d}];
                ++c.spanning;
                c.holding += holds(*a, d);
            }
        }
    }

    QVector<Outcome> out;
    store.begin();
    try {
        for (const Plan& p : survey.plans) {
            const auto a = answers_.constFind(p.gaps.ticker);
            if (a == answers_.constEnd() || !p.asks())
                continue;
            const QVector<Day>& days = *a;
            Outcome o;
            o.ticker = p.gaps.ticker;
            const QHash<qint32, QuoteStore::GapState> states = store.gapStates(o.ticker);
            for (qint32 d : p.ask) {
                if (holds(days, d)) {
                    o.filled.append(d);
                    continue;
                }
                if (p.gaps.provisional.contains(d))
                    continue;  // kept as it is; asked again with the next run
                bool settled = false;
                if (spans(days, d)) {
                    const auto after = std::upper_bound(days.cbegin(), days.cend(), Day{d, true},
                                                        [](const Day& x, const Day& y) { return x.date < y.date; });
                    const bool quiet = !(after - 1)->traded && !after->traded;
                    const Cover c = covers.value({p.market, d});
                    const bool hole = c.spanning >= 2 && c.holding == 0;
                    settled = quiet || !hole;
                }
                QuoteStore::GapState s = states.value(d);
                s.askedAfter = p.lastSession;
                ++s.tries;
                s.settled = settled;
                store.setGapState(o.ticker, d, s);
                (settled ? o.settled : o.lacking).append(d);
            }
            out.append(std::move(o));
        }
        store.commit();
    } catch (...) {
        store.rollback();
        throw;
    }
    return out;
}

GapFill::GapFill(QObject* parent) : QObject(parent) {}

GapFill::~GapFill() = default;

bool GapFill::prepare(const QVector<HistoryRun::Range>& symbols, int sessions)
{
    QStringList tickers;
    QHash<QString, QString> names;
    for (const HistoryRun::Range& r : symbols) {
        tickers << r.ticker;
        names.insert(r.ticker, r.name);
    }
    Survey found;
    try {
        QuoteStore store;
        found = gapfill::survey(store, tickers, sessions);
    } catch (const StoreError& e) {
        WriteLog(e.description());
        prepare(Survey(), {});
        return false;
    }
    return prepare(std::move(found), names);
}

bool GapFill::prepare(Survey survey, const QHash<QString, QString>& names)
{
    outcomes_.clear();
    storeError_.clear();
    answers_ = Answers();
    survey_ = std::move(survey);
    asked_ = ranges(survey_, names);
    return !asked_.isEmpty();
}

void GapFill::start()
{
    run_ = std::make_unique<HistoryRun>();
    run_->ranges = asked_;
    run_->recordsHistory = false;
    connect(run_.get(), &HistoryRun::symbolAnswered, this,
            [this](const QString& ticker, const QVector<core::Bar>& days) { answers_.add(ticker, days); });
    connect(run_.get(), &HistoryRun::symbolFinished, this, &GapFill::progress);
    connect(run_.get(), &HistoryRun::finished, this, &GapFill::runFinished);
    run_->start();
}

void GapFill::stop()
{
    if (running())
        run_->stop();
}

bool GapFill::running() const { return run_ && run_->running(); }

const HistoryRunSummary& GapFill::summary() const
{
    static const HistoryRunSummary none;
    return run_ ? run_->summary() : none;
}

// What the answers that came tell, also of a stopped fill.
void GapFill::runFinished()
{
    try {
        QuoteStore store;
        outcomes_ = answers_.record(store, survey_);
    } catch (const StoreError& e) {
        storeError_ = e.description();
        WriteLog(storeError_);
    }
    emit finished();
}

QStringList GapFill::lines() const
{
    QHash<QString, const Outcome*> byTicker;
    for (const Outcome& o : outcomes_)
        byTicker.insert(o.ticker, &o);
    QStringList out;
    for (const Plan& p : survey_.plans) {
        QStringList parts;
        QVector<qint32> left = p.waiting;
        if (const Outcome* o = byTicker.value(p.gaps.ticker)) {
            if (!o->filled.isEmpty())
                parts << QStringLiteral("filled ") + datesText(o->filled);
            if (!o->settled.isEmpty())
                parts << QStringLiteral("no trading ") + datesText(o->settled);
            left += o->lacking;
        } else {
            for (qint32 d : p.ask) {
                if (!p.gaps.provisional.contains(d))
                    left.append(d);
            }
        }
        std::sort(left.begin(), left.end());
        if (!left.isEmpty())
            parts << QStringLiteral("still missing ") + datesText(left);
        if (!p.givenUp.isEmpty())
            parts << QStringLiteral("given up ") + datesText(p.givenUp);
        if (!parts.isEmpty())
            out << p.gaps.ticker + QStringLiteral(": ") + parts.join(QStringLiteral("; "));
    }
    return out;
}

QStringList GapFill::reportLines() const
{
    QStringList out = lines();
    for (const Unknown& u : survey_.unknown)
        out << unknownText(u);
    return out;
}

QString dateText(qint32 date) { return core::isoDate(date); }

QString datesText(const QVector<qint32>& dates)
{
    QStringList out;
    for (qint32 d : dates)
        out << dateText(d);
    return out.join(QLatin1Char(' '));
}

}  // namespace gapfill
