#include "quotes/integrity.h"

#include "support/settingsstore.h"

#include <QDate>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <vector>

namespace integrity {
namespace {

constexpr double kUnit = 100;
// A step within this factor of 100 (50x to 200x) is taken for a unit step:
// no trading day moves a price that far by itself.
constexpr double kBand = 2;
// A bar whose own high is this many times its low holds the step itself
// (a crash within the day), so it says nothing about units.
constexpr double kSpanned = 10;
// The unit of the latest days is taken as settled from this many days on.
constexpr int kLatestDays = 3;

// Which fields a repair rewrote.
enum Field : unsigned { kHigh = 1, kLow = 2, kAllPrices = 16, kVolume = 32 };

QString isoDate(qint32 d) { return QDate(d / 10000, d / 100 % 100, d % 100).toString(Qt::ISODate); }

QString num(double v) { return priceText(v); }

// +1 when `after` is about 100 times `before`, -1 for about a hundredth.
int unitStep(double before, double after)
{
    if (before <= 0 || after <= 0)
        return 0;
    const double r = after / before;
    if (r >= kUnit / kBand && r <= kUnit * kBand)
        return 1;
    if (r <= kBand / kUnit && r >= 1 / (kUnit * kBand))
        return -1;
    return 0;
}

bool spansItself(const Bar& b)
{
    const double hi = std::max({b.open, b.high, b.low, b.close});
    double lo = hi;
    for (double v : {b.open, b.high, b.low, b.close}) {
        if (v > 0)
            lo = std::min(lo, v);
    }
    return lo > 0 && hi / lo >= kSpanned;
}

// `observed` (the close before the split over the close on its day) is the
// split's ratio rather than no change at all: within half the distance to 1
// (in logarithms) and at most 35 % off.
bool matchesRatio(double observed, double ratio)
{
    if (observed <= 0 || ratio <= 0 || ratio == 1)
        return false;
    const double off = std::fabs(std::log(observed) - std::log(ratio));
    return off < std::min(std::fabs(std::log(ratio)) / 2, std::log(1.35));
}

void scalePrices(Bar& b, double factor)
{
    b.open *= factor;
    b.high *= factor;
    b.low *= factor;
    b.close *= factor;
}

QString ratioText(double ratio)
{
    if (ratio >= 1)
        return num(ratio) + QStringLiteral(":1");
    return QStringLiteral("1:") + num(1 / ratio);
}

class Checker {
public:
    Checker(QVector<Bar>& bars, const Context& c) : bars_(bars), c_(c), repair_(c.action == Action::Repair) {}

    QVector<Finding> run()
    {
        splits();
        days();
        units();
        std::stable_sort(out_.begin(), out_.end(),
                         [](const Finding& a, const Finding& b) { return a.first < b.first; });
        if (c_.action == Action::Skip) {
            for (Finding& f : out_)
                f.done = QStringLiteral("skipped");
        }
        return out_;
    }

private:
    Finding& add(Kind kind, int first, int count, QString seen)
    {
        Finding f;
        f.ticker = c_.ticker;
        f.date = bars_[first].date;
        f.kind = kind;
        f.seen = std::move(seen);
        f.done = QStringLiteral("flagged");
        f.first = first;
        f.count = count;
        out_.append(std::move(f));
        return out_.back();
    }

    void repaired(Finding& f, const QString& what, unsigned fields)
    {
        f.done = QStringLiteral("repaired: ") + what;
        f.repaired = true;
        fields_.push_back({f.first, f.count, fields});
    }

    // A split the provider reported whose ratio shows between the day
    // before and the split day: the earlier days were left unadjusted.
    void splits()
    {
        for (const SplitEvent& s : c_.splits) {
            const auto at = std::lower_bound(bars_.cbegin(), bars_.cend(), s.date,
                                             [](const Bar& b, qint32 d) { return b.date < d; });
            const int i = static_cast<int>(at - bars_.cbegin());
            if (i <= 0 || i >= bars_.size() || bars_[i].close <= 0)
                continue;
            const double before = bars_[i - 1].close, after = bars_[i].close;
            if (!matchesRatio(before / after, s.ratio))
                continue;
            explained_.push_back(i);
            Finding& f = add(Kind::Split, 0, i,
                             QStringLiteral("%1 split on %2 missing from the %3 days before (close %4, then %5)")
                                 .arg(ratioText(s.ratio), isoDate(s.date))
                                 .arg(i)
                                 .arg(num(before), num(after)));
            f.date = bars_[i].date;
            if (!repair_)
                continue;
            for (int k = 0; k < i; ++k) {
                scalePrices(bars_[k], 1 / s.ratio);
                bars_[k].volume = std::round(bars_[k].volume * s.ratio);
            }
            repaired(f, QStringLiteral("prices of %1 days divided by %2, volume multiplied").arg(i).arg(num(s.ratio)),
                     kAllPrices | kVolume);
        }
    }

