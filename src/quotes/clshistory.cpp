#include "quotes/clshistory.h"

#include "database/clsdata.h"
#include "quotes/fetch.h"
#include "quotes/gap.h"
#include "support/log.h"
#include "support/state.h"
#include "support/yield.h"

#include <QLocale>
#include <algorithm>

namespace {

QString shortDate(const QDate& d)
{
    return QLocale().toString(d, QLocale::ShortFormat);
}

QString isoDate(const QDate& d)
{
    return d.toString(Qt::ISODate);
}

QDate toDate(qint32 yyyymmdd)
{
    return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100);
}

}  // namespace

clsHistory::clsHistory() : gap(&historicalGap()) {}

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
    if (data)
        recordHistory(*data, HTicker, HName, start, end, succeeded, failed, timedOut);
}

void clsHistory::go()
{
    timeout_ = false;
    const qsizetype count = std::min(startdate.size(), enddate.size());
    for (qsizetype i = 0; i < count; ++i) {
        if (!range(startdate[i], enddate[i]))
            return;
    }
}

// One range; false when go() must end (an empty range, Stop, an aborted
// write).
bool clsHistory::range(QDate& start, QDate& end)
{
    while (start.dayOfWeek() >= Qt::Saturday)
        start = start.addDays(1);
    while (end.dayOfWeek() >= Qt::Saturday)
        end = end.addDays(-1);
    if (end < start)
        return false;

    WriteLog(QStringLiteral("downloading ") + HTicker + QLatin1Char(' ') + isoDate(start) + QLatin1Char(' ')
             + isoDate(end));
    show(2, 2, shortDate(start));
    show(2, 4, shortDate(end));
    yieldToGui();
    if (state().abortFlag)
        return false;

    FetchRequest request;
    request.url = historyUrl(settings().chartHost, HTicker, start, end);
    request.policy = FetchPolicy::forVariant(FetchVariant::Historical, gap);
    request.beforeAttempt = [this](int attempt) { show(1, 3, QStringLiteral("Request: %1").arg(attempt)); };
    WriteLog(QStringLiteral("Url: ") + request.url);
    show(1, 2, QStringLiteral("Downloading ") + HTicker);
    const FetchResult result = fetchurl(request);
    ++requests_;
    WriteLog(QStringLiteral("Response from Yahoo :") + result.text());
    if (state().abortFlag || result.aborted)
        return false;
    show(1, 2, QStringLiteral("Decoding data...."));
    show(1, 3, QString());

    // A time-out counts only when no usable answer came after it.
    timeout_ = result.timedOut && result.body.size() <= 40;
    if (badHistoryAnswer(result.body, timeout_)) {
        ++failedRequests_;
        record(start, end, false, !timeout_, timeout_);
        return true;
    }

    HistoryDecodeOptions options;
    options.split = settings().split != 0;
    options.euro = settings().teller5 == 1;
    options.reject = settings().reject;
    options.first = start;
    options.last = end;
    QVector<HistoryRecord> days = decodeHistory(result.body, HTicker, options);
    const bool anyDay = !days.isEmpty();
    days.erase(std::remove_if(days.begin(), days.end(), [](const HistoryRecord& r) { return !r.survives; }),
               days.end());

    if (days.isEmpty()) {
        // Nothing to keep. Only a range of today alone is not a failure:
        // the service has no history for today before the day is over.
        if (anyDay || !(start == today && end == today)) {
            ++failedRequests_;
            record(start, end, false, true, false);
        }
        return true;
    }

    if (writeRecords && !writeRecords(days))
        return false;
    const auto [lo, hi] = std::minmax_element(days.begin(), days.end(), [](const HistoryRecord& a, const HistoryRecord& b) {
        return a.date < b.date;
    });
    const QDate first = toDate(lo->date);
    const QDate last = toDate(hi->date);
    lastDate_ = std::max(lastDate_, hi->date);
    records_ += days;

    // Gaps of up to ten days at either end are weekends and holidays; longer
    // ones are days the service did not send.
    if (first > start.addDays(10))
        record(start, first.addDays(-1), false, true, false);
    if (end > last.addDays(10))
        record(last.addDays(1), end, false, true, false);
    record(first, last, true, false, false);
    return true;
}
