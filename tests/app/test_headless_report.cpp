#include "testutil.h"

#include "database/clsdata.h"
#include "database/startup.h"


class HeadlessReportTest : public QuotarisTest {};

TEST_F(HeadlessReportTest, PrintsTheFourListsUnderTheirHeadings)
{
    ASSERT_TRUE(runStartup().opened);
    {
        clsData data;
        data.tickersmislukt({"MSFT", "IBM"});
        data.voegvervallentoe("GONE");
        data.changeticker("OLD", "NEW");
    }
    const ProgramRun r = runQuotaris({QStringLiteral("report"), QStringLiteral("current")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("Failed (not downloaded):\n  IBM\n  MSFT\nNot found:\n  GONE\n"
                                  "Changed:\n  OLD -> NEW\nRejected:\n"));

    EXPECT_EQ(runQuotaris({QStringLiteral("report")}).status, 2);
    EXPECT_EQ(runQuotaris({QStringLiteral("report"), QStringLiteral("everything")}).status, 2);
}
