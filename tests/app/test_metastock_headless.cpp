// The headless metastock commands against a folder written by the library.
#include "testutil.h"

#include "mslink/writer.h"
#include "msreader.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

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
    EXPECT_EQ(list.lines(),
              QStringList({"F1,ZZZ,Zed Zed,0,0,0",
                           "F2,O'HARA,O'Hara \"Quoted\" & Sons, a name longer than fo,20240102,20240103,2"}));

    const ProgramRun show = runQuotaris({"metastock", "show", msRoot + "B/", "o'hara"});
    ASSERT_EQ(show.status, 0) << qPrintable(show.err);
    EXPECT_EQ(show.lines(),
              QStringList({"20240102,0.1,0.3,0.05,0.2,16777216", "20240103,79.97,80.5,79.1,80.25,1234567"}));

    EXPECT_EQ(runQuotaris({"metastock", "show", msRoot + "B/", "NOPE"}).status, 1);
    EXPECT_EQ(runQuotaris({"metastock", "list", path("nothing")}).status, 1);
    EXPECT_EQ(runQuotaris({"metastock", "frobnicate"}).status, 2);
}

namespace {
QMap<QString, QByteArray> filesBelow(const QString& dir)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        out[f] = readAll(f);
    }
    return out;
}
}  // namespace

// The scan only reads: a data file no master names stays and is reported,
// and folders whose master files are lost beside data files are damaged and
// left byte for byte.
TEST_F(MetastockCommandTest, ScanLeavesEveryDataFileAndFoldersThatLostTheirMastersAlone)
{
    const QString msRoot = path("ms/");
    const QString a = msRoot + "A/", b = msRoot + "B/", c = msRoot + "C/";
    for (const QString& f : {a, b, c})
        mslink::Writer::createFolder(f);
    {
        mslink::Writer w;
        w.openFolder(a);
        w.addSecurity("AAA", "Alpha");
        w.appendRecord(20240102, 120000, 1, 2, 0.5f, 1.5f, 100, 0);
        w.flush();
        w.openFolder(b);
        w.addSecurity("BBB", "Beta");
        w.appendRecord(20240102, 120000, 1, 2, 0.5f, 1.5f, 100, 0);
        w.flush();
        w.openFolder(c);
        for (int n = 0; n < 256; ++n) {
            w.addSecurity(QStringLiteral("C%1").arg(n), QStringLiteral("Gamma %1").arg(n));
            w.appendRecord(20240102, 120000, 1, 2, 0.5f, 1.5f, 100, 0);
            w.flush();
        }
        w.release();
    }
    writeFile(a + "F7.DAT", readAll(a + "F1.DAT"));  // records no entry names
    QFile::remove(b + "MASTER");
    QFile::remove(b + "EMASTER");
    writeFile(c + "XMASTER", QByteArray());  // F256.MWD keeps its records
    const auto before = filesBelow(msRoot);

    ASSERT_EQ(runQuotaris({"format", "M", "on", "--folder", msRoot}).status, 0);
    const ProgramRun scan = runQuotaris({"metastock", "scan"});
    EXPECT_EQ(scan.status, 1);
    EXPECT_EQ(scan.lines(), QStringList({a + " 1", "1 securities in 1 folders"}));
    EXPECT_TRUE(scan.err.contains("damaged, left alone: " + b)) << qPrintable(scan.err);
    EXPECT_TRUE(scan.err.contains("damaged, left alone: " + c)) << qPrintable(scan.err);
    EXPECT_TRUE(scan.err.contains("named by no master file, left alone: " + a + "F7.DAT")) << qPrintable(scan.err);
    EXPECT_EQ(filesBelow(msRoot), before);

    const MsFolderRead other = readMsFolder(a);
    ASSERT_TRUE(other.ran) << qPrintable(other.error);
    EXPECT_EQ(other.unnamed, QStringList{"F7.DAT"});
    EXPECT_EQ(other.problems, QStringList());
}
