#include "runs/chartframe.h"

#include "core/dates.h"
#include "database/bookkeeping.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/quotestore.h"
#include "runs/storecompare.h"
#include "support/errors.h"
#include "writers/codecs/codec.h"
#include "writers/formatregistry.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace {

QString price(double value)
{
    // Prices as the files hold them: up to four decimals, no trailing zeros
    // beyond the cents.
    QString text = QString::number(value, 'f', 4);
    while (text.endsWith(QLatin1Char('0')) && text.indexOf(QLatin1Char('.')) < text.size() - 3)
        text.chop(1);
    return text;
}

QString amount(double value) { return QString::number(value, 'f', 0); }

}  // namespace

void ChartFrame::setSeries(storedfiles::Series series, const QVector<QDate>& flagged)
{
    series_ = std::move(series);
    flagged_ = QSet<QDate>(flagged.begin(), flagged.end());
    differs_.clear();
    provisional_.clear();
    lacking_.clear();
    showRange(Range::All);
}

void ChartFrame::setStoreDifferences(const QVector<QDate>& differs, QVector<QDate> lacking)
{
    differs_ = QSet<QDate>(differs.begin(), differs.end());
    lacking_ = std::move(lacking);
    std::sort(lacking_.begin(), lacking_.end());
}

QVector<QDate> ChartFrame::lacking() const
{
    QVector<QDate> out;
    if (isEmpty())
        return out;
    const QDate from = series_.days[first_].date, to = series_.days[last_].date;
    for (const QDate& d : lacking_) {
        if (d >= from && d <= to)
            out.append(d);
    }
    return out;
}

void ChartFrame::showRange(Range range)
{
    if (isEmpty()) {
        first_ = 0;
        last_ = -1;
        return;
    }
    last_ = static_cast<int>(series_.days.size()) - 1;
    const QDate end = series_.days.back().date;
    QDate start;
    switch (range) {
    case Range::OneMonth:
        start = end.addMonths(-1);
        break;
    case Range::SixMonths:
        start = end.addMonths(-6);
        break;
    case Range::OneYear:
        start = end.addYears(-1);
        break;
    case Range::FiveYears:
        start = end.addYears(-5);
        break;
    case Range::All:
        first_ = 0;
        return;
    }
    // The first day after the start: a range of one month ends today and
    // begins the day after the same day a month ago.
    const auto it = std::upper_bound(series_.days.begin(), series_.days.end(), start,
                                     [](QDate d, const storedfiles::Day& day) { return d < day.date; });
    first_ = std::min(static_cast<int>(it - series_.days.begin()), last_);
}

void ChartFrame::clampStretch(int count, int anchorIndex, double anchorShare)
{
    const int total = static_cast<int>(series_.days.size());
    count = std::clamp(count, std::min(kMinDays, total), total);
    int first = anchorIndex - static_cast<int>(std::lround(anchorShare * (count - 1)));
    first = std::clamp(first, 0, total - count);
    first_ = first;
    last_ = first + count - 1;
}

void ChartFrame::zoom(double factor, int anchor)
{
    if (isEmpty() || !(factor > 0))
        return;
    anchor = std::clamp(anchor, first_, last_);
    const int count = visibleCount();
    const double share = count > 1 ? double(anchor - first_) / (count - 1) : 0.5;
    int wanted = static_cast<int>(std::lround(count * factor));
    // A zoom always changes something while there is room for it.
    if (factor < 1 && wanted >= count)
        wanted = count - 1;
    if (factor > 1 && wanted <= count)
        wanted = count + 1;
    clampStretch(wanted, anchor, share);
}

void ChartFrame::pan(int days)
{
    if (isEmpty())
        return;
    const int total = static_cast<int>(series_.days.size());
    const int count = visibleCount();
    first_ = std::clamp(first_ + days, 0, total - count);
    last_ = first_ + count - 1;
}

