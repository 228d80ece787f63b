#include "testutil.h"

#include "quotes/historydecode.h"
#include "quotes/integrity.h"

#include <QDate>
#include <QRandomGenerator>
#include <cmath>

using namespace integrity;

namespace {

qint32 dateOf(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }

// `closes` on consecutive weekdays from Monday 2024-01-01; open a little
// below, high and low around, volume growing.
QVector<Bar> weekdays(const QVector<double>& closes)
{
    QVector<Bar> bars;
    QDate d(2024, 1, 1);
    for (double c : closes) {
        while (d.dayOfWeek() >= Qt::Saturday)
            d = d.addDays(1);
        bars.append({dateOf(d), c * 0.99, c * 1.02, c * 0.98, c, 1000.0 + bars.size()});
        d = d.addDays(1);
    }
    return bars;
}

// One day from its texts, each with the number the check reads in it.
core::Bar dayOf(qint32 date, const char* const (&texts)[5])
{
    const auto figure = [](const char* t) {
        return core::Figure(QString::fromLatin1(t), number(QString::fromLatin1(t)));
    };
    core::Bar d;
    d.date = date;
    d.open = figure(texts[0]);
    d.high = figure(texts[1]);
    d.low = figure(texts[2]);
    d.close = figure(texts[3]);
    d.volume = figure(texts[4]);
    return d;
}

Context contextFor(Action action, const QString& ticker = QStringLiteral("ABC.L"))
{
    Context c;
    c.ticker = ticker;
    c.stock = isStock(ticker);
    c.action = action;
    return c;
}

QStringList kinds(const QVector<Finding>& found)
{
    QStringList out;
    for (const Finding& f : found)
        out << code(f.kind);
    return out;
}

// The largest day-to-day ratio of the closes, either way.
double largestStep(const QVector<Bar>& bars)
{
    double most = 1;
    for (qsizetype i = 1; i < bars.size(); ++i)
        most = std::max({most, bars[i].close / bars[i - 1].close, bars[i - 1].close / bars[i].close});
    return most;
}

}  // namespace

TEST(Integrity, FaultsOfOneDay)
{
    QVector<Bar> bars = weekdays({10, 10.2, 10.4, 10.3, 10.5});
    bars[1].high = 10.1;  // below the close 10.2
    bars[2].low = -1;
    bars[3].open = 0;
    bars[4].date = 20240106;  // a Saturday
    Context c = contextFor(Action::Flag);
    c.first = 20240101;
    c.last = 20240105;
    const QVector<Finding> found = check(bars, c);
    EXPECT_EQ(kinds(found), (QStringList{"bounds", "negative", "zero", "weekend", "outside"}));
    EXPECT_EQ(found[0].date, 20240102);
    EXPECT_EQ(found[0].seen, QStringLiteral("high 10.1 below close 10.2"));
    EXPECT_EQ(found[0].done, QStringLiteral("flagged"));
    EXPECT_EQ(found[2].seen, QStringLiteral("open missing or 0"));
    EXPECT_EQ(found[3].seen, QStringLiteral("Saturday"));
    EXPECT_EQ(bars[1].high, 10.1);  // flag changes nothing
}

TEST(Integrity, BoundsAreWidenedToHoldOpenAndClose)
{
    QVector<Bar> bars = weekdays({10, 10.2});
    bars[1] = {bars[1].date, 10.5, 10.3, 10.4, 10.2, 500};  // high under the open, low over the close
    const QVector<Finding> found = check(bars, contextFor(Action::Repair));
    ASSERT_EQ(kinds(found), QStringList{"bounds"});
    EXPECT_TRUE(found[0].repaired);
    EXPECT_EQ(found[0].done, QStringLiteral("repaired: high 10.3 -> 10.5, low 10.4 -> 10.2"));
    EXPECT_EQ(bars[1].high, 10.5);
    EXPECT_EQ(bars[1].low, 10.2);
    EXPECT_EQ(bars[1].close, 10.2);
}

