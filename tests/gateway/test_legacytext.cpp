#include "gateway/historyanswers.h"
#include "gateway/legacytext.h"
#include "gateway/quoteanswers.h"
#include "gateway/quotesource.h"

#include <gtest/gtest.h>

using namespace legacytext;

TEST(LegacyText, PricesFollowTheDecimalTextNotItsBinaryNeighbour)
{
    EXPECT_EQ(price(120.495, 2), "120.50");  // 120.4949999... in binary
    EXPECT_EQ(price(20.125, 2), "20.13");
    EXPECT_EQ(price(241, 2), "241.00");
    EXPECT_EQ(price(1.0436, 4), "1.0436");
    EXPECT_EQ(price(0.1246, 4), "0.1246");
    EXPECT_EQ(price(-1.005, 2), "-1.01");
    EXPECT_EQ(price(livejson::kMissing, 2), "0");
    EXPECT_EQ(volume(40896227.0), "40896227");
    EXPECT_EQ(volume(livejson::kMissing), "0");
}

TEST(LegacyText, HistoryPricesKeepTheirDigitsWithoutFloatNoise)
{
    // Widened 32-bit floats, as the provider sends them.
    EXPECT_EQ(exactPrice(20.212499618530273, 2), "20.2125");
    EXPECT_EQ(exactPrice(double(0.0380208f), 2), "0.0380208");
    EXPECT_EQ(exactPrice(double(1.1220826f), 4), "1.1220826");
    // Never fewer places than the hint; whole numbers too.
    EXPECT_EQ(exactPrice(double(244.6f), 2), "244.60");
    EXPECT_EQ(exactPrice(241, 2), "241.00");
    EXPECT_EQ(exactPrice(double(1.5f), 4), "1.5000");
    EXPECT_EQ(exactPrice(0, 2), "0.00");
    // A double that is no float keeps ten significant digits: a price of
    // six figures keeps its cents, arithmetic noise goes.
    EXPECT_EQ(exactPrice(700000.12, 2), "700000.12");
    EXPECT_EQ(exactPrice(0.1 + 0.2, 2), "0.30");
    EXPECT_EQ(exactPrice(-0.000012345678901, 2), "-0.0000123456789");
    EXPECT_EQ(exactPrice(livejson::kMissing, 2), "0");
}

TEST(LegacyText, DatesAndTimesInTheFormsTheProgramReads)
{
    EXPECT_EQ(quoteDate(QDate(2004, 6, 4)), "6/4/2004");
    EXPECT_EQ(quoteTime(QTime(16, 0)), "4:00pm");
    EXPECT_EQ(quoteTime(QTime(0, 5)), "12:05am");
    EXPECT_EQ(quoteTime(QTime(12, 30)), "12:30pm");
    EXPECT_EQ(quoteTime(QTime(9, 7)), "9:07am");
    EXPECT_EQ(historyDate(QDate(2004, 6, 14)), "14-Jun-04");
    EXPECT_EQ(historyDate(QDate(2021, 7, 1)), "1-Jul-21");
    EXPECT_EQ(historyDate(QDate(2000, 12, 31)), "31-Dec-00");
}

TEST(LegacyText, NamesBecomeOneQuotedLatin1Field)
{
    EXPECT_EQ(csvName(QStringLiteral("Fuel Tech, Inc., \"Class A\"")), "Fuel Tech, Inc. Class A");
    EXPECT_EQ(csvName(QString::fromUtf8("Bayerische Motoren Werke AG   S")), "Bayerische Motoren Werke AG S");
    EXPECT_EQ(csvName(QString::fromUtf8("Müller Łódź Œuvre")), QByteArray("M\xFCller L\xF3"
                                                                          "dz OEuvre"));
    EXPECT_EQ(csvName(QString::fromUtf8("Ŝkoda 東芝\nX")), "Skoda ?? X");
}

TEST(LegacyLine, KnownUnknownAndIndexLines)
{
    livejson::Instrument i;
    i.symbol = QStringLiteral("AAPL");
    i.shortName = QStringLiteral("Apple Inc.");
    i.fullExchangeName = QStringLiteral("NasdaqGS");
    i.exchange.timezoneName = QStringLiteral("America/New_York");
    i.marketTime = 1739566800;  // 2025-02-14 16:00 in New York
    i.open = 241.07;
    i.high = 245.41;
    i.low = 241;
    i.last = 244.6;
    i.volume = 40896227;
    EXPECT_EQ(legacyLine(QStringLiteral("aapl"), &i, "sd1t1ohgl1vn"),
              "\"aapl\",\"2/14/2025\",\"4:00pm\",241.07,245.41,241.00,244.60,40896227,\"Apple Inc.\"\r\n");
    EXPECT_EQ(legacyLine(QStringLiteral("AAPL"), &i, "snx"), "\"AAPL\",\"Apple Inc.\",\"NasdaqGS\"\r\n");

    // A share without an open, or with an open of 0: not available, never
    // the last price in its place.
    i.open = livejson::kMissing;
    EXPECT_EQ(legacyLine(QStringLiteral("AAPL"), &i, "ohgl1v"), "N/A,245.41,241.00,244.60,40896227\r\n");
    i.open = 0;
    i.volume = livejson::kMissing;
    EXPECT_EQ(legacyLine(QStringLiteral("AAPL"), &i, "ohgl1v"), "N/A,245.41,241.00,244.60,N/A\r\n");

    // An index: no open or range of its own (the provider sends 0), no
    // volume: the last price stands there, as the old service had it.
    i.type = QStringLiteral("INDEX");
    i.open = i.high = i.low = 0;
    i.volume = 0;
    EXPECT_EQ(legacyLine(QStringLiteral("^X"), &i, "ohgl1v"), "244.60,244.60,244.60,244.60,0\r\n");
    i.open = livejson::kMissing;  // but a missing one is missing
    EXPECT_EQ(legacyLine(QStringLiteral("^X"), &i, "ohgl1v"), "N/A,244.60,244.60,244.60,0\r\n");

    // A zone the system does not know: the offset of the answer.
    i.exchange.timezoneName = QStringLiteral("Nowhere/Atlantis");
    i.exchange.gmtOffsetSec = 3600;
    EXPECT_EQ(legacyLine(QStringLiteral("X"), &i, "d1t1"), "\"2/14/2025\",\"10:00pm\"\r\n");

    EXPECT_EQ(legacyLine(QStringLiteral("ZZZ"), nullptr, "sd1t1ohgl1vn"),
              "\"ZZZ\",\"N/A\",\"N/A\",N/A,N/A,N/A,0.00,N/A,\"ZZZ\"\r\n");
    EXPECT_EQ(legacyLine(QStringLiteral("ZZZ"), nullptr, "snx"), "\"ZZZ\",\"ZZZ\",\"N/A\"\r\n");
}

