#include "testutil.h"

#include "quotes/historydecode.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/state.h"

#include <QDate>

namespace {
const QByteArray kHeader = "Date,Open,High,Low,Close,Volume\n";

HistoryDecodeOptions plain()
{
    HistoryDecodeOptions o;
    o.split = false;
    o.euro = false;
    o.reject = false;
    return o;
}

QStringList lines(const QString& ticker, const QVector<core::Bar>& records)
{
    QStringList out;
    for (const core::Bar& r : records)
        out << historyLine(ticker, r);
    return out;
}
}  // namespace

TEST(HistoryDecode, UrlIsLowerCaseWithZeroBasedMonths)
{
    EXPECT_EQ(
        historyUrl(QStringLiteral("Chart.Host:81"), QStringLiteral("ABC.AS"), QDate(2004, 1, 5), QDate(2004, 12, 31)),
        QStringLiteral("http://chart.host:81/table.csv?s=abc.as&a=0&b=5&c=2004&d=11&e=31&f=2004&y=0&g=d&ignore=.csv"));
}

TEST(HistoryDecode, BadAnswers)
{
    const QByteArray good = kHeader + "14-Jun-04,10.00,10.50,9.80,10.20,12345\n";
    EXPECT_FALSE(badHistoryAnswer(good, false));
    EXPECT_TRUE(badHistoryAnswer(good, true));
    EXPECT_TRUE(badHistoryAnswer(good.left(49), false));
    EXPECT_TRUE(badHistoryAnswer("<html><body>" + good + "</body></html>", false));
    EXPECT_TRUE(badHistoryAnswer(good + "No Prices in this date range\n", false));
}

TEST(HistoryDecode, NewestFirstBecomesOldestFirstWithTheAnswersOwnTexts)
{
    const QByteArray body = kHeader + "15-Jun-04,40.10,41.00,39.90,40.50,2000\n"
                                      "14-Jun-04,10.00,10.50,9.80,10.20,12345\n"
                                      "garbage line\n"
                                      "\n";
    const auto records = decodeHistory(body, QStringLiteral("XYZ"), plain());
    EXPECT_EQ(lines(QStringLiteral("XYZ"), records),
              (QStringList{QStringLiteral("XYZ,20040614,10.00,10.50,9.80,10.20,12345"),
                           QStringLiteral("XYZ,20040615,40.10,41.00,39.90,40.50,2000")}));
}

TEST(HistoryDecode, WithoutVolumeColumnEveryDayHasVolumeZero)
{
    const QByteArray body = "Date,Open,High,Low,Close\n14-Jun-04,10.00,10.50,9.80,10.20\n";
    const auto records = decodeHistory(body, QStringLiteral("XYZ"), plain());
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].volume.text, QStringLiteral("0"));
}

TEST(HistoryDecode, DatesUseTheSlidingCenturyWindow)
{
    const int nextYear = QDate::currentDate().year() % 100 + 1;
    EXPECT_EQ(historyDate("1-Jan-99"), 19990101);
    EXPECT_EQ(historyDate("5-Mar-05"), 20050305);
    EXPECT_EQ(historyDate("14-Jun-10"), 20100614);  // not 1910
    EXPECT_EQ(historyDate("14-Jun-" + QByteArray::number(nextYear).rightJustified(2, '0')) / 10000, 2000 + nextYear);
    EXPECT_EQ(historyDate("14-Jun-" + QByteArray::number(nextYear + 1).rightJustified(2, '0')) / 10000,
              1900 + nextYear + 1);
    EXPECT_EQ(historyDate("3-Foo-04"), 20041203);  // an unknown month is December
    EXPECT_EQ(historyDate("31-Feb-04"), 0);        // no such day
    EXPECT_EQ(historyDate("Date"), 0);
}

TEST(HistoryDecode, ZeroPricesTakeTheClose)
{
    const QByteArray body = kHeader + "14-Jun-04,0,0.00,0,10.20,100\n";
    const auto records = decodeHistory(body, QStringLiteral("XYZ"), plain());
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(historyLine(QStringLiteral("XYZ"), records[0]),
              QStringLiteral("XYZ,20040614,10.20,10.20,10.20,10.20,100"));
}