TEST(Integrity, SingleBadDayIsDividedBackWhenBothNeighboursAgree)
{
    QVector<Bar> bars = weekdays({12.3, 12.4, 1240, 12.5, 12.6, 12.5});
    const QVector<Finding> found = check(bars, contextFor(Action::Repair));
    ASSERT_EQ(kinds(found), QStringList{"jump"});
    EXPECT_EQ(found[0].date, bars[2].date);
    EXPECT_EQ(found[0].done, QStringLiteral("repaired: prices divided by 100 (close 1240 -> 12.4)"));
    EXPECT_DOUBLE_EQ(bars[2].close, 12.4);
    EXPECT_DOUBLE_EQ(bars[2].high, 1240 * 1.02 / 100);
    EXPECT_LT(largestStep(bars), 1.05);

    // A hundredth as well.
    QVector<Bar> low = weekdays({1230, 1240, 12.4, 1250, 1260});
    ASSERT_EQ(kinds(check(low, contextFor(Action::Repair))), QStringList{"jump"});
    EXPECT_DOUBLE_EQ(low[2].close, 1240);
}

TEST(Integrity, LatestDayOffByItselfIsFlaggedNotGuessed)
{
    // Either a bad day or the first day of a new unit: nothing tells which.
    QVector<Bar> bars = weekdays({12.3, 12.4, 12.5, 1250});
    const QVector<Finding> found = check(bars, contextFor(Action::Repair));
    ASSERT_EQ(kinds(found), QStringList{"jump"});
    EXPECT_FALSE(found[0].repaired);
    EXPECT_EQ(found[0].done, QStringLiteral("flagged"));
    EXPECT_EQ(bars[3].close, 1250);
}

// A provider that switched from pence to pounds: every day before the step
// is 100 times too high. Dividing only the day of the step (what a per-day
// repair does) leaves the block in pence and makes a new step beside it.
TEST(Integrity, UnitSwitchBringsTheWholeBlockToTheLatestUnit)
{
    QVector<double> closes;
    for (int i = 0; i < 20; ++i)
        closes << 1000 + i * 5;  // pence
    for (int i = 0; i < 20; ++i)
        closes << 11 + i * 0.05;  // pounds
    QVector<Bar> bars = weekdays(closes);
    const QVector<Bar> sent = bars;
    const QVector<Finding> found = check(bars, contextFor(Action::Repair));
    ASSERT_EQ(kinds(found), QStringList{"unitswitch"});
    EXPECT_EQ(found[0].first, 0);
    EXPECT_EQ(found[0].count, 20);
    EXPECT_EQ(found[0].seen, QStringLiteral("2024-01-01 to 2024-01-26 (20 days) at 100x the unit of the later days"));
    EXPECT_EQ(found[0].done, QStringLiteral("repaired: prices of 20 days divided by 100"));
    EXPECT_LT(largestStep(bars), 1.2);
    for (int i = 0; i < 20; ++i)
        EXPECT_DOUBLE_EQ(bars[i].close, sent[i].close / 100) << i;
    for (int i = 20; i < 40; ++i)
        EXPECT_EQ(bars[i].close, sent[i].close) << i;  // the latest unit stays

    // The other way round: a block in pounds before a switch to pence.
    QVector<double> up;
    for (int i = 0; i < 10; ++i)
        up << 11 + i * 0.05;
    for (int i = 0; i < 10; ++i)
        up << 1150 + i * 5;
    QVector<Bar> upBars = weekdays(up);
    check(upBars, contextFor(Action::Repair));
    EXPECT_DOUBLE_EQ(upBars[0].close, 1100);
    EXPECT_LT(largestStep(upBars), 1.2);
}

TEST(Integrity, BlockThatRevertsTakesTheUnitAroundIt)
{
    QVector<Bar> bars = weekdays({10, 10.1, 1020, 1030, 1010, 10.2, 10.3, 10.4});
    const QVector<Finding> found = check(bars, contextFor(Action::Repair));
    ASSERT_EQ(kinds(found), QStringList{"unitswitch"});
    EXPECT_EQ(found[0].first, 2);
    EXPECT_EQ(found[0].count, 3);
    EXPECT_DOUBLE_EQ(bars[3].close, 10.3);
    EXPECT_EQ(bars[0].close, 10);
}