    // What each day shows by itself or against the day before.
    void days()
    {
        const int n = static_cast<int>(bars_.size());
        const bool stale = c_.stored.has_value();
        for (int i = 0; i < n; ++i) {
            Bar& b = bars_[i];
            const QDate day(b.date / 10000, b.date / 100 % 100, b.date % 100);
            if (day.dayOfWeek() >= Qt::Saturday)
                add(Kind::Weekend, i, 1, QLocale::c().dayName(day.dayOfWeek()));
            if ((c_.first && b.date < c_.first) || (c_.last && b.date > c_.last))
                add(Kind::Outside, i, 1,
                    QStringLiteral("outside %1 to %2")
                        .arg(c_.first ? isoDate(c_.first) : QStringLiteral("..."),
                             c_.last ? isoDate(c_.last) : QStringLiteral("...")));
            if (stale && b.date < c_.stored->date)
                add(Kind::Stale, i, 1, QStringLiteral("older than the stored %1").arg(isoDate(c_.stored->date)));
            prices(i);
            const Bar* before = i > 0 ? &bars_[i - 1] : stale && c_.stored->date < b.date ? &*c_.stored : nullptr;
            if (before && c_.stock && b.close > 0 && b.open == before->open && b.high == before->high &&
                b.low == before->low && b.close == before->close && b.volume == before->volume)
                add(Kind::Repeat, i, 1,
                    QStringLiteral("open, high, low, close and volume as on %1").arg(isoDate(before->date)));
            if (i == 0 && before && unitStep(before->close, b.close) != 0)
                add(Kind::Jump, i, 1,
                    QStringLiteral("close %1 against the stored %2 of %3: a bad day or a new unit")
                        .arg(num(b.close), num(before->close), isoDate(before->date)));
        }
    }

    void prices(int i)
    {
        Bar& b = bars_[i];
        const double p[4] = {b.open, b.high, b.low, b.close};
        static const char* const names[4] = {"open", "high", "low", "close"};
        QString negative, zero;
        for (int k = 0; k < 4; ++k) {
            if (p[k] < 0)
                negative += (negative.isEmpty() ? QString() : QStringLiteral(", ")) + QLatin1String(names[k]) +
                            QLatin1Char(' ') + num(p[k]);
            else if (p[k] == 0)
                zero += (zero.isEmpty() ? QString() : QStringLiteral(", ")) + QLatin1String(names[k]);
        }
        if (!negative.isEmpty())
            add(Kind::Negative, i, 1, negative);
        if (!zero.isEmpty())
            add(Kind::Zero, i, 1, zero + QStringLiteral(" missing or 0"));
        if (!negative.isEmpty() || !zero.isEmpty())
            return;
        const double top = std::max(b.open, b.close), bottom = std::min(b.open, b.close);
        if (b.high >= top && b.low <= bottom)
            return;
        QString seen;
        if (b.high < top)
            seen = QStringLiteral("high %1 below %2 %3")
                       .arg(num(b.high), b.open > b.close ? QStringLiteral("open") : QStringLiteral("close"), num(top));
        if (b.low > bottom)
            seen +=
                (seen.isEmpty() ? QString() : QStringLiteral(", ")) +
                QStringLiteral("low %1 above %2 %3")
                    .arg(num(b.low), b.open < b.close ? QStringLiteral("open") : QStringLiteral("close"), num(bottom));
        Finding& f = add(Kind::Bounds, i, 1, seen);
        if (!repair_)
            return;
        // A price of the bar 100x off its neighbours' closes: widening the
        // bar to it would make the bad price part of the day's range.
        for (const int k : {i - 1, i + 1}) {
            if (k < 0 || k >= static_cast<int>(bars_.size()))
                continue;
            const double next = bars_[k].close;
            if (unitStep(next, b.open) || unitStep(next, b.high) || unitStep(next, b.low) || unitStep(next, b.close)) {
                f.seen += QStringLiteral("; a price 100x off the neighbouring days: not repaired");
                mixedUnits_.push_back(i);
                return;
            }
        }
        // Widened to hold open and close: low <= min(open, close) <= max(open, close) <= high.
        const double high = std::max(b.high, top), low = std::min(b.low, bottom);
        QString what;
        if (high != b.high)
            what = QStringLiteral("high %1 -> %2").arg(num(b.high), num(high));
        if (low != b.low)
            what += (what.isEmpty() ? QString() : QStringLiteral(", ")) +
                    QStringLiteral("low %1 -> %2").arg(num(b.low), num(low));
        b.high = high;
        b.low = low;
        repaired(f, what, kHigh | kLow);
    }

