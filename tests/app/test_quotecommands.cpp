#include "fakeservice.h"
#include "support/settingsstore.h"
#include "testutil.h"

using Fault = FakeQuoteService::Fault;

// The program runs as a child process against the fake service, which lives
// in this process: the event loop must keep turning while the child runs.
class QuoteCommandTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(fake.isListening());
        fake.useForAllHostsInStore();
        store::write(QStringLiteral("Isdelay"), QStringLiteral("False"));
        store::sync();
    }

    FakeQuoteService fake;
};

TEST_F(QuoteCommandTest, QuotePrintsAcceptedThenNotFoundThenRejected)
{
    fake.addQuote({"AAA", "6/4/2004", "4:00pm", "1.5", "1.7", "1.4", "1.6", "1000", "AAA INC", "NYSE"});
    fake.addQuote({"FTEK", "6/4/2004", "4:00pm", "3", "3", "3", "3", "10", "Fuel Tech, Inc.", "NasdaqNM"});
    fake.addQuote({"QUIET", "6/4/2004", "4:00pm", "3", "3", "3", "3", "0", "QUIET CORP", "NYSE"});
    const ProgramRun r = runQuotaris({QStringLiteral("quote"), QStringLiteral("AAA"), QStringLiteral("ZZZ"),
                                      QStringLiteral("QUIET"), QStringLiteral("FTEK")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.lines(),
              (QStringList{"AAA,20040604,4:00pm,1.5,1.7,1.4,1.6,1000,AAA INC",
                           "FTEK,20040604,4:00pm,3,3,3,3,10,Fuel Tech,Inc.", "not found: ZZZ", "rejected: QUIET"}));
    ASSERT_EQ(fake.requests().size(), 1);
    EXPECT_EQ(fake.requests()[0].query.value("s"), QByteArray("AAA+ZZZ+QUIET+FTEK+"));
}

TEST_F(QuoteCommandTest, FailedDownloadExitsNonZero)
{
    // An error page is an answer (no retry), but not data.
    fake.setFault(Fault::ServerError);
    const ProgramRun r = runQuotaris({QStringLiteral("quote"), QStringLiteral("AAA")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(QStringLiteral("Download failed: AAA")));
    EXPECT_EQ(fake.requests().size(), 1);

    EXPECT_EQ(runQuotaris({QStringLiteral("quote")}).status, 2);
}

TEST_F(QuoteCommandTest, InvestigateReportsSuccessorAndHistoryStart)
{
    fake.setPage("/q", "LEH", {200, FakeQuoteService::changedTickerPage("LEH", "LEHMQ.PK"), "text/html"});
    fake.setPage("/q/hp", "LEH", {200, FakeQuoteService::historyPricesPage(5, 14, 1962), "text/html"});
    ProgramRun r = runQuotaris({QStringLiteral("investigate"), QStringLiteral("LEH")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.lines(), (QStringList{"LEH changed to LEHMQ.PK", "history from 1962-05-14"}));

    r = runQuotaris({QStringLiteral("investigate"), QStringLiteral("ZZZ")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.lines(), (QStringList{"ZZZ not changed", "history start not found"}));

    fake.setFault(Fault::CloseBeforeAnswer);
    r = runQuotaris({QStringLiteral("investigate"), QStringLiteral("ZZZ")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("No answer from the quote service")));

    EXPECT_EQ(runQuotaris({QStringLiteral("investigate"), QStringLiteral("A"), QStringLiteral("B")}).status, 2);
}