TEST(Integrity, AmbiguousStepsAreFlaggedOnly)
{
    // Two days in a new unit are not enough to call it the unit.
    QVector<Bar> few = weekdays({1000, 1010, 1020, 1030, 10.4, 10.5});
    QVector<Finding> found = check(few, contextFor(Action::Repair));
    ASSERT_EQ(kinds(found), QStringList{"unitswitch"});
    EXPECT_FALSE(found[0].repaired);
    EXPECT_TRUE(found[0].seen.endsWith(QStringLiteral("too few later days to tell which unit holds")));
    EXPECT_EQ(few[0].close, 1000);

    // A crash inside one bar (open at the old price, close 99 % lower) is no
    // unit step: the days before stay as they are.
    QVector<Bar> crash = weekdays({50, 51, 50.5, 0.5, 0.45, 0.5, 0.48});
    crash[3].open = 50;
    crash[3].high = 50.2;
    found = check(crash, contextFor(Action::Repair));
    ASSERT_EQ(kinds(found), QStringList{"jump"});
    EXPECT_FALSE(found[0].repaired);
    EXPECT_EQ(crash[0].close, 50);
}

// Some prices of a day came 100x too high: widening the bar to them would
// write the bad prices into the day's range, and dividing every price would
// spoil the others. Both are left for the user.
TEST(Integrity, ADayWithPricesInTwoUnitsIsFlaggedNotRepaired)
{
    for (const bool openToo : {false, true}) {
        QVector<Bar> bars = weekdays({1.5, 1.52, 1.51, 1.5, 1.53});
        bars[2].close = 151;
        if (openToo)
            bars[2].open = 149;
        const Bar before = bars[2];
        const QVector<Finding> found = check(bars, contextFor(Action::Repair));
        ASSERT_GE(found.size(), 2) << openToo;
        EXPECT_EQ(kinds(found).first(), QStringLiteral("bounds"));
        EXPECT_TRUE(kinds(found).contains(QStringLiteral("jump")));
        for (const Finding& f : found)
            EXPECT_FALSE(f.repaired) << qPrintable(f.seen);
        EXPECT_EQ(bars[2].high, before.high);
        EXPECT_EQ(bars[2].low, before.low);
        EXPECT_EQ(bars[2].close, before.close);
        EXPECT_EQ(bars[2].open, before.open);
    }
}

TEST(Integrity, MissingSplitIsAppliedWithTheProvidersRatio)
{
    QVector<Bar> bars = weekdays({400, 404, 408, 102, 103, 101});
    Context c = contextFor(Action::Repair, QStringLiteral("NVDA"));
    c.splits = {{bars[3].date, 4}};
    const QVector<Finding> found = check(bars, c);
    ASSERT_EQ(kinds(found), QStringList{"split"});
    EXPECT_EQ(found[0].date, bars[3].date);
    EXPECT_EQ(found[0].count, 3);
    EXPECT_EQ(found[0].seen,
              QStringLiteral("4:1 split on 2024-01-04 missing from the 3 days before (close 408, then 102)"));
    EXPECT_DOUBLE_EQ(bars[0].close, 100);
    EXPECT_DOUBLE_EQ(bars[2].close, 102);
    EXPECT_EQ(bars[0].volume, 4000);
    EXPECT_EQ(bars[3].close, 102);

    // Days already adjusted: nothing to report.
    QVector<Bar> adjusted = weekdays({100, 101, 102, 102, 103});
    c.splits = {{adjusted[3].date, 4}};
    EXPECT_TRUE(check(adjusted, c).isEmpty());

    // A 100:1 split is a split, not a change of unit.
    QVector<Bar> hundred = weekdays({5000, 5050, 50, 51, 52, 53});
    c.splits = {{hundred[2].date, 100}};
    c.action = Action::Flag;
    EXPECT_EQ(kinds(check(hundred, c)), QStringList{"split"});
}

