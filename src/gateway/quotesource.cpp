#include "gateway/quotesource.h"

#include "gateway/session.h"

#include <QTimeZone>
#include <QUrl>
#include <algorithm>
#include <optional>
#include <utility>

using livejson::Instrument;
using livejson::present;

namespace {

QString encoded(const QString& symbol) { return QString::fromLatin1(QUrl::toPercentEncoding(symbol)); }

QString joined(const QStringList& chunk)
{
    QStringList parts;
    for (const QString& symbol : chunk)
        parts << encoded(symbol);
    return parts.join(QLatin1Char(','));
}

}  // namespace

QString QuoteSource::chartPath(const QString& symbol, const QString& query)
{
    return QStringLiteral("/v8/finance/chart/") + encoded(symbol) + QLatin1Char('?') + query;
}

Instrument currentFromChart(const livejson::Chart& chart)
{
    Instrument i = chart.meta;
    if (i.marketTime == 0 || chart.bars.isEmpty())
        return i;
    const QTimeZone zone = i.exchange.zone();
    const QDate day = livejson::sessionDay(i.marketTime, zone);
    for (auto b = chart.bars.crbegin(); b != chart.bars.crend(); ++b) {
        if (livejson::sessionDay(b->time, zone) != day)
            continue;
        if (present(b->open))
            i.open = b->open;
        if (!present(i.high))
            i.high = b->high;
        if (!present(i.low))
            i.low = b->low;
        if (!present(i.volume))
            i.volume = b->volume;
        break;
    }
    return i;
}

bool isIndex(const Instrument& i)
{
    return i.type.compare(QLatin1String("INDEX"), Qt::CaseInsensitive) == 0 || i.symbol.startsWith(QLatin1Char('^'));
}

namespace {

// A price of the day as the provider sent it: an index's 0 stands (the
// legacy answer repeats the last price there), anyone else's 0 is a gap.
bool have(const Instrument& i, double v) { return present(v) && (v != 0 || isIndex(i)); }

}  // namespace

bool exactQuote(const Instrument& i)
{
    return i.marketTime > 0 && have(i, i.open) && have(i, i.high) && have(i, i.low) && present(i.last) && i.last != 0 &&
           present(i.volume);
}

Instrument completedFromChart(const Instrument& base, const livejson::Chart& chart)
{
    Instrument from = chart.meta;
    // The day of the quote decides which bar counts, when it is known.
    if (base.marketTime > 0 && from.marketTime != base.marketTime) {
        from.marketTime = base.marketTime;
        from.last = livejson::kMissing;  // the meta's price is of another moment
    }
    livejson::Chart asOfBase = chart;
    asOfBase.meta = from;
    from = currentFromChart(asOfBase);
    Instrument i = base;
    if (i.marketTime == 0)
        i.marketTime = from.marketTime;
    if (i.exchange.timezoneName.isEmpty())
        i.exchange = from.exchange;
    for (auto [field, other] : {std::pair{&i.open, from.open}, std::pair{&i.high, from.high},
                                std::pair{&i.low, from.low}, std::pair{&i.last, from.last}}) {
        if (!have(i, *field) && have(i, other))
            *field = other;
    }
    if (!present(i.volume))
        i.volume = from.volume;
    if (i.shortName.isEmpty() && i.longName.isEmpty()) {
        i.shortName = from.shortName;
        i.longName = from.longName;
    }
    if (i.fullExchangeName.isEmpty())
        i.fullExchangeName = from.fullExchangeName;
    if (i.exchangeCode.isEmpty())
        i.exchangeCode = from.exchangeCode;
    if (i.type.isEmpty())
        i.type = from.type;
    return i;
}

// The work for one set of symbols: what is known already, the pooled calls
// of the quote or spark endpoint, then the charts of what they leave out or
// leave incomplete. Kept alive by the pools and callbacks that hold it.
class QuoteSource::Job : public std::enable_shared_from_this<Job> {
public:
    Job(QuoteSource& source, bool prices, Upstream::Cancelled cancelled, std::function<void(const QuoteFetch&)> done)
        : s_(source), prices_(prices), cancelled_(std::move(cancelled)), done_(std::move(done))
    {
    }

