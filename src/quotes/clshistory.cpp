#include "quotes/clshistory.h"

#include "database/clsdata.h"
#include "quotes/fetch.h"
#include "quotes/gap.h"
#include "quotes/quoteclient.h"
#include "support/log.h"
#include "support/state.h"

#include <QLocale>
#include <QTimer>
#include <algorithm>

namespace {

QString shortDate(const QDate& d) { return QLocale().toString(d, QLocale::ShortFormat); }

QString isoDate(const QDate& d) { return d.toString(Qt::ISODate); }

QDate toDate(qint32 yyyymmdd) { return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100); }

}  // namespace

clsHistory::clsHistory(QuoteClient& client, QObject* parent)
    : QObject(parent), gap(&client.historicalGap()), client_(client)
{
}

clsHistory::~clsHistory() = default;

void clsHistory::show(int bar, int panel, const QString& text) const
{
    if (status)
        status(bar, panel, text);
}

void recordHistory(clsData& data, const QString& ticker, const QString& name, const QDate& start, const QDate& end,
                   bool succeeded, bool failed, bool timedOut)
{
    data.historyticker = ticker;
    data.historynaam = name;
    data.historystartdate = start;
    data.historyenddate = end;
    data.historygelukt = succeeded;
    data.historymislukt = failed;
    data.historytimeout = timedOut;
    data.writehistory();
}

void clsHistory::record(const QDate& start, const QDate& end, bool succeeded, bool failed, bool timedOut)
{
    outcomes_.append({start, end, succeeded, failed, timedOut});
}

void clsHistory::start()
{
    if (running_)
        return;
    running_ = true;
    complete_ = false;
    next_ = 0;
    // `finished` always comes from the event loop, never from inside start().
    QTimer::singleShot(0, this, &clsHistory::nextRange);
}

void clsHistory::end(bool complete)
{
    complete_ = complete;
    running_ = false;
    emit finished();
}

// The next range's request; an empty range (a weekend) or Stop ends the
// download.
void clsHistory::nextRange()
{
    const qsizetype count = std::min(startdate.size(), enddate.size());
    if (next_ >= count) {
        end(true);
        return;
    }
    QDate& start = startdate[next_];
    QDate& last = enddate[next_];
    ++next_;
    while (start.dayOfWeek() >= Qt::Saturday)
        start = start.addDays(1);
    while (last.dayOfWeek() >= Qt::Saturday)
        last = last.addDays(-1);
    if (last < start) {
        end(true);
        return;
    }
    if (client_.cancelled()) {
        end(false);
        return;
    }
    start_ = start;
    end_ = last;

    WriteLog(QStringLiteral("downloading ") + HTicker + QLatin1Char(' ') + isoDate(start) + QLatin1Char(' ') +
             isoDate(last));
    show(2, 2, shortDate(start));
    show(2, 4, shortDate(last));

    FetchRequest request;
    request.url = historyUrl(settings().chartHost, HTicker, start, last);
    request.policy = FetchPolicy::forVariant(FetchVariant::Historical, gap);
    request.beforeAttempt = [this](int attempt) { show(1, 3, QStringLiteral("Request: %1").arg(attempt)); };
    WriteLog(QStringLiteral("Url: ") + request.url);
    show(1, 2, QStringLiteral("Downloading ") + HTicker);
    fetch_ = std::make_unique<AsyncFetch>(client_, request);
    connect(fetch_.get(), &AsyncFetch::finished, this, &clsHistory::answered);
    fetch_->start();
}

void clsHistory::answered()
{
    // The fetch is inside its own signal: it is kept until the next answer
    // (or the end of this object), and the one before it goes now.
    done_ = std::move(fetch_);
    const FetchResult& result = done_->result();
    ++requests_;
    emit requestAnswered();
    WriteLog(QStringLiteral("Response from Yahoo :") + result.text());
    if (client_.cancelled() || result.aborted) {
        end(false);
        return;
    }
    show(1, 2, QStringLiteral("Decoding data...."));
    show(1, 3, QString());
    const QDate start = start_, last = end_;

    // A time-out counts only when no usable answer came after it.
    const bool timedOut = result.timedOut && result.body.size() <= 40;
    if (badHistoryAnswer(result.body, timedOut)) {
        ++failedRequests_;
        record(start, last, false, !timedOut, timedOut);
        nextRange();
        return;
    }

    HistoryDecodeOptions options;
    options.split = settings().split != 0;
    options.euro = settings().teller5 == 1;
    options.reject = settings().reject;
    options.first = start;
    options.last = last;
    QVector<core::Bar> days = decodeHistory(result.body, HTicker, options);
    splits_ += decodeSplits(result.body, options);
    const bool anyDay = !days.isEmpty();
    days.erase(std::remove_if(days.begin(), days.end(), [](const core::Bar& r) { return r.has(core::Bar::Refused); }),
               days.end());

    if (days.isEmpty()) {
        // Nothing to keep. Only a range of today alone is not a failure:
        // the service has no history for today before the day is over.
        if (anyDay || !(start == today && last == today)) {
            ++failedRequests_;
            record(start, last, false, true, false);
        }
        nextRange();
        return;
    }

    const auto [lo, hi] = std::minmax_element(days.begin(), days.end(),
                                              [](const core::Bar& a, const core::Bar& b) { return a.date < b.date; });
    const QDate first = toDate(lo->date);
    const QDate latest = toDate(hi->date);
    lastDate_ = std::max(lastDate_, hi->date);
    // Grown by what the range brought, no more: a symbol's days are held
    // until it is written, for every symbol in flight.
    if (records_.isEmpty()) {
        records_ = std::move(days);
    } else {
        records_.reserve(records_.size() + days.size());
        records_ += days;
    }

    // Gaps of up to ten days at either end are weekends and holidays; longer
    // ones are days the service did not send.
    if (first > start.addDays(10))
        record(start, first.addDays(-1), false, true, false);
    if (last > latest.addDays(10))
        record(latest.addDays(1), last, false, true, false);
    record(first, latest, true, false, false);
    nextRange();
}
