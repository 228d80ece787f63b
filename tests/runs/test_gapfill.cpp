#include "gapstore.h"

#include "database/quotestore.h"
#include "runs/gapfill.h"

#include <QDate>
#include <QDir>
#include <gtest/gtest.h>

namespace {

// The answers of a fill are made by the test.
class GapFillTest : public GapStoreTest<20> {
protected:
    // An answer of the provider: the days of `from` to `to` of the test's
    // days, less `lacking`.
    QVector<core::Bar> answer(qint32 from, qint32 to, const QVector<qint32>& lacking = {}, const char* volume = "100")
    {
        QVector<core::Bar> out;
        for (qint32 d : std::as_const(days)) {
            if (d >= from && d <= to && !lacking.contains(d))
                out.append(day(d, volume));
        }
        return out;
    }
};

}  // namespace

TEST_F(GapFillTest, PlansOneRangePerSymbolWithASessionEitherSide)
{
    const qint32 a = days[12], b = days[15];
    fill([&](int s, qint32 d) { return (s == 1 && (d == a || d == b)) || (s == 2 && d == days.last()); });
    const gapfill::Survey survey = gapfill::survey(*store, tickers, 30);
    EXPECT_EQ(survey.checked, 12);
    EXPECT_TRUE(survey.unknown.isEmpty());
    ASSERT_EQ(survey.plans.size(), 2);
    const gapfill::Plan& s1 = survey.plans[0];
    EXPECT_EQ(s1.gaps.ticker, QStringLiteral("S1.AS"));
    EXPECT_EQ(s1.ask, (QVector<qint32>{a, b}));
    EXPECT_EQ(s1.from, QDate::fromString(gapfill::dateText(days[11]), Qt::ISODate));
    EXPECT_EQ(s1.to, QDate::fromString(gapfill::dateText(days[16]), Qt::ISODate));
    // The latest session has no session after it: the range ends on it.
    const gapfill::Plan& s2 = survey.plans[1];
    EXPECT_EQ(s2.ask, QVector<qint32>{days.last()});
    EXPECT_EQ(s2.to, QDate::fromString(gapfill::dateText(days.last()), Qt::ISODate));
    EXPECT_EQ(gapfill::ranges(survey).size(), 2);

    // Only the last five sessions: S1's first gap lies before them.
    const gapfill::Survey recent = gapfill::survey(*store, tickers, 5);
    ASSERT_EQ(recent.plans.size(), 2);
    EXPECT_EQ(recent.plans[0].ask, QVector<qint32>{b});
}

// A day missing longer than kGiveUpAfter sessions that was never asked for
// (found late) is an open gap until its one request; then it is given up.
TEST_F(GapFillTest, ADayFoundLateIsOpenUntilItWasAskedFor)
{
    const qint32 late = days[2], recent = days[17];
    fill([&](int s, qint32 d) { return s == 1 && (d == late || d == recent); });
    gapfill::Survey survey = gapfill::survey(*store, tickers, 30);
    ASSERT_EQ(survey.plans.size(), 1);
    EXPECT_EQ(survey.plans[0].ask, (QVector<qint32>{late, recent}));
    EXPECT_EQ(survey.plans[0].open(), 2);
    EXPECT_EQ(survey.plans[0].missingDays(), (QVector<qint32>{late, recent}));
    EXPECT_EQ(gapfill::openGaps(survey), (QHash<QString, int>{{QStringLiteral("S1.AS"), 2}}));

    QuoteStore::GapState asked;
    asked.askedAfter = days.last();
    asked.tries = 1;
    store->setGapState(tickers[1], late, asked);
    survey = gapfill::survey(*store, tickers, 30);
    ASSERT_EQ(survey.plans.size(), 1);
    EXPECT_EQ(survey.plans[0].givenUp, QVector<qint32>{late});
    EXPECT_EQ(survey.plans[0].open(), 1);
    EXPECT_EQ(survey.plans[0].missingDays(), QVector<qint32>{recent});
}

