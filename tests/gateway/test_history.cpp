#include "gatewayfixture.h"

#include <QTimeZone>

namespace {

// The history request as the program sends it: all lower case, months from 0.
QString tablePath(const QString& symbol, QDate from, QDate to)
{
    return QStringLiteral("/table.csv?s=%1&a=%2&b=%3&c=%4&d=%5&e=%6&f=%7&y=0&g=d&ignore=.csv")
        .arg(symbol.toLower())
        .arg(from.month() - 1)
        .arg(from.day())
        .arg(from.year())
        .arg(to.month() - 1)
        .arg(to.day())
        .arg(to.year());
}

}  // namespace

TEST_F(GatewayTest, HistoryNewestFirstWithSplitAdjustedPricesAndAdjustedClose)
{
    startGateway();
    const Answer a = get(tablePath(QStringLiteral("NVDA"), QDate(2021, 7, 1), QDate(2021, 8, 12)));
    ASSERT_EQ(a.status, 200);
    EXPECT_FALSE(a.body.contains('\r'));
    const QList<QByteArray> rows = a.body.split('\n');
    ASSERT_EQ(rows.size(), 33);  // header, 30 days, the split, the empty text after the last LF
    EXPECT_EQ(rows[0], "Date,Open,High,Low,Close,Volume,Adj Close");
    // Every digit the provider has, without its single-precision noise: a
    // split-adjusted 20.212 is not 20.21, and the ratio of close to adjusted
    // close stays as the provider made it.
    EXPECT_EQ(rows[1], "12-Aug-21,19.87,20.029,19.62,19.905,151652000,19.86601");
    EXPECT_EQ(rows[30], "1-Jul-21,20.125,20.456,20.019,20.212,480136000,20.172413");
    // The split the provider reported, for the program's integrity check.
    EXPECT_EQ(rows[31], "Split,20-Jul-21,4:1");
    // The provider's period reaches a day either side; the rows do not.
    const Answer part = get(tablePath(QStringLiteral("NVDA"), QDate(2021, 7, 2), QDate(2021, 7, 6)));
    EXPECT_EQ(part.body, "Date,Open,High,Low,Close,Volume,Adj Close\n"
                         "6-Jul-21,20.7375,20.842,20.35025,20.6985,446708000,20.65796\n"
                         "2-Jul-21,20.44025,20.50525,20.28775,20.487,342764000,20.446875\n");
    const FakeProvider::Request& asked = provider.requests().last();
    EXPECT_EQ(asked.path, "/v8/finance/chart/NVDA");
    EXPECT_EQ(asked.query, "period1=1625097600&period2=1625702400&interval=1d&events=div%2Csplits%2CcapitalGains");
}

TEST_F(GatewayTest, SplitAdjustedPricesOfLongAgoAreNoStaircase)
{
    // 1999 closes after every split since: today's hint of 2 decimals would
    // make 0.0380208 and 0.0385417 both 0.04, and the adjusted close 0.03.
    const auto f = [](float v) { return QByteArray::number(double(v), 'g', 17); };
    provider.setChart(
        QStringLiteral("OLD"), 200,
        R"({"chart":{"result":[{"meta":{"symbol":"OLD","priceHint":2,"exchangeTimezoneName":"America/New_York"},)"
        R"("timestamp":[917015400,917274600],"indicators":{"quote":[{"open":[)" +
            f(0.0376f) + ',' + f(0.0380208f) + R"(],"high":[)" + f(0.0390625f) + ',' + f(0.0390625f) + R"(],"low":[)" +
            f(0.0351563f) + ',' + f(0.0377604f) + R"(],"close":[)" + f(0.0380208f) + ',' + f(0.0385417f) +
            R"(],"volume":[2714688000,510480000]}],"adjclose":[{"adjclose":[)" + f(0.034898f) + ',' + f(0.0353761f) +
            "]}]}}],\"error\":null}}");
    startGateway();
    const Answer a = get(tablePath(QStringLiteral("OLD"), QDate(1999, 1, 22), QDate(1999, 1, 25)));
    EXPECT_EQ(a.body, "Date,Open,High,Low,Close,Volume,Adj Close\n"
                      "25-Jan-99,0.0380208,0.0390625,0.0377604,0.0385417,510480000,0.0353761\n"
                      "22-Jan-99,0.0376,0.0390625,0.0351563,0.0380208,2714688000,0.034898\n");
}

TEST_F(GatewayTest, HistoryOfADividendAndOfACurrency)
{
    startGateway();
    // The ex-date of the 0.56 dividend: close/adjusted close steps there.
    const Answer msft = get(tablePath(QStringLiteral("MSFT"), QDate(2021, 5, 18), QDate(2021, 5, 19)));
    EXPECT_EQ(msft.body, "Date,Open,High,Low,Close,Volume,Adj Close\n"
                         "19-May-21,239.31,243.23,238.60,243.12,25739800,235.6169\n"
                         "18-May-21,246.27,246.41,242.90,243.08,20168000,235.0354\n");
    const Answer fx = get(tablePath(QStringLiteral("EURUSD=X"), QDate(2020, 1, 1), QDate(2020, 1, 3)));
    EXPECT_TRUE(fx.body.endsWith("1-Jan-20,1.1220826,1.1228385,1.1159469,1.1220826,0,1.1220826\n"))
        << fx.body.constData();
}

TEST_F(GatewayTest, HistoryWithoutPricesAndOfUnknownSymbols)
{
    startGateway();
    // An index without rows, a range before the listing: "No Prices".
    for (const QString& symbol : {QStringLiteral("^VXAPL"), QStringLiteral("BEKE"), QStringLiteral("LUCYW")}) {
        const Answer a = get(tablePath(symbol, QDate(2020, 1, 1), QDate(2020, 1, 3)));
        EXPECT_EQ(a.status, 404);
        EXPECT_TRUE(a.body.contains("No Prices in this date range")) << qPrintable(symbol);
    }
    // The provider does not know it: the 404 page.
    const Answer unknown = get(tablePath(QStringLiteral("SI"), QDate(2020, 1, 1), QDate(2020, 1, 3)));
    EXPECT_EQ(unknown.status, 404);
    EXPECT_TRUE(unknown.body.startsWith("<html>"));
}

TEST_F(GatewayTest, NoRequestTheProviderRefusesForItsLength)
{
    // "All data" starts in 1900; the provider serves 100 years of days at
    // most: asked from 99 years ago, and never from after the end.
    startGateway();
    const QDate today = QDateTime::currentDateTimeUtc().date();
    get(tablePath(QStringLiteral("MSFT"), QDate(1900, 1, 1), today.addDays(-1)));
    ASSERT_EQ(provider.count("/v8/finance/chart/MSFT"), 1);
    const QByteArray query = provider.requests().last().query;
    const qint64 period1 = query.mid(8, query.indexOf('&') - 8).toLongLong();
    EXPECT_EQ(QDateTime::fromSecsSinceEpoch(period1, QTimeZone::utc()),
              QDateTime(today.addYears(-99).addDays(1), QTime(0, 0), QTimeZone::utc()));

    // A range wholly before that: no prices, and nothing asked.
    const Answer old = get(tablePath(QStringLiteral("MSFT"), QDate(1900, 1, 1), QDate(1910, 12, 31)));
    EXPECT_EQ(old.status, 404);
    EXPECT_TRUE(old.body.contains("No Prices in this date range"));
    EXPECT_EQ(provider.count("/v8/finance/chart/MSFT"), 1);
}