TEST(Integrity, RepeatedDaysAreNormalForIndicesAndCurrencies)
{
    QVector<Bar> bars = weekdays({10, 10.1, 10.2});
    bars[2] = bars[1];
    bars[2].date = 20240103;
    QVector<Bar> copy = bars;
    const QVector<Finding> found = check(copy, contextFor(Action::Flag, QStringLiteral("ASML.AS")));
    ASSERT_EQ(kinds(found), QStringList{"repeat"});
    EXPECT_EQ(found[0].seen, QStringLiteral("open, high, low, close and volume as on 2024-01-02"));

    for (const QString& t : {QStringLiteral("^AEX"), QStringLiteral("EURUSD=X"), QStringLiteral("eurusd=x")}) {
        QVector<Bar> other = bars;
        for (Bar& b : other)
            b.volume = 0;
        EXPECT_TRUE(check(other, contextFor(Action::Flag, t)).isEmpty()) << qPrintable(t);
    }
}

TEST(Integrity, CleanHistoriesGiveNoFinding)
{
    QRandomGenerator random(26);
    int findings = 0;
    for (int symbol = 0; symbol < 1000; ++symbol) {
        QVector<double> closes;
        double price = 1 + random.bounded(500.0);
        const int days = 50 + random.bounded(400);
        for (int i = 0; i < days; ++i) {
            price *= 1 + (random.bounded(0.16) - 0.08);  // up to 8 % a day
            closes << std::round(price * 100) / 100 + 0.01;
        }
        QVector<Bar> bars = weekdays(closes);
        for (Bar& b : bars) {
            b.open = std::round(b.open * 100) / 100;
            b.high = std::max({b.high, b.open, b.close});
            b.low = std::min({b.low, b.open, b.close});
        }
        Context c = contextFor(Action::Flag, QStringLiteral("S%1").arg(symbol));
        c.first = bars.front().date;
        c.last = bars.back().date;
        for (const Finding& f : check(bars, c)) {
            ADD_FAILURE() << qPrintable(f.line());
            if (++findings > 5)
                return;
        }
    }
}

TEST(Integrity, HistoryTextsAreRewrittenAndSkippedDaysLeaveTheBlock)
{
    auto days = [] {
        QVector<core::Bar> d;
        const char* rows[][5] = {{"12.30", "12.50", "12.20", "12.40", "100"},
                                 {"1240", "1250", "1230", "1245", "200"},
                                 {"12.40", "12.60", "12.30", "12.50", "300"},
                                 {"12.50", "12.55", "12.45", "12.50", "300"}};
        qint32 date = 20240102;
        for (const auto& r : rows)
            d.append(dayOf(date++, r));
        return d;
    };
    const QString bp = QStringLiteral("BP.L");
    QVector<core::Bar> repaired = days();
    QVector<Finding> found = checkHistory(repaired, contextFor(Action::Repair, QStringLiteral("BP.L")));
    ASSERT_EQ(kinds(found), QStringList{"jump"});
    EXPECT_EQ(historyLine(bp, repaired[1]), QStringLiteral("BP.L,20240103,12.4,12.5,12.3,12.45,200"));
    EXPECT_EQ(historyLine(bp, repaired[0]), historyLine(bp, days()[0]));
    EXPECT_EQ(found[0].line(), QStringLiteral("BP.L 2024-01-03 jump: close 1245 against 12.4 before and 12.5 after; "
                                              "repaired: prices divided by 100 (close 1245 -> 12.45)"));

    QVector<core::Bar> skipped = days();
    found = checkHistory(skipped, contextFor(Action::Skip, QStringLiteral("BP.L")));
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].done, QStringLiteral("skipped"));
    ASSERT_EQ(skipped.size(), 3);
    EXPECT_EQ(skipped[1].date, 20240104);
}

TEST(Integrity, CurrentQuoteAgainstTheStoredDay)
{
    const char* row[5] = {"10.5", "10.4", "10.1", "10.2", "500"};
    core::Bar q = dayOf(20240105, row);
    Context c = contextFor(Action::Repair, QStringLiteral("ABC"));
    c.stored = Bar{20240108, 10, 10.5, 9.9, 10.3, 900};
    QVector<Finding> found = checkCurrent(q, c);
    EXPECT_EQ(kinds(found), (QStringList{"stale", "bounds"}));
    EXPECT_EQ(q.high.text, QStringLiteral("10.5"));
    EXPECT_EQ(q.high.value, 10.5);

    // A new day 100 times the stored one: flagged, the quote kept as sent.
    c.stored = Bar{20240104, 0.1, 0.11, 0.09, 0.102, 900};
    found = checkCurrent(q, c);
    ASSERT_EQ(kinds(found), QStringList{"jump"});
    EXPECT_FALSE(found[0].repaired);
    EXPECT_EQ(q.close.text, QStringLiteral("10.2"));
}

