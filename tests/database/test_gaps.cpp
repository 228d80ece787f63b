#include "gapstore.h"

#include "database/exchanges.h"
#include "database/gaps.h"
#include "database/quotestore.h"

#include <QDate>
#include <QDir>
#include <gtest/gtest.h>

namespace {

using GapsTest = GapStoreTest<25>;

}  // namespace

TEST_F(GapsTest, ASessionIsADayMostSymbolsHaveAndASymbolLackingItHasAGap)
{
    const qint32 holiday = days[5];   // only 3 of 12 symbols have a bar: no session
    const qint32 missing = days[20];  // S1 lacks it
    fill([&](int s, qint32 d) { return (d == holiday && s >= 3) || (s == 1 && d == missing); });

    const QVector<qint32> sessions = gaps::sessionsOf(*store, tickers, 0);
    EXPECT_EQ(sessions.size(), days.size() - 1);
    EXPECT_FALSE(sessions.contains(holiday));
    EXPECT_TRUE(sessions.contains(missing));

    const gaps::SymbolGaps s1 = gaps::gapsOf(*store, QStringLiteral("S1.AS"), sessions);
    EXPECT_EQ(s1.missing, QVector<qint32>{missing});
    EXPECT_TRUE(gaps::gapsOf(*store, QStringLiteral("S3.AS"), sessions).missing.isEmpty());
    // Dropped before the day: not expected of it.
    EXPECT_TRUE(gaps::gapsOf(*store, QStringLiteral("S1.AS"), sessions, days[19]).missing.isEmpty());
    // The provider's answer settled the day: asked no more.
    store->setGapState(QStringLiteral("S1.AS"), missing, {days[24], 1, true});
    EXPECT_FALSE(gaps::gapsOf(*store, QStringLiteral("S1.AS"), sessions).open());
}

TEST_F(GapsTest, ASymbolIsExpectedFromItsFirstDayAndEarlierProvisionalDaysAreGaps)
{
    // S2 starts trading half-way; S4 has a provisional day in the middle and
    // a provisional last day (the run of today, not a gap yet).
    fill([&](int s, qint32 d) { return s == 2 && d < days[12]; });
    store->put(QStringLiteral("S4.AS"), day(days[10], "100", true), 1);
    store->put(QStringLiteral("S4.AS"), day(days[24], "100", true), 1);

    const QVector<qint32> sessions = gaps::sessionsOf(*store, tickers, 0);
    EXPECT_EQ(sessions, days);  // a provisional bar of one symbol does not hide a session
    EXPECT_FALSE(gaps::gapsOf(*store, QStringLiteral("S2.AS"), sessions).open());
    const gaps::SymbolGaps s4 = gaps::gapsOf(*store, QStringLiteral("S4.AS"), sessions);
    EXPECT_EQ(s4.provisional, QVector<qint32>{days[10]});
    EXPECT_TRUE(s4.missing.isEmpty());
}

TEST_F(GapsTest, OldGapsAreGivenUpAndTheWindowLimitsTheSearch)
{
    fill([&](int s, qint32 d) { return s == 0 && (d == days[8] || d == days[18]); });
    const QVector<qint32> sessions = gaps::sessionsOf(*store, tickers, 0);
    const gaps::SymbolGaps all = gaps::gapsOf(*store, QStringLiteral("S0.AS"), sessions);
    EXPECT_EQ(all.givenUp, QVector<qint32>{days[8]});  // 16 sessions later
    EXPECT_EQ(all.missing, QVector<qint32>{days[18]});

    const QVector<qint32> recent = gaps::lastSessions(sessions, 5);
    EXPECT_EQ(recent.first(), days[20]);
    EXPECT_FALSE(gaps::gapsOf(*store, QStringLiteral("S0.AS"), recent).open());
}

TEST_F(GapsTest, TooFewSymbolsKnowNoSessionsButTheirIndexDoes)
{
    fill([&](int s, qint32 d) { return s == 1 && d == days[20]; });
    const QStringList few = tickers.mid(0, gaps::kMinSymbols - 1);
    EXPECT_TRUE(gaps::sessionsOf(*store, few, 0).isEmpty());
    EXPECT_TRUE(gaps::gapsOf(*store, QStringLiteral("S1.AS"), {}).missing.isEmpty());

    const QVector<qint32> fromIndex = gaps::sessionsOfIndex(*store, QStringLiteral("S0.AS"), days[2]);
    EXPECT_EQ(fromIndex.first(), days[2]);
    EXPECT_EQ(gaps::gapsOf(*store, QStringLiteral("S1.AS"), fromIndex).missing, QVector<qint32>{days[20]});
}

TEST(ExchangesTest, AQuoteTakenBeforeItsExchangeClosedIsProvisional)
{
    const exchanges::Exchange* us = exchanges::ofTicker(u"IBM");
    ASSERT_NE(us, nullptr);
    EXPECT_EQ(exchanges::ofTicker(u"^GSPC"), us);
    EXPECT_TRUE(exchanges::beforeClose(*us, exchanges::quoteTime(u"11:45am")));
    EXPECT_TRUE(exchanges::beforeClose(*us, exchanges::quoteTime(u"12:05pm")));
    EXPECT_FALSE(exchanges::beforeClose(*us, exchanges::quoteTime(u"4:00pm")));
    EXPECT_FALSE(exchanges::beforeClose(*us, exchanges::quoteTime(u"N/A")));  // tells nothing: final

    const exchanges::Exchange* ams = exchanges::ofTicker(u"ASML.AS");
    ASSERT_NE(ams, nullptr);
    EXPECT_EQ(exchanges::ofTicker(u"^AEX"), ams);
    EXPECT_TRUE(exchanges::beforeClose(*ams, exchanges::quoteTime(u"17:29")));
    EXPECT_FALSE(exchanges::beforeClose(*ams, exchanges::quoteTime(u"5:35pm")));
    EXPECT_EQ(exchanges::quoteTime(u"12:00am"), QTime(0, 0));
    EXPECT_FALSE(exchanges::quoteTime(u"13:00pm").isValid());
    EXPECT_FALSE(exchanges::quoteTime(u"25:00").isValid());

    EXPECT_EQ(exchanges::ofTicker(u"EURUSD=X"), nullptr);
    EXPECT_EQ(exchanges::ofTicker(u"^NOSUCH"), nullptr);
    EXPECT_EQ(exchanges::ofTicker(u"ABC.ZZ"), nullptr);
}