TEST_F(GapFillTest, AMarketOfTooFewSymbolsIsUnknownAndNotChecked)
{
    fill([&](int s, qint32 d) { return s == 1 && d == days[10]; });
    const QStringList few{QStringLiteral("T1.XX"), QStringLiteral("T2.XX"), QStringLiteral("T3.XX")};
    store->begin();
    for (const QString& t : few) {
        for (qint32 d : std::as_const(days)) {
            if (t != few[1] || d != days[10])
                store->put(t, day(d), 1);
        }
    }
    store->commit();
    const gapfill::Survey survey = gapfill::survey(*store, QStringList{few[0]} + tickers + few.mid(1), 30);
    ASSERT_EQ(survey.unknown.size(), 1);
    EXPECT_EQ(survey.unknown[0].market, QStringLiteral("XX"));
    EXPECT_EQ(survey.unknown[0].tickers, few);
    EXPECT_EQ(survey.checked, 12);
    ASSERT_EQ(survey.plans.size(), 1);
    EXPECT_EQ(survey.plans[0].gaps.ticker, QStringLiteral("S1.AS"));
}

// What the answers tell about the days they lack.
TEST_F(GapFillTest, AnswersFillSettleOrLeaveTheDaysAsked)
{
    const qint32 x = days[14];
    // S1..S5 lack x; S6 lacks the last day.
    fill([&](int s, qint32 d) { return (s >= 1 && s <= 5 && d == x) || (s == 6 && d == days.last()); });
    const gapfill::Survey survey = gapfill::survey(*store, tickers, 30);
    ASSERT_EQ(survey.plans.size(), 6);

    gapfill::Answers answers;
    answers.add(QStringLiteral("S1.AS"), answer(days[13], days[15]));            // holds it
    answers.add(QStringLiteral("S2.AS"), answer(days[13], days[15], {x}));       // lacks it among days
    answers.add(QStringLiteral("S3.AS"), answer(days[13], days[15], {x}, "0"));  // no trading around
    answers.add(QStringLiteral("S4.AS"), answer(days[13], days[13]));            // ends before it
    answers.add(QStringLiteral("S6.AS"), answer(days[18], days[18]));            // the provider has not the day yet
    // S5 got no answer (its request failed): nothing is recorded.
    const QVector<gapfill::Outcome> out = answers.record(*store, survey);
    ASSERT_EQ(out.size(), 5);
    EXPECT_EQ(out[0].filled, QVector<qint32>{x});
    EXPECT_EQ(out[1].settled, QVector<qint32>{x});
    EXPECT_EQ(out[2].settled, QVector<qint32>{x});
    EXPECT_EQ(out[3].lacking, QVector<qint32>{x});
    EXPECT_EQ(out[4].ticker, QStringLiteral("S6.AS"));
    EXPECT_EQ(out[4].lacking, QVector<qint32>{days.last()});
    EXPECT_TRUE(store->gapStates(QStringLiteral("S5.AS")).isEmpty());
    const QuoteStore::GapState s4 = store->gapStates(QStringLiteral("S4.AS")).value(x);
    EXPECT_EQ(s4.askedAfter, days.last());
    EXPECT_EQ(s4.tries, 1);
    EXPECT_FALSE(s4.settled);
    EXPECT_TRUE(store->gapStates(QStringLiteral("S2.AS")).value(x).settled);

    // Asked after the latest session: waiting, not asked again until a later one.
    const gapfill::Survey again = gapfill::survey(*store, tickers, 30);
    for (const gapfill::Plan& p : again.plans) {
        EXPECT_NE(p.gaps.ticker, QStringLiteral("S2.AS"));  // settled: no gap
        if (p.gaps.ticker == QStringLiteral("S4.AS")) {
            EXPECT_TRUE(p.ask.isEmpty());
            EXPECT_EQ(p.waiting, QVector<qint32>{x});
        }
    }
}

