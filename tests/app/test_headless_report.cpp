#include "testutil.h"

#include "database/clsdata.h"
#include "database/quotestore.h"
#include "database/startup.h"

class HeadlessReportTest : public QuotarisTest {};

TEST_F(HeadlessReportTest, PrintsTheListsAndTheFindingsUnderTheirHeadings)
{
    ASSERT_TRUE(runStartup().opened);
    {
        clsData data;
        data.tickersmislukt({"MSFT", "IBM"});
        data.voegvervallentoe("GONE");
        data.changeticker("OLD", "NEW");
        data.voegfindingstoe({{"ZZZ", 20260105, "bounds", "high 9 below close 10", "flagged"},
                              {"AAA", 20260102, "jump", "close 1240 against 12.3 before and 12.5 after",
                               "repaired: prices divided by 100 (close 1240 -> 12.4)"}});
    }
    const ProgramRun r = runQuotaris({QStringLiteral("report"), QStringLiteral("current")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("Failed (not downloaded):\n  IBM\n  MSFT\nNot found:\n  GONE\n"
                                    "Changed:\n  OLD -> NEW\nRejected:\n"
                                    "Findings:\n"
                                    "  AAA 2026-01-02 jump: close 1240 against 12.3 before and 12.5 after; "
                                    "repaired: prices divided by 100 (close 1240 -> 12.4)\n"
                                    "  ZZZ 2026-01-05 bounds: high 9 below close 10; flagged\n"));

    // With the store's values as sent, the repaired day follows the findings.
    {
        const auto figure = [](const char* t) { return core::Figure::parse(QString::fromLatin1(t)); };
        const core::Bar sent{20260102, figure("1240"), figure("1240"), figure("1240"), figure("1240"), figure("5"), {},
                             0};
        core::Bar written{20260102, figure("12.4"),     figure("12.4"), figure("12.4"), figure("12.4"), figure("5"),
                          {},       core::Bar::Repaired};
        QuoteStore store;
        store.put(QStringLiteral("AAA"), written,
                  store.source(QStringLiteral("quotes.example"), QDateTime::currentDateTimeUtc()), &sent);
    }
    EXPECT_TRUE(runQuotaris({QStringLiteral("report"), QStringLiteral("current")})
                    .out.endsWith(QStringLiteral("flagged\nRepaired days (as sent; as written):\n"
                                                 "  AAA 2026-01-02 sent 1240 1240 1240 1240 5; "
                                                 "written 12.4 12.4 12.4 12.4 5\n")));

    EXPECT_EQ(runQuotaris({QStringLiteral("report")}).status, 2);
    EXPECT_EQ(runQuotaris({QStringLiteral("report"), QStringLiteral("everything")}).status, 2);
}