    // Steps of about 100x between days. A single day off between two that
    // agree is a bad day; otherwise every block is brought to the unit of
    // the latest days, once there are enough of those to be sure.
    void units()
    {
        const int n = static_cast<int>(bars_.size());
        struct Step {
            int at;   // the first day after the step
            int dir;  // +1: that day is 100x the one before
        };
        std::vector<Step> steps;
        for (int i = 1; i < n; ++i) {
            const int dir = unitStep(bars_[i - 1].close, bars_[i].close);
            if (dir == 0 || std::find(explained_.begin(), explained_.end(), i) != explained_.end())
                continue;
            if (spansItself(bars_[i]) || spansItself(bars_[i - 1])) {
                add(Kind::Jump, i, 1,
                    QStringLiteral("close %1 against %2 the day before, within a bar of its own range")
                        .arg(num(bars_[i].close), num(bars_[i - 1].close)));
                continue;
            }
            steps.push_back({i, dir});
        }
        if (steps.empty())
            return;

        // Single bad days between neighbours that agree.
        std::vector<Step> left;
        for (size_t s = 0; s < steps.size(); ++s) {
            const Step& st = steps[s];
            const bool single = s + 1 < steps.size() && steps[s + 1].at == st.at + 1 && steps[s + 1].dir == -st.dir;
            if (!single) {
                left.push_back(st);
                continue;
            }
            const int i = st.at;
            Bar& b = bars_[i];
            Finding& f = add(Kind::Jump, i, 1,
                             QStringLiteral("close %1 against %2 before and %3 after")
                                 .arg(num(b.close), num(bars_[i - 1].close), num(bars_[i + 1].close)));
            const double factor = st.dir > 0 ? 1 / kUnit : kUnit;
            // Only some prices of the day are off: which ones is a guess.
            const bool mixed = std::find(mixedUnits_.begin(), mixedUnits_.end(), i) != mixedUnits_.end();
            if (mixed)
                f.seen += QStringLiteral("; its prices are not all in one unit: not repaired");
            if (repair_ && !mixed) {
                const double old = b.close;
                scalePrices(b, factor);
                repaired(f,
                         QStringLiteral("prices %1 by 100 (close %2 -> %3)")
                             .arg(st.dir > 0 ? QStringLiteral("divided") : QStringLiteral("multiplied"), num(old),
                                  num(b.close)),
                         kAllPrices);
            }
            ++s;
        }
        // A last day off by itself: a bad day or the first of a new unit.
        int end = n;
        if (!left.empty() && left.back().at == n - 1) {
            const int i = n - 1;
            add(Kind::Jump, i, 1,
                QStringLiteral("the latest close %1 against %2 the day before: a bad day or a new unit")
                    .arg(num(bars_[i].close), num(bars_[i - 1].close)));
            left.pop_back();
            end = n - 1;
        }
        if (left.empty())
            return;

        // Blocks between the steps; exponent relative to the latest block.
        const int latestDays = end - left.back().at;
        int exponent = 0;  // of the block before step s, relative to the latest
        for (const Step& st : left)
            exponent -= st.dir;
        int from = 0;
        for (size_t s = 0; s <= left.size(); ++s) {
            const int to = s < left.size() ? left[s].at : end;
            if (exponent != 0 && to > from)
                block(from, to - from, exponent, latestDays);
            if (s < left.size())
                exponent += left[s].dir;
            from = to;
        }
    }