TEST_F(GapFillTest, ADayEveryCoveringAnswerLacksIsAHoleAskedAgainThenGivenUp)
{
    const qint32 x = days[14];  // 5 sessions after it
    fill([&](int s, qint32 d) { return (s == 1 || s == 2) && d == x; });
    gapfill::Survey survey = gapfill::survey(*store, tickers, 30);
    ASSERT_EQ(survey.plans.size(), 2);
    gapfill::Answers answers;
    answers.add(QStringLiteral("S1.AS"), answer(days[13], days[15], {x}));
    answers.add(QStringLiteral("S2.AS"), answer(days[13], days[15], {x}));
    QVector<gapfill::Outcome> out = answers.record(*store, survey);
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out[0].lacking, QVector<qint32>{x});
    EXPECT_EQ(out[1].lacking, QVector<qint32>{x});
    EXPECT_EQ(store->gapStates(QStringLiteral("S1.AS")).value(x).tries, 1);

    // Each later session asks once more, until the day is 10 sessions old.
    int asked = 1;
    for (QDate d = QDate::fromString(gapfill::dateText(days.last()), Qt::ISODate).addDays(1); asked < 20;
         d = d.addDays(1)) {
        if (d.dayOfWeek() >= Qt::Saturday)
            continue;
        store->begin();
        for (const QString& t : std::as_const(tickers))
            store->put(t, day(ymd(d)), 1);
        store->commit();
        survey = gapfill::survey(*store, tickers, 30);
        ASSERT_EQ(survey.plans.size(), 2);
        if (!survey.plans[0].asks()) {
            EXPECT_EQ(survey.plans[0].givenUp, QVector<qint32>{x});
            break;
        }
        EXPECT_EQ(survey.plans[0].ask, QVector<qint32>{x});
        answers.record(*store, survey);
        ++asked;
    }
    // Asked 5 sessions after it, and after each later session until it was
    // kGiveUpAfter sessions old.
    EXPECT_EQ(asked, gaps::kGiveUpAfter - 5);
    EXPECT_EQ(store->gapStates(QStringLiteral("S1.AS")).value(x).tries, asked);
}

// A fill can take a survey its caller made (and printed): it asks what that
// survey plans, names the requests, and a survey that asks nothing leaves
// nothing of an earlier one behind.
TEST_F(GapFillTest, AFillTakesASurveyMadeBeforeAndForgetsTheLastOne)
{
    const qint32 a = days[12];
    fill([&](int s, qint32 d) { return s == 3 && d == a; });
    gapfill::Survey survey = gapfill::survey(*store, tickers, 30);
    ASSERT_EQ(survey.plans.size(), 1);

    gapfill::GapFill gapFill;
    const QHash<QString, QString> names{{QStringLiteral("S3.AS"), QStringLiteral("Third")}};
    ASSERT_TRUE(gapFill.prepare(std::move(survey), names));
    EXPECT_FALSE(gapFill.running());
    ASSERT_EQ(gapFill.survey().plans.size(), 1);
    EXPECT_EQ(gapFill.survey().plans[0].gaps.ticker, QStringLiteral("S3.AS"));
    // Not asked yet: the day is still missing.
    EXPECT_EQ(gapFill.lines(), QStringList{QStringLiteral("S3.AS: still missing ") + gapfill::dateText(a)});

    // The symbols with their names survey the store themselves, to the same plan.
    QVector<HistoryRun::Range> symbols;
    for (const QString& t : std::as_const(tickers))
        symbols.append({t, names.value(t), {}, {}});
    ASSERT_TRUE(gapFill.prepare(symbols, 30));
    ASSERT_EQ(gapFill.survey().plans.size(), 1);
    EXPECT_EQ(gapFill.survey().plans[0].ask, QVector<qint32>{a});

    EXPECT_FALSE(gapFill.prepare(gapfill::Survey(), {}));
    EXPECT_TRUE(gapFill.survey().plans.isEmpty());
    EXPECT_TRUE(gapFill.lines().isEmpty());
    EXPECT_TRUE(gapFill.storeError().isEmpty());
}
