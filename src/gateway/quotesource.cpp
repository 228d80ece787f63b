#include "gateway/quotesource.h"

#include "gateway/session.h"

#include <QUrl>

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
    const QDate day = i.exchange.local(i.marketTime).date();
    for (auto b = chart.bars.crbegin(); b != chart.bars.crend(); ++b) {
        if (i.exchange.local(b->time).date() != day)
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

bool completeQuote(const Instrument& i)
{
    return i.marketTime > 0 && present(i.last) && present(i.high) && present(i.low) && present(i.volume);
}

// The work for one set of symbols: what is known already, the pooled calls
// of the quote or spark endpoint, then the charts of the rest. Kept alive by
// the pools and callbacks that hold it.
class QuoteSource::Job : public std::enable_shared_from_this<Job> {
public:
    Job(QuoteSource& source, Upstream::Cancelled cancelled, std::function<void(const QuoteFetch&)> done)
        : s_(source), cancelled_(std::move(cancelled)), done_(std::move(done))
    {
    }

    enum class Outcome { Known, Absent, Unavailable, Failed };

    // Nothing more is worth asking for this job.
    bool over() const { return result_.failed || !done_ || (cancelled_ && *cancelled_); }

    void run(const QStringList& symbols)
    {
        open_ = 1;  // held until every symbol is under way
        QStringList rest;
        const qint64 now = s_.clock_.elapsed();
        for (const QString& symbol : symbols) {
            const auto hit = s_.recent_.constFind(symbol);
            if (hit != s_.recent_.constEnd() && now - hit->at < s_.cacheMs_) {
                if (hit->unknown)
                    result_.unknown.insert(symbol);
                else
                    result_.known.insert(symbol, hit->instrument);
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
            if (o == QuoteSession::Outcome::Ready) {
                for (const QString& symbol : rest)
                    self->pool(self->s_.quotes_, symbol);
            } else if (o == QuoteSession::Outcome::Unavailable) {
                for (const QString& symbol : rest)
                    self->pool(self->s_.spark_, symbol);
            } else {
                self->fail(o == QuoteSession::Outcome::Throttled ? QStringLiteral("Too Many Requests")
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
                result_.known.insert(symbol, *i);
                s_.remember(symbol, *i);
                break;
            case Outcome::Absent:
                // Left out, delisted, or without the day's figures: only
                // the chart endpoint can tell "unknown" from "not here".
                askChart(symbol);
                break;
            case Outcome::Unavailable:
                if (fromSpark)
                    askChart(symbol);
                else
                    pool(s_.spark_, symbol);
                break;
            case Outcome::Failed:
                fail(why);
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

    void askChart(const QString& symbol)
    {
        if (over())
            return;
        ++open_;
        auto self = shared_from_this();
        s_.upstream_.getJson(
            chartPath(symbol, kLatestDaysQuery), s_.cacheMs_,
            [self, symbol](const UpstreamReply& r) {
                self->chartArrived(symbol, r);
                self->close();
            },
            cancelled_);
    }

    void chartArrived(const QString& symbol, const UpstreamReply& r)
    {
        if (!r.ok()) {
            fail(r.detail);
            return;
        }
        if (r.status == 404) {
            result_.unknown.insert(symbol);
            s_.recent_.insert(symbol, {Instrument(), true, s_.clock_.elapsed()});
            return;
        }
        const auto chart = r.status == 200 ? livejson::parseChart(r.body) : std::nullopt;
        if (!chart) {
            fail(QStringLiteral("HTTP %1 without a chart for %2").arg(r.status).arg(symbol));
            return;
        }
        const Instrument i = currentFromChart(*chart);
        result_.known.insert(symbol, i);
        s_.remember(symbol, i);
    }

    void fail(const QString& why)
    {
        if (result_.failed)
            return;
        result_.failed = true;
        result_.failure = why;
    }

    void close()
    {
        if (--open_ == 0 && done_) {
            auto done = std::move(done_);
            done_ = nullptr;
            done(result_);
        }
    }

    QuoteSource& s_;
    Upstream::Cancelled cancelled_;
    std::function<void(const QuoteFetch&)> done_;
    QuoteFetch result_;
    int open_ = 0;
};

QuoteSource::QuoteSource(Upstream& upstream, QuoteSession& session, int cacheMs)
    : upstream_(upstream), session_(session), cacheMs_(cacheMs)
{
    clock_.start();
    quotes_.chunk = kChunk;
    spark_.chunk = kSparkChunk;
    spark_.spark = true;
    for (Pool* p : {&quotes_, &spark_}) {
        p->timer.setSingleShot(true);
        QObject::connect(&p->timer, &QTimer::timeout, &p->timer, [this, p] { flush(*p, true); });
    }
}

QuoteSource::~QuoteSource() = default;

void QuoteSource::fetch(const QStringList& symbols, Upstream::Cancelled cancelled,
                        std::function<void(const QuoteFetch&)> done)
{
    auto job = std::make_shared<Job>(*this, std::move(cancelled), std::move(done));
    job->run(symbols);
}

void QuoteSource::remember(const QString& symbol, const Instrument& i)
{
    const qint64 now = clock_.elapsed();
    recent_.insert(symbol, {i, false, now});
    if (recent_.size() > 20000)
        recent_.removeIf([this, now](const auto& it) { return now - it.value().at >= cacheMs_; });
}

void QuoteSource::add(Pool& pool, const QString& symbol, const std::shared_ptr<Job>& job)
{
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

void QuoteSource::askQuotes(const QStringList& chunk, std::vector<Entry> entries, bool renewed)
{
    const QString path = QStringLiteral("/v7/finance/quote?symbols=") + joined(chunk) + QStringLiteral("&crumb=") +
                         encoded(session_.crumb());
    auto shared = std::make_shared<std::vector<Entry>>(std::move(entries));
    upstream_.getJson(path, 0, [this, chunk, shared, renewed](const UpstreamReply& r) {
        quotesArrived(chunk, std::move(*shared), renewed, r);
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
    auto shared = std::make_shared<std::vector<Entry>>(std::move(entries));
    upstream_.getJson(path, 0, [shared](const UpstreamReply& r) {
        using O = Job::Outcome;
        if (!r.ok()) {
            for (Entry& e : *shared)
                e.job->arrived(e.symbol, O::Failed, nullptr, true, r.detail);
            return;
        }
        // A refused or odd answer leaves every symbol to its chart.
        const auto charts = r.status == 200 ? livejson::parseSpark(r.body) : std::nullopt;
        QHash<QString, Instrument> complete;
        if (charts) {
            for (auto it = charts->constBegin(); it != charts->constEnd(); ++it) {
                const Instrument i = currentFromChart(it.value());
                if (completeQuote(i))
                    complete.insert(it.key(), i);
            }
        }
        for (Entry& e : *shared) {
            const auto it = complete.constFind(e.symbol);
            e.job->arrived(e.symbol, it == complete.constEnd() ? O::Absent : O::Known,
                           it == complete.constEnd() ? nullptr : &*it, true, QString());
        }
    });
}