    // The days [from, from + count) are 100^exponent times the latest days.
    void block(int from, int count, int exponent, int latestDays)
    {
        const Kind kind = count == 1 ? Kind::Jump : Kind::UnitSwitch;
        const QString days = count == 1 ? isoDate(bars_[from].date)
                                        : QStringLiteral("%1 to %2 (%3 days)")
                                              .arg(isoDate(bars_[from].date), isoDate(bars_[from + count - 1].date))
                                              .arg(count);
        const QString factor =
            std::abs(exponent) == 1 ? QStringLiteral("100") : QStringLiteral("100^%1").arg(std::abs(exponent));
        Finding& f = add(kind, from, count,
                         QStringLiteral("%1 at %2 %3 the later days")
                             .arg(days, exponent > 0 ? factor + QStringLiteral("x") : QStringLiteral("1/") + factor,
                                  count == 1 ? QStringLiteral("against") : QStringLiteral("the unit of")));
        if (latestDays < kLatestDays) {
            f.seen += QStringLiteral("; too few later days to tell which unit holds");
            return;
        }
        if (std::abs(exponent) > 1) {
            f.seen += QStringLiteral("; more than one unit step");
            return;
        }
        if (!repair_)
            return;
        const double by = exponent > 0 ? 1 / kUnit : kUnit;
        for (int k = from; k < from + count; ++k)
            scalePrices(bars_[k], by);
        repaired(f,
                 QStringLiteral("prices of %1 day%2 %3 by 100")
                     .arg(count)
                     .arg(count == 1 ? QString() : QStringLiteral("s"),
                          exponent > 0 ? QStringLiteral("divided") : QStringLiteral("multiplied")),
                 kAllPrices);
    }

public:
    struct Rewritten {
        int first, count;
        unsigned fields;
    };
    std::vector<Rewritten> fields_;

private:
    QVector<Bar>& bars_;
    const Context& c_;
    bool repair_;
    QVector<Finding> out_;
    std::vector<int> explained_;   // step days a reported split accounts for
    std::vector<int> mixedUnits_;  // days with prices in two units
};

Bar numbersOf(const core::Bar& d)
{
    return {d.date, d.open.value, d.high.value, d.low.value, d.close.value, d.volume.value};
}

// A repaired price: its text, and the number that text is (what every
// format reads in it), not the unrounded result.
core::Figure price(double v)
{
    QString text = priceText(v);
    const double value = number(text);
    return core::Figure(std::move(text), value);
}

// Writes the rewritten fields of `bars` back into the days `at` gives (by
// index): new values with their texts, and the Repaired flag. Only a
// repaired day is asked for, so days shared with a caller stay shared.
template <typename At>
void writeBack(At at, const QVector<Bar>& bars, const std::vector<Checker::Rewritten>& rewritten)
{
    for (const Checker::Rewritten& r : rewritten) {
        for (int k = r.first; k < r.first + r.count; ++k) {
            core::Bar& d = at(k);
            const Bar& b = bars[k];
            if (r.fields & (kAllPrices | kHigh))
                d.high = price(b.high);
            if (r.fields & (kAllPrices | kLow))
                d.low = price(b.low);
            if (r.fields & kAllPrices) {
                d.open = price(b.open);
                d.close = price(b.close);
            }
            if (r.fields & kVolume)
                d.volume = core::Figure(QString::number(b.volume, 'f', 0), b.volume);
            d.set(core::Bar::Repaired);
        }
    }
}

// The check of `count` days from `days` through their numbers; repairs
// written back through `at`.
template <typename At>
QVector<Finding> run(const core::Bar* days, qsizetype count, const Context& context, At at)
{
    QVector<Bar> bars;
    bars.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        bars.append(numbersOf(days[i]));
    Checker checker(bars, context);
    QVector<Finding> found = checker.run();
    writeBack(at, bars, checker.fields_);
    return found;
}

QVector<Finding> run(QVector<core::Bar>& days, const Context& context)
{
    return run(days.constData(), days.size(), context, [&days](int k) -> core::Bar& { return days[k]; });
}

}  // namespace

QString code(Kind kind)
{
    switch (kind) {
    case Kind::Bounds:
        return QStringLiteral("bounds");
    case Kind::Negative:
        return QStringLiteral("negative");
    case Kind::Zero:
        return QStringLiteral("zero");
    case Kind::Jump:
        return QStringLiteral("jump");
    case Kind::UnitSwitch:
        return QStringLiteral("unitswitch");
    case Kind::Split:
        return QStringLiteral("split");
    case Kind::Repeat:
        return QStringLiteral("repeat");
    case Kind::Weekend:
        return QStringLiteral("weekend");
    case Kind::Outside:
        return QStringLiteral("outside");
    case Kind::Stale:
        return QStringLiteral("stale");
    }
    return QString();
}

QString actionName(Action action)
{
    switch (action) {
    case Action::Flag:
        return QStringLiteral("flag");
    case Action::Repair:
        return QStringLiteral("repair");
    case Action::Skip:
        return QStringLiteral("skip");
    }
    return QStringLiteral("flag");
}

std::optional<Action> actionFromName(QStringView name)
{
    for (Action a : {Action::Flag, Action::Repair, Action::Skip}) {
        if (name.trimmed().compare(actionName(a), Qt::CaseInsensitive) == 0)
            return a;
    }
    return std::nullopt;
}

Action storedAction()
{
    return actionFromName(store::read(QStringLiteral("IntegrityAction"), QStringLiteral("flag")))
        .value_or(Action::Flag);
}

bool isStock(QStringView ticker)
{
    return !ticker.startsWith(QLatin1Char('^')) && !ticker.contains(QLatin1String("=X"), Qt::CaseInsensitive);
}

QString Finding::line() const
{
    return ticker + QLatin1Char(' ') + isoDate(date) + QLatin1Char(' ') + code(kind) + QStringLiteral(": ") + seen +
           QStringLiteral("; ") + done;
}

double number(QStringView text)
{
    // The common case by hand: digits with one decimal point or comma.
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool minus = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        minus = text[i++] == u'-';
    double value = 0;
    double scale = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') {
            value = value * 10 + (c - u'0');
            if (scale)
                scale *= 10;
            any = true;
        } else if ((c == u'.' || c == u',') && !scale) {
            scale = 1;
        } else {
            break;
        }
    }
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        QString copy = text.toString();
        copy.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double v = QLocale::c().toDouble(QStringView(copy).trimmed(), &ok);
        return ok ? v : 0;
    }
    if (!any)
        return 0;
    if (scale)
        value /= scale;
    return minus ? -value : value;
}