    enum class Outcome { Known, Absent, Unavailable, Failed };

    const std::shared_ptr<QuoteFetch>& result() const { return result_; }

    // Nothing more is worth asking for this job.
    bool over() const { return !done_ || (cancelled_ && *cancelled_); }

    void run(const QStringList& symbols)
    {
        open_ = 1;  // held until every symbol is under way
        QStringList rest;
        const qint64 now = s_.clock_.elapsed();
        for (const QString& symbol : symbols) {
            const auto hit = s_.recent_.constFind(symbol);
            if (hit != s_.recent_.constEnd() && now - hit->at < s_.cacheMs_ &&
                (hit->unknown || hit->exact || !prices_)) {
                if (hit->unknown)
                    result_->unknown.insert(symbol);
                else
                    result_->known.insert(symbol, hit->instrument);
            } else {
                rest << symbol;
            }
        }
        if (rest.isEmpty()) {
            close();
            return;
        }
        auto self = shared_from_this();
        s_.session_.withCrumb([self, rest](QuoteSession::Outcome o) {
            for (const QString& symbol : rest) {
                if (o == QuoteSession::Outcome::Ready)
                    self->pool(self->s_.quotes_, symbol);
                else if (o == QuoteSession::Outcome::Unavailable)
                    self->keyless(symbol);
                else
                    self->fail(symbol, o == QuoteSession::Outcome::Throttled
                                           ? QStringLiteral("Too Many Requests")
                                           : QStringLiteral("no connection to the provider"));
            }
            self->close();
        });
    }

    // The answer of a pooled call for `symbol`.
    void arrived(const QString& symbol, Outcome o, const Instrument* i, bool fromSpark, const QString& why)
    {
        if (!over()) {
            switch (o) {
            case Outcome::Known:
                accept(symbol, *i);
                break;
            case Outcome::Absent:
                // Left out or delisted: only the chart endpoint can tell
                // "unknown" from "not here".
                askChart(symbol, nullptr);
                break;
            case Outcome::Unavailable:
                if (fromSpark)
                    askChart(symbol, nullptr);
                else
                    keyless(symbol);
                break;
            case Outcome::Failed:
                fail(symbol, why);
                break;
            }
        }
        close();
    }

    // A pooled entry dropped unasked because the job is over.
    void dropped() { close(); }

private:
    void pool(Pool& p, const QString& symbol)
    {
        if (over())
            return;
        ++open_;
        s_.add(p, symbol, shared_from_this());
    }

    // Without a session: names from the spark endpoint, prices from each
    // symbol's chart (spark answers carry no open).
    void keyless(const QString& symbol)
    {
        if (prices_)
            askChart(symbol, nullptr);
        else
            pool(s_.spark_, symbol);
    }

    void accept(const QString& symbol, const Instrument& i)
    {
        if (prices_ && !exactQuote(i)) {
            askChart(symbol, &i);
            return;
        }
        result_->known.insert(symbol, i);
        s_.remember(symbol, i, exactQuote(i));
    }

    void askChart(const QString& symbol, const Instrument* base)
    {
        if (over())
            return;
        ++open_;
        auto self = shared_from_this();
        std::optional<Instrument> kept;
        if (base)
            kept = *base;
        s_.upstream_.getJson(
            chartPath(symbol, kLatestDaysQuery), s_.cacheMs_,
            [self, symbol, kept](const UpstreamReply& r) {
                self->chartArrived(symbol, kept, r);
                self->close();
            },
            cancelled_);
    }

    void chartArrived(const QString& symbol, const std::optional<Instrument>& base, const UpstreamReply& r)
    {
        if (!r.ok()) {
            if (base)
                settle(symbol, *base);  // what the quote gave, gaps left open
            else
                fail(symbol, r.detail);
            return;
        }
        if (r.status == 404 && !base) {
            confirmUnknown(symbol);
            return;
        }
        const auto chart = r.status == 200 ? livejson::parseChart(r.body) : std::nullopt;
        if (!chart) {
            if (base)
                settle(symbol, *base);
            else
                fail(symbol, QStringLiteral("HTTP %1 without a chart for %2").arg(r.status).arg(symbol));
            return;
        }
        settle(symbol, base ? completedFromChart(*base, *chart) : currentFromChart(*chart));
    }

