#include "gatewayfixture.h"

namespace {

// The history request as the program sends it: all lower case, months from 0.
QString tablePath(const QString& symbol, QDate from, QDate to)
{
    return QStringLiteral("/table.csv?s=%1&a=%2&b=%3&c=%4&d=%5&e=%6&f=%7&y=0&g=d&ignore=.csv")
        .arg(symbol.toLower())
        .arg(from.month() - 1).arg(from.day()).arg(from.year())
        .arg(to.month() - 1).arg(to.day()).arg(to.year());
}

}  // namespace

TEST_F(GatewayTest, HistoryNewestFirstWithSplitAdjustedPricesAndAdjustedClose)
{
    startGateway();
    const Answer a = get(tablePath(QStringLiteral("NVDA"), QDate(2021, 7, 1), QDate(2021, 8, 12)));
    ASSERT_EQ(a.status, 200);
    EXPECT_FALSE(a.body.contains('\r'));
    const QList<QByteArray> rows = a.body.split('\n');
    ASSERT_EQ(rows.size(), 32);  // header, 30 days, the empty text after the last LF
    EXPECT_EQ(rows[0], "Date,Open,High,Low,Close,Volume,Adj Close");
    EXPECT_EQ(rows[1], "12-Aug-21,19.87,20.03,19.62,19.91,151652000,19.87");
    EXPECT_EQ(rows[30], "1-Jul-21,20.13,20.46,20.02,20.21,480136000,20.17");
    // The provider's period reaches a day either side; the rows do not.
    const Answer part = get(tablePath(QStringLiteral("NVDA"), QDate(2021, 7, 2), QDate(2021, 7, 6)));
    EXPECT_EQ(part.body, "Date,Open,High,Low,Close,Volume,Adj Close\n"
                         "6-Jul-21,20.74,20.84,20.35,20.70,446708000,20.66\n"
                         "2-Jul-21,20.44,20.51,20.29,20.49,342764000,20.45\n");
    const FakeProvider::Request& asked = provider.requests().last();
    EXPECT_EQ(asked.path, "/v8/finance/chart/NVDA");
    EXPECT_EQ(asked.query, "period1=1625097600&period2=1625702400&interval=1d&events=div%7Csplit");
}

TEST_F(GatewayTest, HistoryOfADividendAndOfACurrency)
{
    startGateway();
    // The ex-date of the 0.56 dividend: close/adjusted close steps there.
    const Answer msft = get(tablePath(QStringLiteral("MSFT"), QDate(2021, 5, 18), QDate(2021, 5, 19)));
    EXPECT_EQ(msft.body, "Date,Open,High,Low,Close,Volume,Adj Close\n"
                         "19-May-21,239.31,243.23,238.60,243.12,25739800,235.62\n"
                         "18-May-21,246.27,246.41,242.90,243.08,20168000,235.04\n");
    const Answer fx = get(tablePath(QStringLiteral("EURUSD=X"), QDate(2020, 1, 1), QDate(2020, 1, 3)));
    EXPECT_TRUE(fx.body.endsWith("1-Jan-20,1.1221,1.1228,1.1159,1.1221,0,1.1221\n")) << fx.body.constData();
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
