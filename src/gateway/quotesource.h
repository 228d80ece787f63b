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

// What the provider says about a set of symbols right now.
struct QuoteFetch {
    QHash<QString, livejson::Instrument> known;  // by upper-case symbol
    QSet<QString> unknown;                       // definitely not known to the provider
    bool failed = false;                         // some symbol could not be asked
    QString failure;                             // why, for the failure page
};

// Finds current quotes, names and exchanges: the multi-symbol quote endpoint
// (100 a call, with the session's crumb) first; without a session the
// keyless spark endpoint (20 a call); the chart endpoint per symbol only for
// what those leave out. Symbols of requests that arrive together share the
// calls. A symbol is called unknown only when the chart endpoint says so.
class QuoteSource {
public:
    QuoteSource(Upstream& upstream, QuoteSession& session, int cacheMs);
    ~QuoteSource();

    // `symbols` in upper case, without duplicates. Once `cancelled` is set,
    // nothing more is asked for them and `done` may never be called.
    void fetch(const QStringList& symbols, Upstream::Cancelled cancelled, std::function<void(const QuoteFetch&)> done);

    static constexpr int kChunk = 100;
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
    struct Pool {
        int chunk = 0;
        bool spark = false;
        std::deque<Entry> entries;
        QTimer timer;
    };

    void add(Pool& pool, const QString& symbol, const std::shared_ptr<Job>& job);
    void flush(Pool& pool, bool partial);
    void askQuotes(const QStringList& chunk, std::vector<Entry> entries, bool renewed);
    void quotesArrived(const QStringList& chunk, std::vector<Entry> entries, bool renewed, const UpstreamReply& r);
    void askSpark(const QStringList& chunk, std::vector<Entry> entries);
    void remember(const QString& symbol, const livejson::Instrument& i);

    Upstream& upstream_;
    QuoteSession& session_;
    int cacheMs_;
    Pool quotes_, spark_;
    struct Recent {
        livejson::Instrument instrument;
        bool unknown = false;
        qint64 at = 0;
    };
    QHash<QString, Recent> recent_;  // answers of the last cacheMs, by symbol
    QElapsedTimer clock_;
};

// The instrument of a 5-day chart answer as a current quote: the meta's
// price, with the open (and, when the meta lacks them, the day's range and
// volume) of the bar of the last trading day.
livejson::Instrument currentFromChart(const livejson::Chart& chart);
// True when a spark answer's instrument has all a current quote needs but
// the open: price, time, day's range and volume.
bool completeQuote(const livejson::Instrument& i);