    // One "not found" is no verdict: the provider answers so for valid
    // symbols during its outages. Unknown only when its other host says so
    // too and its search has no such symbol; otherwise the symbol failed
    // this time (the program asks again; it never drops it for this).
    void confirmUnknown(const QString& symbol)
    {
        if (over())
            return;
        open_ += 2;
        struct Votes {
            int pending = 2;
            bool unknown = true;
            std::optional<Instrument> found;
        };
        auto votes = std::make_shared<Votes>();
        auto self = shared_from_this();
        const auto settleVotes = [self, symbol, votes] {
            if (--votes->pending > 0)
                return;
            if (votes->found)
                self->settle(symbol, *votes->found);
            else if (votes->unknown) {
                self->result_->unknown.insert(symbol);
                self->s_.recent_.insert(symbol, {Instrument(), true, true, self->s_.clock_.elapsed()});
            } else
                self->fail(symbol, QStringLiteral("%1 not found once, and not confirmed").arg(symbol));
        };
        s_.upstream_.getJsonElsewhere(
            chartPath(symbol, kLatestDaysQuery),
            [self, votes, settleVotes](const UpstreamReply& r) {
                const auto chart = r.ok() && r.status == 200 ? livejson::parseChart(r.body) : std::nullopt;
                if (chart)
                    votes->found = currentFromChart(*chart);
                else if (!r.ok() || r.status != 404)
                    votes->unknown = false;
                settleVotes();
                self->close();
            },
            cancelled_);
        s_.upstream_.getJson(
            QStringLiteral("/v1/finance/search?q=") + encoded(symbol) + QStringLiteral("&quotesCount=10&newsCount=0"),
            s_.cacheMs_,
            [self, symbol, votes, settleVotes](const UpstreamReply& r) {
                const auto hits = r.ok() && r.status == 200 ? livejson::parseSearch(r.body) : std::nullopt;
                if (!hits)
                    votes->unknown = false;
                else if (std::any_of(hits->cbegin(), hits->cend(), [&symbol](const livejson::SearchHit& h) {
                             return h.symbol.compare(symbol, Qt::CaseInsensitive) == 0;
                         }))
                    votes->unknown = false;
                settleVotes();
                self->close();
            },
            cancelled_);
    }

    // The last word on `symbol`: what is still missing is answered as not
    // available, never guessed.
    void settle(const QString& symbol, const Instrument& i)
    {
        result_->known.insert(symbol, i);
        s_.remember(symbol, i, exactQuote(i));
    }

    void fail(const QString& symbol, const QString& why)
    {
        if (!result_->decided(symbol))
            result_->failed.insert(symbol, why);
    }

    void close()
    {
        if (--open_ == 0 && done_) {
            auto done = std::move(done_);
            done_ = nullptr;
            done(*result_);
        }
    }

    QuoteSource& s_;
    bool prices_;
    Upstream::Cancelled cancelled_;
    std::function<void(const QuoteFetch&)> done_;
    std::shared_ptr<QuoteFetch> result_ = std::make_shared<QuoteFetch>();
    int open_ = 0;
};

QuoteSource::QuoteSource(Upstream& upstream, QuoteSession& session, int cacheMs)
    : upstream_(upstream), session_(session), cacheMs_(cacheMs)
{
    clock_.start();
    quotes_.chunk = kChunk;
    spark_.chunk = kSparkChunk;
    spark_.spark = true;
    quotes_.path = QStringLiteral("/v7/finance/quote?");
    spark_.path = QStringLiteral("/v7/finance/spark?");
    for (Pool* p : {&quotes_, &spark_}) {
        p->timer.setSingleShot(true);
        QObject::connect(&p->timer, &QTimer::timeout, &p->timer, [this, p] {
            // While earlier calls of the endpoint wait for their turn, a
            // part chunk would only wait behind them: it gathers on.
            if (upstream_.queuedWith(p->path) > 0)
                p->timer.start(kGatherMs);
            else
                flush(*p, true);
        });
    }
}