TEST(HistoryDecode, SplitAdjustmentUsesTheAdjustedClose)
{
    HistoryDecodeOptions o = plain();
    o.split = true;
    const QByteArray body = "Date,Open,High,Low,Close,Volume,Adj Close\n"
                            "14-Jun-04,20.00,21.00,19.00,20.00,1000,10.00\n"
                            "15-Jun-04,20.00,21.00,19.00,20.00,1000,20.00\n";
    const auto records = decodeHistory(body, QStringLiteral("XYZ"), o);
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(historyLine(QStringLiteral("XYZ"), records[0]),
              QStringLiteral("XYZ,20040615,20.00,21.00,19.00,20.00,1000"));  // unchanged
    EXPECT_EQ(historyLine(QStringLiteral("XYZ"), records[1]), QStringLiteral("XYZ,20040614,10,10.5,9.5,10,2000"));
    o.split = false;
    EXPECT_EQ(decodeHistory(body, QStringLiteral("XYZ"), o)[1].close.text, QStringLiteral("20.00"));
}

TEST(HistoryDecode, EuroConversionOnlyBefore1999AndForKnownSuffixes)
{
    HistoryDecodeOptions o = plain();
    o.euro = true;
    const QByteArray body = kHeader + "4-Jan-99,22.0371,22.0371,22.0371,22.0371,5\n"
                                      "31-Dec-98,22.0371,44.0742,22.0371,22.0371,5\n";
    const auto as = decodeHistory(body, QStringLiteral("abc.as"), o);
    ASSERT_EQ(as.size(), 2);
    EXPECT_EQ(historyLine(QStringLiteral("abc.as"), as[0]), QStringLiteral("abc.as,19981231,10,20,10,10,5"));
    EXPECT_EQ(as[1].close.text, QStringLiteral("22.0371"));
    EXPECT_EQ(decodeHistory(body, QStringLiteral("ABC.L"), o)[0].close.text, QStringLiteral("22.0371"));
    EXPECT_DOUBLE_EQ(euroRate(QStringLiteral("X.Y.MI")), 1936.27);
    EXPECT_DOUBLE_EQ(euroRate(QStringLiteral("SAP.de")), 1.95583);
    EXPECT_EQ(euroRate(QStringLiteral("IBM")), 0);
}

TEST(HistoryDecode, DaysWithoutVolumeAreRejectedExceptIndicesAndCurrencies)
{
    HistoryDecodeOptions o = plain();
    o.reject = true;
    const QByteArray body = kHeader + "15-Jun-04,1,1,1,1,7\n14-Jun-04,1,1,1,1,0\n";
    const auto stock = decodeHistory(body, QStringLiteral("XYZ"), o);
    ASSERT_EQ(stock.size(), 2);
    EXPECT_TRUE(stock[0].has(core::Bar::Refused));
    EXPECT_FALSE(stock[1].has(core::Bar::Refused));
    EXPECT_FALSE(decodeHistory(body, QStringLiteral("^AEX"), o)[0].has(core::Bar::Refused));
    EXPECT_FALSE(decodeHistory(body, QStringLiteral("eurusd=x"), o)[0].has(core::Bar::Refused));
}

TEST(HistoryDecode, SplitLinesAreNoDaysAndReadApart)
{
    const QByteArray body = kHeader + "21-Jul-21,195,196,190,194,100\n20-Jul-21,187,190,185,189,100\n"
                                      "Split,20-Jul-21,4:1\nSplit,1-Mar-21,1:10\nSplit,bad\n";
    HistoryDecodeOptions o = plain();
    o.first = QDate(2021, 1, 1);
    o.last = QDate(2021, 12, 31);
    EXPECT_EQ(lines(QStringLiteral("NVDA"), decodeHistory(body, QStringLiteral("NVDA"), o)),
              (QStringList{"NVDA,20210720,187,190,185,189,100", "NVDA,20210721,195,196,190,194,100"}));
    EXPECT_EQ(decodeSplits(body, o), (QVector<HistorySplit>{{20210720, 4}, {20210301, 0.1}}));
    EXPECT_TRUE(decodeSplits(kHeader + "20-Jul-21,187,190,185,189,100\n", o).isEmpty());
}

class HistoryDecodeLogTest : public QuotarisTest {};

TEST_F(HistoryDecodeLogTest, DaysTheGatewayLeftOutForLackOfPricesAreCountedInTheLog)
{
    settings().teller4 = 1;
    ResetLog();
    const QByteArray body = kHeader + "15-Jun-04,10.00,10.50,9.80,10.20,12345\n"
                                      "14-Jun-04,10.00,10.50,9.80,10.10,12000\n"
                                      "Left out,2,days without prices\n";
    EXPECT_EQ(lines(QStringLiteral("HOL"), decodeHistory(body, QStringLiteral("HOL"), plain())),
              QStringList({"HOL,20040614,10.00,10.50,9.80,10.10,12000", "HOL,20040615,10.00,10.50,9.80,10.20,12345"}));
    EXPECT_TRUE(readAll(paths::logFile()).contains("HOL: Left out,2,days without prices\r\n"))
        << readAll(paths::logFile()).constData();
    ResetLog();
}
