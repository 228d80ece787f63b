// The headless metastock commands against a folder written by the library.
#include "testutil.h"

#include "mslink/writer.h"

#include <QDir>

class MetastockCommandTest : public QuotarisTest {};

TEST_F(MetastockCommandTest, ScanListAndShow)
{
    const QString msRoot = path("ms/");
    {
        mslink::Writer::createFolder(msRoot + "A/");
        mslink::Writer::createFolder(msRoot + "B/");
        mslink::Writer w;
        w.openFolder(msRoot + "B/");
        w.addSecurity("ZZZ", "Zed Zed");
        w.addSecurity("O'HARA", "O'Hara \"Quoted\" & Sons, a name longer than forty-five characters");
        w.appendRecord(20240103, 120000, 79.97f, 80.5f, 79.1f, 80.25f, 1234567, 0);
        w.appendRecord(20240102, 120000, 0.1f, 0.3f, 0.05f, 0.2f, 16777217, 0);
        w.flush();
        w.release();
        w.openFolder(msRoot + "A/");
        w.addSecurity("AAA", "Alpha");
    }
    ASSERT_EQ(runQuotaris({"format", "M", "on", "--folder", msRoot}).status, 0);

    const ProgramRun scan = runQuotaris({"metastock", "scan"});
    ASSERT_EQ(scan.status, 0) << qPrintable(scan.err);
    EXPECT_EQ(scan.lines(), QStringList({msRoot + "A/ 1", msRoot + "B/ 2", "3 securities in 2 folders"}));

    const ProgramRun list = runQuotaris({"metastock", "list", msRoot + "B"});
    ASSERT_EQ(list.status, 0) << qPrintable(list.err);
    EXPECT_EQ(list.lines(), QStringList({"F1,ZZZ,Zed Zed,0,0,0",
                                         "F2,O'HARA,O'Hara \"Quoted\" & Sons, a name longer than fo,20240102,20240103,2"}));

    const ProgramRun show = runQuotaris({"metastock", "show", msRoot + "B/", "o'hara"});
    ASSERT_EQ(show.status, 0) << qPrintable(show.err);
    EXPECT_EQ(show.lines(), QStringList({"20240102,0.1,0.3,0.05,0.2,16777216", "20240103,79.97,80.5,79.1,80.25,1234567"}));

    EXPECT_EQ(runQuotaris({"metastock", "show", msRoot + "B/", "NOPE"}).status, 1);
    EXPECT_EQ(runQuotaris({"metastock", "list", path("nothing")}).status, 1);
    EXPECT_EQ(runQuotaris({"metastock", "frobnicate"}).status, 2);
}