QString priceText(double value)
{
    if (!std::isfinite(value) || value == 0)
        return QStringLiteral("0");
    const double magnitude = std::floor(std::log10(std::fabs(value)));
    const double p = std::pow(10.0, 9 - magnitude);
    const double rounded = std::round(value * p) / p;
    return QString::number(rounded, 'f', QLocale::FloatingPointShortest);
}

QVector<Finding> check(QVector<Bar>& bars, const Context& context)
{
    if (bars.isEmpty())
        return {};
    return Checker(bars, context).run();
}

QVector<Finding> check(QVector<core::Bar>& bars, const Context& context)
{
    if (bars.isEmpty())
        return {};
    return run(bars, context);
}

QVector<Finding> checkHistory(QVector<core::Bar>& days, const Context& context)
{
    if (days.isEmpty())
        return {};
    QVector<Finding> found = run(days, context);
    if (found.isEmpty() || context.action != Action::Skip)
        return found;
    std::vector<bool> drop(static_cast<size_t>(days.size()), false);
    for (const Finding& f : found)
        std::fill_n(drop.begin() + f.first, f.count, true);
    qsizetype k = 0;
    for (qsizetype i = 0; i < days.size(); ++i) {
        if (!drop[static_cast<size_t>(i)])
            days[k++] = std::move(days[i]);
    }
    days.resize(k);
    return found;
}

QVector<Finding> checkCurrent(core::Bar& quote, const Context& context)
{
    QVector<Finding> found = run(&quote, 1, context, [&quote](int) -> core::Bar& { return quote; });
    if (!found.isEmpty() && context.action == Action::Skip)
        quote.set(core::Bar::Refused);
    return found;
}

}  // namespace integrity
