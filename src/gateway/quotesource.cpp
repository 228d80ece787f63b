#include "gateway/quotesource.h"

#include "gateway/session.h"
#include "gateway/upstream.h"

#include <QUrl>
#include <memory>

using livejson::Instrument;

namespace {

QString encoded(const QString& symbol)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(symbol));
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
        i.open = b->open;
        if (!livejson::present(i.high))
            i.high = b->high;
        if (!livejson::present(i.low))
            i.low = b->low;
        if (!livejson::present(i.volume))
            i.volume = b->volume;
        break;
    }
    return i;
}

// One fetch: the chunks of the quote endpoint, then the charts of the rest.
// Kept alive by the callbacks it hands out.
class QuoteSource::Job : public std::enable_shared_from_this<Job> {
public:
    Job(QuoteSource& source, std::function<void(const QuoteFetch&)> done) : s_(source), done_(std::move(done)) {}

    void run(const QStringList& symbols)
    {
        open_ = 1;  // held until every request is under way
        auto self = shared_from_this();
        s_.session_.withCrumb([self, symbols](QuoteSession::Outcome o) {
            if (o == QuoteSession::Outcome::Ready) {
                for (qsizetype from = 0; from < symbols.size(); from += kChunk)
                    self->askQuotes(symbols.mid(from, kChunk), false);
            } else if (o == QuoteSession::Outcome::Unavailable) {
                for (const QString& symbol : symbols)
                    self->askChart(symbol);
            } else {
                self->fail(o == QuoteSession::Outcome::Throttled ? QStringLiteral("Too Many Requests")
                                                                 : QStringLiteral("no connection to the provider"));
            }
            self->close();
        });
    }

private:
    void askQuotes(const QStringList& chunk, bool renewed)
    {
        QStringList parts;
        for (const QString& symbol : chunk)
            parts << encoded(symbol);
        const QString path = QStringLiteral("/v7/finance/quote?symbols=") + parts.join(QLatin1Char(','))
                             + QStringLiteral("&crumb=") + encoded(s_.session_.crumb());
        ++open_;
        auto self = shared_from_this();
        s_.upstream_.getJson(path, s_.cacheMs_, [self, chunk, renewed](const UpstreamReply& r) {
            self->quotesArrived(chunk, renewed, r);
            self->close();
        });
    }

    void quotesArrived(const QStringList& chunk, bool renewed, const UpstreamReply& r)
    {
        if (!r.ok()) {
            fail(r.detail);
            return;
        }
        if (r.status == 401) {
            if (renewed) {
                // A fresh crumb was refused as well: the per-symbol endpoint
                // answers without one.
                s_.session_.giveUp();
                for (const QString& symbol : chunk)
                    askChart(symbol);
                return;
            }
            s_.session_.invalidate();
            ++open_;
            auto self = shared_from_this();
            s_.session_.withCrumb([self, chunk](QuoteSession::Outcome o) {
                if (o == QuoteSession::Outcome::Ready)
                    self->askQuotes(chunk, true);
                else if (o == QuoteSession::Outcome::Unavailable)
                    for (const QString& symbol : chunk)
                        self->askChart(symbol);
                else
                    self->fail(QStringLiteral("no session with the provider"));
                self->close();
            });
            return;
        }
        const auto instruments = r.status == 200 ? livejson::parseQuotes(r.body) : std::nullopt;
        QSet<QString> answered;
        if (instruments) {
            for (const Instrument& i : *instruments) {
                const QString key = i.symbol.toUpper();
                if (i.type == QLatin1String("NONE") || !chunk.contains(key))
                    continue;
                result_.known.insert(key, i);
                answered.insert(key);
            }
        }
        // Left out or delisted: only the chart endpoint can tell "unknown"
        // from "not in this answer".
        for (const QString& symbol : chunk) {
            if (!answered.contains(symbol))
                askChart(symbol);
        }
    }

    void askChart(const QString& symbol)
    {
        if (result_.failed)
            return;
        ++open_;
        auto self = shared_from_this();
        s_.upstream_.getJson(chartPath(symbol, kLatestDaysQuery), s_.cacheMs_,
                             [self, symbol](const UpstreamReply& r) {
                                 self->chartArrived(symbol, r);
                                 self->close();
                             });
    }

    void chartArrived(const QString& symbol, const UpstreamReply& r)
    {
        if (!r.ok()) {
            fail(r.detail);
            return;
        }
        if (r.status == 404) {
            result_.unknown.insert(symbol);
            return;
        }
        const auto chart = r.status == 200 ? livejson::parseChart(r.body) : std::nullopt;
        if (!chart) {
            fail(QStringLiteral("HTTP %1 without a chart for %2").arg(r.status).arg(symbol));
            return;
        }
        result_.known.insert(symbol, currentFromChart(*chart));
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
    std::function<void(const QuoteFetch&)> done_;
    QuoteFetch result_;
    int open_ = 0;
};

QuoteSource::QuoteSource(Upstream& upstream, QuoteSession& session, int cacheMs)
    : upstream_(upstream), session_(session), cacheMs_(cacheMs)
{
}

void QuoteSource::fetch(const QStringList& symbols, std::function<void(const QuoteFetch&)> done)
{
    auto job = std::make_shared<Job>(*this, std::move(done));
    job->run(symbols);
}
