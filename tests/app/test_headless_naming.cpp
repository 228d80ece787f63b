// The user's way through the program: symbols imported from a file, then
// downloaded; the list shows what the service says of them, with the name
// as the service sent it.
#include "downloadfixture.h"

class HeadlessNamingTest : public DownloadCommandTest {
protected:
    void SetUp() override
    {
        DownloadCommandTest::SetUp();
        switchOn(QStringLiteral("C"));
    }
};

TEST_F(HeadlessNamingTest, ImportedSymbolsShowTheServicesNameMarketAndTypeAfterTheirFirstDownload)
{
    const QString file = path(QStringLiteral("symbols.txt"));
    writeFile(file, "AAPL\r\nCAFE\r\nGONE\r\n");
    fake.addQuote({"AAPL", "12/1/2026", "4:00pm", "10", "11", "9", "10.5", "1000", "APPLE INC", "NasdaqNM"});
    fake.addQuote({"CAFE", "12/1/2026", "4:00pm", "10", "11", "9", "10.5", "1000", "Caf\xe9 \"Ost\", Inc.", "SIX"});
    ProgramRun imported = runQuotaris({QStringLiteral("import"), QStringLiteral("--list"), QStringLiteral("1"), file});
    ASSERT_EQ(imported.status, 0) << qPrintable(imported.err);

    // GONE is not known to the service: it stays as the import left it.
    const Run first = run();
    EXPECT_TRUE(first.out.contains(QStringLiteral("Download finished: 2 of 3 written; 1 not found (see the report)")))
        << qPrintable(first.err);
    const ProgramRun listed = runQuotaris({QStringLiteral("symbols"), QStringLiteral("--list"), QStringLiteral("1")});
    EXPECT_EQ(listed.lines(), QStringList({QStringLiteral("AAPL,APPLE INC,Stock,NasdaqNM"),
                                           QStringLiteral("CAFE,Caf\u00e9 \"Ost\", Inc.,Stock,SIX"),
                                           QStringLiteral("GONE,GONE,Unknown,Unknown")}));

    // The second download asks nothing of the symbols the first described.
    fake.clearRequests();
    run();
    for (const auto& r : fake.requests()) {
        if (r.query.value("f") == "snx") {
            EXPECT_FALSE(r.symbols.contains("AAPL") || r.symbols.contains("CAFE")) << r.target.constData();
        }
    }
}
