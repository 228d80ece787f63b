#include "testutil.h"

#include <QDir>

class FormatsCommandTest : public QuotarisTest {};

TEST_F(FormatsCommandTest, FormatChangesWhatFormatsPrints)
{
    const QString folder = path("kbf");
    QDir().mkpath(folder);
    ProgramRun r = runQuotaris({"format", "k", "on", "--folder", folder, "--long-names", "on"});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, "K KBF-format: on, folder " + folder + "/, long names on\n");

    r = runQuotaris({"format", "P", "off", "--extension", "csv", "--open-interest", "on"});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);

    r = runQuotaris({"formats"});
    EXPECT_EQ(r.status, 0);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 10);
    EXPECT_TRUE(lines.contains("K KBF-format: on, folder " + folder + "/, long names on"));
    EXPECT_TRUE(lines.contains("P PRN-format: off, folder " + home() + ", extension CSV, open interest on"));
    EXPECT_TRUE(lines.contains("E Excel XLS: off, folder " + home()));
    EXPECT_TRUE(lines.contains("M Metastock: off, folder " + home() + ", max symbols 2000"));
}

TEST_F(FormatsCommandTest, RefusalsAndMistakes)
{
    ProgramRun r = runQuotaris({"format", "A", "on"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("Unable to write Amibroker-format"));

    r = runQuotaris({"format", "M", "on", "--folder", "/"});
    EXPECT_EQ(r.status, 1);

    EXPECT_EQ(runQuotaris({"format", "C", "on", "--folder", path("nowhere")}).status, 1);
    EXPECT_EQ(runQuotaris({"format", "X", "on"}).status, 2);
    EXPECT_EQ(runQuotaris({"format", "C", "maybe"}).status, 2);
    EXPECT_EQ(runQuotaris({"format", "V", "on", "--long-names", "on"}).status, 2);
    EXPECT_EQ(runQuotaris({"format", "P", "on", "--extension", "XLS"}).status, 2);
    EXPECT_EQ(runQuotaris({"format", "M", "off", "--max-symbols", "17"}).status, 2);

    r = runQuotaris({"formats"});
    EXPECT_TRUE(r.out.contains("C ASCII-format (CSV): off"));
    EXPECT_TRUE(r.out.contains("A Amibroker: off"));
}

// A listing changes nothing: a folder that is gone for a while (a disk not
// mounted) is listed as it is stored, also after the next start.
TEST_F(FormatsCommandTest, ListingKeepsAFolderThatIsGone)
{
    const QString folder = path("usb");
    QDir().mkpath(folder);
    ASSERT_EQ(runQuotaris({"format", "C", "on", "--folder", folder}).status, 0);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    for (int i = 0; i < 2; ++i) {
        const ProgramRun r = runQuotaris({"formats"});
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.out.contains("C ASCII-format (CSV): on, folder " + folder + "/")) << qPrintable(r.out);
    }
}