// What a repair leaves on the bar: the flag beside the new values and their
// texts, and only on the days it changed; figures it did not touch keep the
// text they came with ("12.30" stays "12.30", not "12.3").
TEST(Integrity, RepairedDaysCarryTheFlagAndTheirNewValues)
{
    const char* rows[][5] = {{"12.30", "12.50", "12.20", "12.40", "100"},
                             {"12.40", "12.00", "12.30", "12.50", "200"},
                             {"12.40", "12.60", "12.30", "12.50", "300"}};
    QVector<core::Bar> days;
    qint32 date = 20240102;
    for (const auto& r : rows)
        days.append(dayOf(date++, r));
    const QVector<core::Bar> sent = days;

    QVector<Finding> found = check(days, contextFor(Action::Flag, QStringLiteral("BP.L")));
    ASSERT_EQ(kinds(found), QStringList{"bounds"});
    EXPECT_EQ(days, sent);  // flagged only: nothing changed, no flag

    found = check(days, contextFor(Action::Repair, QStringLiteral("BP.L")));
    ASSERT_EQ(kinds(found), QStringList{"bounds"});
    EXPECT_FALSE(days[0].has(core::Bar::Repaired));
    EXPECT_FALSE(days[2].has(core::Bar::Repaired));
    ASSERT_TRUE(days[1].has(core::Bar::Repaired));
    EXPECT_EQ(days[1].high, core::Figure(QStringLiteral("12.5"), 12.5));  // widened to the close
    EXPECT_EQ(days[1].low, core::Figure(QStringLiteral("12.3"), 12.3));
    EXPECT_EQ(days[1].open.text, QStringLiteral("12.40"));
    EXPECT_EQ(days[1].volume.text, QStringLiteral("200"));
    EXPECT_EQ(days[0], sent[0]);

    // A split the provider reported rewrites the volume as a whole number.
    QVector<core::Bar> split;
    const char* before[5] = {"40.00", "41.00", "39.00", "40.00", "1001"};
    const char* after[5] = {"10.00", "10.20", "9.80", "10.10", "4000"};
    split << dayOf(20240102, before) << dayOf(20240103, after);
    Context c = contextFor(Action::Repair, QStringLiteral("BP.L"));
    c.splits.append({20240103, 4});
    found = check(split, c);
    ASSERT_EQ(kinds(found), QStringList{"split"});
    EXPECT_TRUE(split[0].has(core::Bar::Repaired));
    EXPECT_EQ(split[0].volume, core::Figure(QStringLiteral("4004"), 4004));
    EXPECT_EQ(split[0].close, core::Figure(QStringLiteral("10"), 10));
    EXPECT_FALSE(split[1].has(core::Bar::Repaired));

    // A current quote skipped for a finding is refused, not dropped.
    const char* bad[5] = {"10.5", "10.4", "10.1", "10.2", "500"};
    core::Bar quote = dayOf(20240105, bad);
    checkCurrent(quote, contextFor(Action::Skip, QStringLiteral("ABC")));
    EXPECT_TRUE(quote.has(core::Bar::Refused));
    EXPECT_FALSE(quote.has(core::Bar::Repaired));
    EXPECT_EQ(quote.high.text, QStringLiteral("10.4"));
}

TEST(Integrity, NumbersAndRepairedTexts)
{
    EXPECT_EQ(number(u" 12,5"), 12.5);
    EXPECT_EQ(number(u"-0.25"), -0.25);
    EXPECT_EQ(number(u"1.5e2"), 150);
    EXPECT_EQ(number(u""), 0);
    EXPECT_EQ(number(u"n/a"), 0);
    EXPECT_EQ(priceText(12.34 * 100), QStringLiteral("1234"));
    EXPECT_EQ(priceText(0.0380625 / 100), QStringLiteral("0.000380625"));
    EXPECT_EQ(actionFromName(u" Repair"), Action::Repair);
    EXPECT_FALSE(actionFromName(u"fix").has_value());
}
