#pragma once

#include "gateway/livejson.h"
#include "gateway/upstream.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

class QuoteSession;

// What the provider says about a set of symbols, filled in as the answers
// come: a symbol is in at most one of the three.
struct QuoteFetch {
    QHash<QString, livejson::Instrument> known;  // by upper-case symbol
    QSet<QString> unknown;                       // definitely not known to the provider
    QHash<QString, QString> failed;              // could not be asked, and why
    bool decided(const QString& symbol) const
    {
        return known.contains(symbol) || unknown.contains(symbol) || failed.contains(symbol);
    }
};

// Finds current quotes, names and exchanges: the multi-symbol quote endpoint
// (50 a call, with the session's crumb) first. Prices are only ever the
// provider's own: what that answer lacks (and everything, without a
// session) comes from the day's bar of the symbol's chart. Names alone take
// the keyless spark endpoint (20 a call) without a session. Symbols of
// requests that arrive together share the calls. A symbol is called unknown
// only when the chart endpoint says so.
class QuoteSource {
public:
    QuoteSource(Upstream& upstream, QuoteSession& session, int cacheMs);
    ~QuoteSource();

    // `symbols` in upper case, without duplicates; `prices`: the day's prices
    // are wanted, not only names and exchanges. Once `cancelled` is set,
    // nothing more is asked for them and `done` may never be called. The
    // result returned fills in as answers arrive.
    std::shared_ptr<const QuoteFetch> fetch(const QStringList& symbols, bool prices, Upstream::Cancelled cancelled,
                                            std::function<void(const QuoteFetch&)> done);

    // The provider refuses quote calls of many symbols (429s from 65 on).
    static constexpr int kChunk = 50;
    static constexpr int kSparkChunk = 20;
    // Symbols asked within this long of each other go into the same calls.
    static constexpr int kGatherMs = 150;
    // The chart path of `symbol` with `query`.
    static QString chartPath(const QString& symbol, const QString& query);
    // The chart query of a symbol's latest days: the current-quote fallback
    // and the quote page ask the same, so they share one cached answer.
    static inline const QString kLatestDaysQuery = QStringLiteral("range=5d&interval=1d");

private:
    class Job;
    struct Entry {
        QString symbol;
        std::shared_ptr<Job> job;
    };
    using Call = std::shared_ptr<std::vector<Entry>>;
    struct Pool {
        int chunk = 0;
        bool spark = false;
        QString path;  // of the endpoint's calls
        std::deque<Entry> entries;
        QHash<QString, Call> asked;  // calls sent and not answered yet, by symbol
        QTimer timer;
    };

    void add(Pool& pool, const QString& symbol, const std::shared_ptr<Job>& job);
    // A call of `chunk` under way: later askers of its symbols join it.
    Call sent(Pool& pool, const QStringList& chunk, std::vector<Entry> entries);
    // Its answer came: the entries it holds by now.
    static std::vector<Entry> answered(Pool& pool, const QStringList& chunk, const Call& call);
    void flush(Pool& pool, bool partial);
    void askQuotes(const QStringList& chunk, std::vector<Entry> entries, bool renewed);
    void quotesArrived(const QStringList& chunk, std::vector<Entry> entries, bool renewed, const UpstreamReply& r);
    void askSpark(const QStringList& chunk, std::vector<Entry> entries);
    void remember(const QString& symbol, const livejson::Instrument& i, bool exact);

    Upstream& upstream_;
    QuoteSession& session_;
    int cacheMs_;
    Pool quotes_, spark_;
    struct Recent {
        livejson::Instrument instrument;
        bool unknown = false;
        bool exact = false;  // every price of the day the provider's own
        qint64 at = 0;
    };
    QHash<QString, Recent> recent_;  // answers of the last cacheMs, by symbol
    QElapsedTimer clock_;
};

// The instrument of a 5-day chart answer as a current quote: the meta's
// price, with the open (and, when the meta lacks them, the day's range and
// volume) of the bar of the last trading day.
livejson::Instrument currentFromChart(const livejson::Chart& chart);
// `base` with what it lacks taken from the chart of the same symbol.
livejson::Instrument completedFromChart(const livejson::Instrument& base, const livejson::Chart& chart);
// An index (its open and range may be 0: the provider fills none).
bool isIndex(const livejson::Instrument& i);
// True when every value of a current-quote line is the provider's: time,
// open, high, low, last and volume; an open or range of 0 only for an index.
bool exactQuote(const livejson::Instrument& i);