TEST(CurrentFromChart, OpenFromTheBarOfTheLastTradingDay)
{
    livejson::Chart c;
    c.meta.exchange.timezoneName = QStringLiteral("Europe/Berlin");
    c.meta.marketTime = 1740150000;  // 2025-02-21 16:00 in Berlin
    c.meta.last = 10;
    c.meta.high = 11;
    const livejson::Bar earlier{1740034800, 8, 8.5, 7.5, 8, 100, 8};  // the day before
    const livejson::Bar today{1740121200, 9.5, 12, 9, 10, 2000, 10};
    const livejson::Bar nextDay{1740200000, 1, 1, 1, 1, 1, 1};
    c.bars = {earlier, today, nextDay};
    const livejson::Instrument q = currentFromChart(c);
    EXPECT_EQ(q.open, 9.5);
    EXPECT_EQ(q.high, 11);  // the meta's own range wins
    EXPECT_EQ(q.low, 9);
    EXPECT_EQ(q.volume, 2000);
    EXPECT_EQ(q.last, 10);
}

TEST(HistoryCsv, SessionDaysOneRowPerDayNoRowWithoutPricesAndRange)
{
    livejson::Chart c;
    c.meta.exchange.timezoneName = QStringLiteral("Asia/Tokyo");
    c.meta.priceHint = 2;
    const auto bar = [](qint64 t, double close) { return livejson::Bar{t, 1, 2, 0.5, close, 10, close / 2}; };
    // 2024-06-13 15:00 UTC is already the 14th in Tokyo.
    c.bars = {bar(1718204400, 1.0),                 // 2024-06-12 15:00 UTC -> 13 Jun, before the range
              bar(1718290800, 2.0),                 // -> 14 Jun
              bar(1718294400, 3.0),                 // -> 14 Jun, later: kept
              bar(1718377200, livejson::kMissing),  // -> 15 Jun, no close
              bar(1718463600, 4.0),                 // -> 16 Jun, no open
              bar(1718542800, 5.0)};                // 2024-06-16 13:00 UTC: 22:00 in Tokyo -> 17 Jun
    c.bars[4].open = livejson::kMissing;
    int bare = 0;
    EXPECT_EQ(historyCsv(c, QDate(2024, 6, 14), QDate(2024, 6, 17), &bare),
              "Date,Open,High,Low,Close,Volume,Adj Close\n"
              "17-Jun-24,1.00,2.00,0.50,5.00,10,2.50\n"
              "14-Jun-24,1.00,2.00,0.50,3.00,10,1.50\n"
              "Left out,2,days without prices\n");
    EXPECT_EQ(bare, 2);
    EXPECT_TRUE(historyCsv(c, QDate(2024, 7, 1), QDate(2024, 7, 5)).isEmpty());
}

TEST(HistoryCsv, AFundsCapitalGainStaysOutOfTheDividendAdjustment)
{
    // A distribution of 7.857 on a close of 100: 1.437 dividend, 6.42
    // capital gain. The provider's adjusted close before the ex-date holds
    // all of it (x 0.92143); kept is the dividend's step only (x 0.98563).
    livejson::Chart c;
    c.meta.exchange.timezoneName = QStringLiteral("America/New_York");
    c.meta.priceHint = 2;
    c.bars = {livejson::Bar{1735828200, 100, 100, 100, 100, 0, 92.143},  // 2025-01-02 09:30 in New York
              livejson::Bar{1735914600, 93, 93, 93, 93, 0, 93}};         // 2025-01-03, the ex-date
    c.dividends = {{1735914600, 7.857}};
    c.capitalGains = {{1735914600, 6.42}};
    const QByteArray csv = historyCsv(c, QDate(2025, 1, 2), QDate(2025, 1, 3));
    EXPECT_EQ(csv.toStdString(), "Date,Open,High,Low,Close,Volume,Adj Close\n"
                                 "3-Jan-25,93.00,93.00,93.00,93.00,0,93.00\n"
                                 "2-Jan-25,100.00,100.00,100.00,100.00,0,98.563\n");
}
