#include "testutil.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/startup.h"
#include "runs/currentreport.h"

class CurrentReportTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        data = std::make_unique<clsData>();
        market = data->markt0();
        ASSERT_NE(market, 0);
    }
    void TearDown() override
    {
        data.reset();
        QuotarisTest::TearDown();
    }

    void addSymbols(const QStringList& tickers)
    {
        for (const QString& t : tickers)
            data->addtodatabase2(t, t + QStringLiteral(" Inc"), market, QStringLiteral("Stock"));
    }
    // What a run leaves behind: three of each kind, stored out of order.
    void seedRun()
    {
        addSymbols({"GONE1", "gone2", "KEEP", "OLD1", "RJ"});
        data->tickersmislukt({"MSFT", "aapl", "IBM"});
        data->voegvervallentoe("gone2");
        data->voegvervallentoe("GONE1");
        data->voegvervallentoe("NOTINDB");
        data->changeticker("OLD1", "NEW1");
        data->changeticker("ABC", "ABD");
        data->voegverWorpentoe("RJ");
        data->voegverWorpentoe("KEEP");
    }
    int rows(const QString& table)
    {
        return data->db().scalar(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
    }
    bool stored(const QString& ticker)
    {
        return data->db()
                   .scalar(QStringLiteral("SELECT count(*) FROM fondsen WHERE codeyahoo = ?"), {ticker})
                   .toInt() == 1;
    }

    std::unique_ptr<clsData> data;
    int market = 0;
};

TEST_F(CurrentReportTest, ListsFollowTheTablesInTickerOrderIgnoringCase)
{
    seedRun();
    CurrentReport report;
    report.load();
    EXPECT_EQ(report.failed, QStringList({"aapl", "IBM", "MSFT"}));
    EXPECT_EQ(report.notFound, QStringList({"GONE1", "gone2", "NOTINDB"}));
    EXPECT_EQ(report.changed, QVector<CurrentReport::Change>({{"ABC", "ABD"}, {"OLD1", "NEW1"}}));
    EXPECT_EQ(report.rejected, QStringList({"KEEP", "RJ"}));
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(CurrentReportTest, AnsweringNoKeepsTheSymbolsButEmptiesNotFoundAndRejected)
{
    seedRun();
    CurrentReport report;
    report.load();
    msgs.queue(Answer::No);
    EXPECT_TRUE(report.removeNotFound());
    ASSERT_EQ(msgs.shown.size(), 1);
    EXPECT_EQ(msgs.shown[0].text, QStringLiteral("Delete Symbols?"));
    EXPECT_EQ(msgs.shown[0].buttons, Buttons::YesNo);

    EXPECT_TRUE(report.notFound.isEmpty());
    EXPECT_EQ(rows(QStringLiteral("vervallen")), 0);
    EXPECT_EQ(rows(QStringLiteral("verworpen")), 0);
    EXPECT_EQ(rows(QStringLiteral("fondsen")), 5);
    // The other findings of the run stay for the next look.
    EXPECT_EQ(rows(QStringLiteral("nietgelukt")), 3);
    EXPECT_EQ(rows(QStringLiteral("newtickers")), 2);
    EXPECT_EQ(report.rejected.size(), 2);
}

TEST_F(CurrentReportTest, AnsweringYesRemovesExactlyTheNotFoundSymbols)
{
    seedRun();
    CurrentReport report;
    report.load();
    msgs.queue(Answer::Yes);
    EXPECT_TRUE(report.removeNotFound());
    EXPECT_FALSE(stored(QStringLiteral("GONE1")));
    EXPECT_FALSE(stored(QStringLiteral("gone2")));
    // Rejected and renamed symbols still trade: they stay.
    EXPECT_TRUE(stored(QStringLiteral("KEEP")));
    EXPECT_TRUE(stored(QStringLiteral("RJ")));
    EXPECT_TRUE(stored(QStringLiteral("NEW1")));
    EXPECT_EQ(rows(QStringLiteral("fondsen")), 3);
    EXPECT_EQ(rows(QStringLiteral("vervallen")), 0);
    EXPECT_EQ(rows(QStringLiteral("verworpen")), 0);
    EXPECT_EQ(msgs.texts(), QStringList({"Delete Symbols?"}));  // a symbol missing from fondsen is no error
}

TEST_F(CurrentReportTest, ARunWithoutFailuresGivesEmptyListsAndRemovesWithoutAsking)
{
    addSymbols({"IBM"});
    data->voegverWorpentoe("IBM");
    CurrentReport report;
    report.load();
    EXPECT_TRUE(report.failed.isEmpty());
    EXPECT_TRUE(report.notFound.isEmpty());
    EXPECT_TRUE(report.changed.isEmpty());
    EXPECT_EQ(report.rejected, QStringList({"IBM"}));

    EXPECT_TRUE(report.removeNotFound());
    EXPECT_TRUE(msgs.shown.isEmpty());
    EXPECT_EQ(rows(QStringLiteral("verworpen")), 0);
    EXPECT_TRUE(stored(QStringLiteral("IBM")));
}

TEST_F(CurrentReportTest, AbortInTheErrorDialogKeepsTheFindingsForAnotherTry)
{
    seedRun();
    data->db().exec(
        QStringLiteral("CREATE TRIGGER keep BEFORE DELETE ON fondsen BEGIN SELECT RAISE(ABORT, 'in use'); END"));
    CurrentReport report;
    report.load();
    msgs.queue(Answer::Yes);
    msgs.queue(Answer::Abort);
    EXPECT_FALSE(report.removeNotFound());
    ASSERT_EQ(msgs.shown.size(), 2);
    EXPECT_EQ(msgs.shown[1].buttons, Buttons::AbortRetryIgnore);
    EXPECT_EQ(rows(QStringLiteral("vervallen")), 3);
    EXPECT_EQ(rows(QStringLiteral("verworpen")), 2);
    EXPECT_EQ(report.notFound.size(), 3);

    // Once the symbols can go, the same report finishes the job.
    data->db().exec(QStringLiteral("DROP TRIGGER keep"));
    msgs.queue(Answer::Yes);
    EXPECT_TRUE(report.removeNotFound());
    EXPECT_EQ(rows(QStringLiteral("fondsen")), 3);
    EXPECT_EQ(rows(QStringLiteral("vervallen")), 0);
}
