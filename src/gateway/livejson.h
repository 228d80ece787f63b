#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QTimeZone>
#include <QVector>
#include <cmath>
#include <limits>
#include <optional>

// Readers of the live source's JSON answers. They keep what the legacy
// answers need and ignore every other field, so new fields do not matter.
namespace livejson {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
inline bool present(double v) { return !std::isnan(v); }

// Where an instrument trades: the zone its dates and times are taken in.
struct Exchange {
    QString timezoneName;  // "America/New_York"; may be empty
    int gmtOffsetSec = 0;  // the offset of now, used when the zone is unknown
    // The zone by its name, else by the offset. Loops over many bars take it
    // once: making a zone from its name is a look-up each time.
    QTimeZone zone() const;
    // `epochSec` as the exchange's local date and time.
    QDateTime local(qint64 epochSec) const { return QDateTime::fromSecsSinceEpoch(epochSec, zone()); }
};

// The session day of a daily bar stamped `epochSec`, in `zone`: its local
// date, except that a stamp at 22:00 or later belongs to the next day (the
// provider stamps some daily bars an hour or two before midnight of the day
// before, when its daylight-saving rule and the exchange's differ).
QDate sessionDay(qint64 epochSec, const QTimeZone& zone);

// What is known about one symbol: from the quote endpoint or a chart's meta.
struct Instrument {
    QString symbol;
    QString shortName, longName;
    QString fullExchangeName, exchangeCode;
    QString type;  // EQUITY, ETF, INDEX, CURRENCY, MUTUALFUND, NONE...
    Exchange exchange;
    int priceHint = 2;
    qint64 marketTime = 0;  // epoch seconds of the last price; 0 when unknown
    double open = kMissing, high = kMissing, low = kMissing, last = kMissing, volume = kMissing;
    std::optional<qint64> firstTradeDate;  // epoch seconds
};

struct Bar {
    qint64 time = 0;  // epoch seconds
    double open = kMissing, high = kMissing, low = kMissing, close = kMissing, volume = kMissing, adjclose = kMissing;
};

// A split the chart's events report: from `time` on, one old share is
// numerator / denominator new ones.
struct Split {
    qint64 time = 0;  // epoch seconds of the split's bar
    double numerator = 0, denominator = 0;
};

// A distribution the chart's events report (a fund's capital gain), in
// the currency of the prices per share.
struct Distribution {
    qint64 time = 0;  // epoch seconds of its bar
    double amount = 0;
};

// A chart answer: its meta, its daily bars in the order sent and the splits
// and capital gains its events name (when they were asked for), by time.
struct Chart {
    Instrument meta;
    QVector<Bar> bars;
    QVector<Split> splits;
    QVector<Distribution> dividends;  // as the provider reports them: a fund's may hold its capital gains
    QVector<Distribution> capitalGains;
};

// The earliest start the chart endpoint serves for daily bars: 99 years
// before `now` (it refuses more than 100 years of days), in epoch seconds.
qint64 earliestDailyStart(const QDateTime& now);

// A chart answer with its result, or nothing when the body holds none.
std::optional<Chart> parseChart(const QByteArray& body);

// The charts of a spark answer (the same shape per symbol, closes only), by
// upper-case symbol; symbols the provider does not know are absent.
std::optional<QHash<QString, Chart>> parseSpark(const QByteArray& body);

// The instruments of a quote-endpoint answer, or nothing when the body is
// not such an answer.
std::optional<QVector<Instrument>> parseQuotes(const QByteArray& body);

struct SearchHit {
    QString symbol, shortName, longName, exchangeCode, exchangeDisplay, type;
};
// The hits of a search answer that have a symbol, in the order sent.
std::optional<QVector<SearchHit>> parseSearch(const QByteArray& body);

// One page of the lookup endpoint: its hits (type in upper case) and how
// many there are in all (-1 when the answer does not say).
struct LookupPage {
    QVector<SearchHit> hits;
    int total = -1;
};
std::optional<LookupPage> parseLookup(const QByteArray& body);

}  // namespace livejson
