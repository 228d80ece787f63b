#pragma once

#include "gateway/livejson.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

class QuoteSession;
class Upstream;

// What the provider says about a set of symbols right now.
struct QuoteFetch {
    QHash<QString, livejson::Instrument> known;  // by upper-case symbol
    QSet<QString> unknown;                       // definitely not known to the provider
    bool failed = false;                         // some symbol could not be asked
    QString failure;                             // why, for the failure page
};

// Finds current quotes, names and exchanges: the multi-symbol quote endpoint
// in chunks of 100 first, the chart endpoint per symbol for what it did not
// answer. A symbol is called unknown only when the chart endpoint says so.
class QuoteSource {
public:
    QuoteSource(Upstream& upstream, QuoteSession& session, int cacheMs);

    // `symbols` in upper case, without duplicates.
    void fetch(const QStringList& symbols, std::function<void(const QuoteFetch&)> done);

    static constexpr int kChunk = 100;
    // The chart path of `symbol` with `query`.
    static QString chartPath(const QString& symbol, const QString& query);
    // The chart query of a symbol's latest days: the current-quote fallback
    // and the quote page ask the same, so they share one cached answer.
    static inline const QString kLatestDaysQuery = QStringLiteral("range=5d&interval=1d");

private:
    class Job;

    Upstream& upstream_;
    QuoteSession& session_;
    int cacheMs_;
};

// The instrument of a 5-day chart answer as a current quote: the meta's
// price, with the open (and, when the meta lacks them, the day's range and
// volume) of the bar of the last trading day.
livejson::Instrument currentFromChart(const livejson::Chart& chart);