QVector<ChartFrame::Bar> ChartFrame::bars() const
{
    QVector<Bar> out;
    const int count = visibleCount();
    if (count == 0)
        return out;
    const int per = (count + kMaxBars - 1) / kMaxBars;
    out.reserve(count / per + 1);
    for (int i = first_; i <= last_; i += per) {
        const int end = std::min(i + per - 1, last_);
        const storedfiles::Day& a = series_.days[i];
        Bar b{a.date, a.date, a.open, a.high, a.low, a.close, 0, false, false, false};
        for (int j = i; j <= end; ++j) {
            const storedfiles::Day& d = series_.days[j];
            b.last = d.date;
            b.high = std::max(b.high, d.high);
            b.low = std::min(b.low, d.low);
            b.close = d.close;
            b.volume += d.volume;
            b.flagged = b.flagged || flagged_.contains(d.date);
            b.differs = b.differs || differs_.contains(d.date);
            b.provisional = b.provisional || provisional_.contains(d.date);
        }
        out.append(b);
    }
    return out;
}

QVector<ChartFrame::Gap> ChartFrame::gaps() const
{
    QVector<Gap> out;
    for (int i = std::max(first_, 1); i <= last_; ++i) {
        const QDate before = series_.days[i - 1].date, after = series_.days[i].date;
        if (before.daysTo(after) > kGapDays)
            out.append({before, after});
    }
    return out;
}

int ChartFrame::nearest(QDate date) const
{
    if (isEmpty())
        return -1;
    const auto& days = series_.days;
    const auto it = std::lower_bound(days.begin(), days.end(), date,
                                     [](const storedfiles::Day& day, QDate d) { return day.date < d; });
    if (it == days.begin())
        return 0;
    if (it == days.end())
        return static_cast<int>(days.size()) - 1;
    const int at = static_cast<int>(it - days.begin());
    return date.daysTo(it->date) < days[at - 1].date.daysTo(date) ? at : at - 1;
}

QString ChartFrame::describe(int index) const
{
    if (index < 0 || index >= series_.days.size())
        return {};
    const storedfiles::Day& d = series_.days[index];
    QString text = d.date.toString(Qt::ISODate);
    if (series_.hasOpen)
        text += QStringLiteral("  O ") + price(d.open);
    text +=
        QStringLiteral("  H %1  L %2  C %3  V %4").arg(price(d.high), price(d.low), price(d.close), amount(d.volume));
    if (series_.hasOpenInterest)
        text += QStringLiteral("  OI ") + amount(d.openInterest);
    if (flagged(d.date))
        text += QStringLiteral("  (flagged by the check)");
    if (differs(d.date))
        text += QStringLiteral("  (the quote store holds other values)");
    if (provisional(d.date))
        text += QStringLiteral("  (provisional: taken before the close)");
    return text;
}

namespace chartsource {

Loaded load(Database& db, QChar letter, const QString& ticker)
{
    Loaded out;
    QString name;
    try {
        const QVector<lists::Symbol> found = lists::symbolsWithTicker(db, ticker);
        if (!found.isEmpty())
            name = found.first().name;
        out.flagged = bookkeeping::findingDates(db, ticker);
    } catch (const AppError&) {
        // The files are read all the same; only a long name and the flags are missing.
    }
    const ExportFormat* format = formats::find(letter);
    if (!format || !format->stored)
        return out;
    StoredSymbol stored = format->stored->lookup(db, *format)->read(ticker, name);
    out.where = std::move(stored.where);
    out.series = std::move(stored.series);
    if (out.where.isEmpty() || !QFileInfo::exists(QuoteStore::defaultPath()))
        return out;
    try {
        QuoteStore store;
        const QVector<core::Bar> bars = store.bars(ticker);
        for (const core::Bar& b : bars) {
            if (b.has(core::Bar::Provisional))
                out.provisional.append(core::dateOf(b.date));
        }
        const storecompare::FormatComparison c =
            storecompare::compare(bars, out.series, format->stored->keepsFolders());
        for (const storecompare::Day& d : c.days) {
            const QDate date = core::dateOf(d.stored.date);
            (d.kind == storecompare::Day::Kind::Differs ? out.differs : out.lacking).append(date);
        }
    } catch (const StoreError&) {
        // The file's days are shown all the same, without the comparison.
    }
    return out;
}

}  // namespace chartsource