QuoteSource::~QuoteSource() = default;

std::shared_ptr<const QuoteFetch> QuoteSource::fetch(const QStringList& symbols, bool prices,
                                                     Upstream::Cancelled cancelled,
                                                     std::function<void(const QuoteFetch&)> done)
{
    auto job = std::make_shared<Job>(*this, prices, std::move(cancelled), std::move(done));
    std::shared_ptr<const QuoteFetch> result = job->result();
    job->run(symbols);
    return result;
}

void QuoteSource::remember(const QString& symbol, const Instrument& i, bool exact)
{
    const qint64 now = clock_.elapsed();
    const auto old = recent_.constFind(symbol);
    if (!exact && old != recent_.constEnd() && old->exact && now - old->at < cacheMs_)
        return;  // a name-only answer does not push out a whole quote
    recent_.insert(symbol, {i, false, exact, now});
    if (recent_.size() > 20000)
        recent_.removeIf([this, now](const auto& it) { return now - it.value().at >= cacheMs_; });
}

void QuoteSource::add(Pool& pool, const QString& symbol, const std::shared_ptr<Job>& job)
{
    if (const Call call = pool.asked.value(symbol)) {
        call->push_back({symbol, job});  // asked already: its answer serves this job too
        return;
    }
    pool.entries.push_back({symbol, job});
    flush(pool, false);
    if (!pool.entries.empty() && !pool.timer.isActive())
        pool.timer.start(kGatherMs);
}

void QuoteSource::flush(Pool& pool, bool partial)
{
    while (!pool.entries.empty()) {
        // The next chunk: distinct symbols in the order asked, and every
        // entry that wants one of them, whichever job it is of.
        std::deque<Entry> all;
        all.swap(pool.entries);
        QStringList chunk;
        QSet<QString> inChunk;
        std::vector<Entry> taken;
        std::deque<Entry> left;
        std::vector<std::shared_ptr<Job>> over;
        for (Entry& e : all) {
            if (e.job->over()) {
                over.push_back(std::move(e.job));
                continue;
            }
            if (!inChunk.contains(e.symbol)) {
                if (chunk.size() >= pool.chunk) {
                    left.push_back(std::move(e));
                    continue;
                }
                chunk << e.symbol;
                inChunk.insert(e.symbol);
            }
            taken.push_back(std::move(e));
        }
        const bool send = !chunk.isEmpty() && (partial || chunk.size() >= pool.chunk);
        if (!send) {
            // Not full yet: wait a moment for the symbols of other requests.
            for (Entry& e : taken)
                pool.entries.push_back(std::move(e));
        }
        for (Entry& e : left)
            pool.entries.push_back(std::move(e));
        for (const auto& job : over)
            job->dropped();
        if (!send)
            return;
        if (pool.spark)
            askSpark(chunk, std::move(taken));
        else
            askQuotes(chunk, std::move(taken), false);
    }
}

QuoteSource::Call QuoteSource::sent(Pool& pool, const QStringList& chunk, std::vector<Entry> entries)
{
    auto call = std::make_shared<std::vector<Entry>>(std::move(entries));
    for (const QString& symbol : chunk)
        pool.asked.insert(symbol, call);
    return call;
}

std::vector<QuoteSource::Entry> QuoteSource::answered(Pool& pool, const QStringList& chunk, const Call& call)
{
    for (const QString& symbol : chunk) {
        if (pool.asked.value(symbol) == call)
            pool.asked.remove(symbol);
    }
    return std::move(*call);
}

void QuoteSource::askQuotes(const QStringList& chunk, std::vector<Entry> entries, bool renewed)
{
    const QString path = QStringLiteral("/v7/finance/quote?symbols=") + joined(chunk) + QStringLiteral("&crumb=") +
                         encoded(session_.crumb());
    const Call call = sent(quotes_, chunk, std::move(entries));
    upstream_.getJson(path, 0, [this, chunk, call, renewed](const UpstreamReply& r) {
        quotesArrived(chunk, answered(quotes_, chunk, call), renewed, r);
    });
}

void QuoteSource::quotesArrived(const QStringList& chunk, std::vector<Entry> entries, bool renewed,
                                const UpstreamReply& r)
{
    using O = Job::Outcome;
    const auto all = [&entries](O o, const QString& why) {
        for (Entry& e : entries)
            e.job->arrived(e.symbol, o, nullptr, false, why);
    };
    if (!r.ok()) {
        all(O::Failed, r.detail);
        return;
    }
    if (r.status == 401) {
        if (renewed) {
            // A fresh crumb was refused as well: the keyless endpoints
            // answer without one.
            session_.giveUp();
            all(O::Unavailable, QString());
            return;
        }
        session_.invalidate();
        auto shared = std::make_shared<std::vector<Entry>>(std::move(entries));
        session_.withCrumb([this, chunk, shared](QuoteSession::Outcome o) {
            if (o == QuoteSession::Outcome::Ready) {
                askQuotes(chunk, std::move(*shared), true);
                return;
            }
            const O outcome = o == QuoteSession::Outcome::Unavailable ? O::Unavailable : O::Failed;
            for (Entry& e : *shared)
                e.job->arrived(e.symbol, outcome, nullptr, false, QStringLiteral("no session with the provider"));
        });
        return;
    }
    if (r.status == 400 && chunk.size() > 1) {
        // Refused for its size: each half on its own.
        const QStringList halves[] = {chunk.mid(0, chunk.size() / 2), chunk.mid(chunk.size() / 2)};
        for (const QStringList& half : halves) {
            std::vector<Entry> part;
            for (Entry& e : entries) {
                if (e.job && half.contains(e.symbol))
                    part.push_back(std::move(e));
            }
            askQuotes(half, std::move(part), renewed);
        }
        return;
    }
    const auto instruments = r.status == 200 ? livejson::parseQuotes(r.body) : std::nullopt;
    QHash<QString, Instrument> answered;
    if (instruments) {
        for (const Instrument& i : *instruments) {
            if (i.type != QLatin1String("NONE"))
                answered.insert(i.symbol.toUpper(), i);
        }
    }
    for (Entry& e : entries) {
        const auto it = answered.constFind(e.symbol);
        e.job->arrived(e.symbol, it == answered.constEnd() ? O::Absent : O::Known,
                       it == answered.constEnd() ? nullptr : &*it, false, QString());
    }
}

void QuoteSource::askSpark(const QStringList& chunk, std::vector<Entry> entries)
{
    const QString path =
        QStringLiteral("/v7/finance/spark?symbols=") + joined(chunk) + QStringLiteral("&range=1d&interval=1d");
    const Call call = sent(spark_, chunk, std::move(entries));
    upstream_.getJson(path, 0, [this, chunk, call](const UpstreamReply& r) {
        using O = Job::Outcome;
        const auto shared = std::make_shared<std::vector<Entry>>(answered(spark_, chunk, call));
        if (!r.ok()) {
            for (Entry& e : *shared)
                e.job->arrived(e.symbol, O::Failed, nullptr, true, r.detail);
            return;
        }
        // Only names are asked here. A refused or odd answer leaves every
        // symbol to its chart.
        const auto charts = r.status == 200 ? livejson::parseSpark(r.body) : std::nullopt;
        QHash<QString, Instrument> complete;
        if (charts) {
            for (auto it = charts->constBegin(); it != charts->constEnd(); ++it)
                complete.insert(it.key(), currentFromChart(it.value()));
        }
        for (Entry& e : *shared) {
            const auto it = complete.constFind(e.symbol);
            e.job->arrived(e.symbol, it == complete.constEnd() ? O::Absent : O::Known,
                           it == complete.constEnd() ? nullptr : &*it, true, QString());
        }
    });
}
