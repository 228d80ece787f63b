#include "testutil.h"

#include "mslink/reader.h"
#include "mslink/writer.h"
#include "support/runlock.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray testData(const char* name) { return readAll(QStringLiteral(QUOTARIS_SHARE_DIR "/../tests/data/") + name); }

// Lines of `closes` on the weekdays from Monday 2024-01-01 in the ASCII
// layout: YYYYMMDD,O,H,L,C,V.
QByteArray asciiDays(const QVector<double>& closes)
{
    QByteArray out;
    QDate d(2024, 1, 1);
    for (double c : closes) {
        while (d.dayOfWeek() >= Qt::Saturday)
            d = d.addDays(1);
        const QByteArray p = QByteArray::number(c);
        out += d.toString(QStringLiteral("yyyyMMdd")).toLatin1() + ',' + p + ',' + p + ',' + p + ',' + p + ',' +
               QByteArray::number(1000 + out.size()) + "\r\n";
        d = d.addDays(1);
    }
    return out;
}

}  // namespace

class CheckCommandTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        folder = path(QStringLiteral("quotes/"));
        QDir().mkpath(folder);
    }
    QString folder;
};

TEST_F(CheckCommandTest, PrintsTheFindingsOfEveryQuoteFileOfAFolder)
{
    writeFile(folder + "CLEAN.asc", asciiDays({10, 10.1, 10.2, 10.3}));
    QVector<double> pence;
    for (int i = 0; i < 6; ++i)
        pence << 1000 + i;
    for (int i = 0; i < 4; ++i)
        pence << 10.1 + i / 10.0;
    writeFile(folder + "BP_L.asc", asciiDays(pence));
    // Stockguru, a high under the close; Advanced GET, a weekend day.
    writeFile(folder + "ABC.txt", "ABC,D,240102,10,10.2,9.9,10.5,500,1\r\nABC,D,240103,10.5,10.8,10.4,10.6,600,1\r\n");
    writeFile(folder + "GET.prn", "01/05/24,10,11,9,10.5,100\r\n01/06/24,10.5,11,10,10.6,100\r\n");
    writeFile(folder + "notes.txt", "not a quote file\r\n");

    const ProgramRun r = runQuotaris({QStringLiteral("check"), folder});
    EXPECT_EQ(r.status, 1) << qPrintable(r.err);
    EXPECT_EQ(
        r.lines(),
        (QStringList{"ABC 2024-01-02 bounds: high 10.2 below close 10.5; flagged",
                     "BP_L 2024-01-01 unitswitch: 2024-01-01 to 2024-01-08 (6 days) at 100x the unit of the later "
                     "days; flagged",
                     "GET 2024-01-06 weekend: Saturday; flagged"}));
    EXPECT_EQ(r.err, QStringLiteral("checked 4 files, 3 findings, 1 other files left alone\n"));

    const ProgramRun clean = runQuotaris({QStringLiteral("check"), folder + "CLEAN.asc", "--format", "C"});
    EXPECT_EQ(clean.status, 0);
    EXPECT_TRUE(clean.out.isEmpty());
}

TEST_F(CheckCommandTest, RepairRewritesTheFileAndKeepsTheOldOneBeside)
{
    const QByteArray sent = asciiDays({12.3, 12.4, 1250, 12.5, 12.6});
    writeFile(folder + "ONE.asc", sent);
    const ProgramRun r = runQuotaris({QStringLiteral("check"), folder + "ONE.asc", "--repair"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.lines(), QStringList{"ONE 2024-01-03 jump: close 1250 against 12.4 before and 12.5 after; repaired: "
                                     "prices divided by 100 (close 1250 -> 12.5)"});
    EXPECT_EQ(readAll(folder + "ONE.asc.bak"), sent);
    const QByteArray repaired = readAll(folder + "ONE.asc");
    EXPECT_TRUE(repaired.contains("\r\n20240103,12.5,12.5,12.5,12.5,"));
    EXPECT_EQ(repaired.count("\r\n"), 5);
    // The repaired file passes; the backup is not taken for a quote file.
    EXPECT_EQ(runQuotaris({QStringLiteral("check"), folder}).status, 0);
}

TEST_F(CheckCommandTest, AMetastockFolderIsCheckedAndRepaired)
{
    const QString ms = path(QStringLiteral("ms/"));
    {
        mslink::Writer::createFolder(ms);
        mslink::Writer w;
        w.openFolder(ms);
        w.addSecurity("VOD.L", "Vodafone");
        const qint32 dates[] = {20240102, 20240103, 20240104, 20240105, 20240108};
        const float closes[] = {80.5f, 81.0f, 8120.0f, 81.5f, 82.0f};
        for (int i = 0; i < 5; ++i)
            w.appendRecord(dates[i], 0, closes[i], closes[i], closes[i], closes[i], 1000, 0);
        w.flush();
        w.release();
    }
    writeFile(ms + "F1.DAT.bak", "an earlier backup");
    const ProgramRun r = runQuotaris({QStringLiteral("check"), ms, "--repair"});
    EXPECT_EQ(r.status, 1) << qPrintable(r.err) << qPrintable(r.out);
    ASSERT_EQ(r.lines().size(), 1) << qPrintable(r.out);
    EXPECT_TRUE(r.lines()[0].startsWith(QStringLiteral("VOD.L 2024-01-04 jump: close 8120 against 81 before")));
    mslink::Reader reader;
    reader.openFolder(ms);
    ASSERT_TRUE(reader.findSecurity(QStringLiteral("VOD.L")));
    reader.loadAllRecords();
    ASSERT_EQ(reader.arrays().size(), 5u);
    EXPECT_FLOAT_EQ(reader.arrays().closes[2], 81.2f);
    EXPECT_FLOAT_EQ(reader.arrays().highs[2], 81.2f);
    // The earlier backup stays; this one goes beside it.
    EXPECT_EQ(readAll(ms + QStringLiteral("F1.DAT.bak")), "an earlier backup");
    EXPECT_GT(QFileInfo(ms + QStringLiteral("F1.DAT.bak.1")).size(), 0);
}

TEST_F(CheckCommandTest, WrongUseAndUnreadableInput)
{
    writeFile(folder + "junk.asc", "no dates here\r\n");
    EXPECT_EQ(runQuotaris({QStringLiteral("check"), folder + "junk.asc"}).status, 6);
    EXPECT_EQ(runQuotaris({QStringLiteral("check"), folder + "missing.asc"}).status, 6);
    EXPECT_EQ(runQuotaris({QStringLiteral("check")}).status, 2);
    EXPECT_EQ(runQuotaris({QStringLiteral("check"), folder, "--format", "X"}).status, 2);
    EXPECT_EQ(runQuotaris({QStringLiteral("check"), folder + "junk.asc", "--format", "M"}).status, 2);
}

// A file is read as the format its folder is set to; only a file in no
// export folder is told by its content, and only when that leaves no doubt.
TEST_F(CheckCommandTest, AFileIsReadAsItsFolderSaysAndARepairKeepsItsFormat)
{
    // Text that also divides into 14-byte records, with a day at 100x.
    const QByteArray text = testData("check_ctrlz.asc");
    ASSERT_EQ(text.size() % 14, 0);
    ASSERT_TRUE(text.endsWith('\x1a'));
    writeFile(folder + "TEXT.asc", text);
    ProgramRun r = runQuotaris({QStringLiteral("check"), folder + "TEXT.asc", "--repair"});
    EXPECT_EQ(r.status, 1) << qPrintable(r.err);
    ASSERT_EQ(r.lines().size(), 1) << qPrintable(r.out);
    EXPECT_TRUE(r.lines()[0].startsWith(QStringLiteral("TEXT 2024-01-04 jump: close 1030"))) << qPrintable(r.out);
    QByteArray expected = text;
    expected.replace("20240104,1025,1035,1015,1030,", "20240104,10.25,10.35,10.15,10.3,");
    EXPECT_EQ(readAll(folder + "TEXT.asc"), expected);
    EXPECT_EQ(readAll(folder + "TEXT.asc.bak"), text);

    // The same bytes in the folder set to KBF are records, whatever they look like.
    const QString kbf = path(QStringLiteral("kbf/"));
    QDir().mkpath(kbf);
    ASSERT_EQ(runQuotaris({"format", "K", "on", "--folder", kbf}).status, 0);
    writeFile(kbf + "TEXT.kbf", text);
    r = runQuotaris({QStringLiteral("check"), kbf});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("TEXT.kbf record 1: unreadable"))) << qPrintable(r.out);
    // An ASCII file in that folder is no KBF file: left alone.
    writeFile(kbf + "OTHER.asc", text);
    EXPECT_TRUE(runQuotaris({QStringLiteral("check"), kbf}).err.contains(QStringLiteral("1 other files left alone")));

    // Told by its content: a torn KBF file fits no layout, and is not
    // skipped as some other file either.
    const QByteArray torn = readAll(kbf + "TEXT.kbf").left(27);
    writeFile(folder + "TORN.kbf", torn);
    r = runQuotaris({QStringLiteral("check"), folder + "TORN.kbf", "--repair"});
    EXPECT_EQ(r.status, 6);
    EXPECT_TRUE(r.err.contains(QStringLiteral("cannot tell the layout of"))) << qPrintable(r.err);
    EXPECT_EQ(readAll(folder + "TORN.kbf"), torn);
    EXPECT_FALSE(QFile::exists(folder + "TORN.kbf.bak"));
    EXPECT_TRUE(runQuotaris({QStringLiteral("check"), folder}).err.contains(QStringLiteral(", 1 unreadable")));
}

// A repair puts the repaired values in place and keeps every other byte; a
// file with a line that cannot be read is not repaired; no backup is
// overwritten.
TEST_F(CheckCommandTest, ARepairChangesOnlyTheRepairedValues)
{
    const QByteArray sent = testData("check_openinterest.asc");
    writeFile(folder + "OI.asc", sent);
    ProgramRun r = runQuotaris({QStringLiteral("check"), folder + "OI.asc", "--repair"});
    EXPECT_EQ(r.status, 1) << qPrintable(r.err);
    EXPECT_TRUE(r.err.contains(QStringLiteral("1 repaired, 1 rewritten"))) << qPrintable(r.err);
    QByteArray expected = sent;
    expected.replace("20240104,1240,1250,1230,1245,1200,7", "20240104,12.4,12.5,12.3,12.45,1200,7");
    EXPECT_EQ(readAll(folder + "OI.asc"), expected);
    EXPECT_EQ(readAll(folder + "OI.asc.bak"), sent);

    // The same fault again: the first backup stays, the next one is .bak.1.
    writeFile(folder + "OI.asc", sent);
    ASSERT_EQ(runQuotaris({QStringLiteral("check"), folder + "OI.asc", "--repair"}).status, 1);
    EXPECT_EQ(readAll(folder + "OI.asc.bak"), sent);
    EXPECT_EQ(readAll(folder + "OI.asc.bak.1"), sent);
    EXPECT_EQ(readAll(folder + "OI.asc"), expected);
    writeFile(folder + "OI.asc", sent);
    r = runQuotaris({QStringLiteral("check"), folder, "--repair"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(QFile::exists(folder + "OI.asc.bak.2"));
    EXPECT_TRUE(r.err.contains(QStringLiteral("checked 1 file,"))) << qPrintable(r.err);  // no backup checked

    // A comment line: reported, and the file stays as it is.
    const QByteArray commented = testData("check_comment.asc");
    writeFile(folder + "NOTE.asc", commented);
    r = runQuotaris({QStringLiteral("check"), folder + "NOTE.asc", "--repair"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("NOTE.asc line 2: unreadable"))) << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains(QStringLiteral("jump"))) << qPrintable(r.out);
    EXPECT_FALSE(r.out.contains(QStringLiteral("; repaired:"))) << qPrintable(r.out);
    EXPECT_TRUE(r.err.contains(QStringLiteral("not repaired: ") + folder + "NOTE.asc has 1 line that cannot be read"))
        << qPrintable(r.err);
    EXPECT_EQ(readAll(folder + "NOTE.asc"), commented);
    EXPECT_FALSE(QFile::exists(folder + "NOTE.asc.bak"));
}

TEST_F(CheckCommandTest, EveryUnreadableLineIsAFinding)
{
    writeFile(folder + "BAD.asc", testData("check_garbage.asc"));
    const ProgramRun r = runQuotaris({QStringLiteral("check"), folder + "BAD.asc"});
    EXPECT_EQ(r.status, 1);
    const QString file = folder + "BAD.asc";
    ASSERT_EQ(r.lines().size(), 3) << qPrintable(r.out);
    EXPECT_TRUE(r.lines()[0].startsWith(file + " line 3: unreadable: ")) << qPrintable(r.lines()[0]);
    EXPECT_TRUE(r.lines()[1].startsWith(file + " line 5: unreadable: ")) << qPrintable(r.lines()[1]);
    EXPECT_TRUE(r.lines()[2].startsWith(file + " line 6: unreadable: ")) << qPrintable(r.lines()[2]);
    EXPECT_EQ(r.err, QStringLiteral("checked 1 file, 3 findings\n"));
}

// A repair waits for no download: while another run holds the data folder
// it is refused and changes nothing; a plain check still reads.
TEST_F(CheckCommandTest, ARepairIsRefusedWhileADownloadHoldsTheFolder)
{
    const QByteArray sent = testData("check_openinterest.asc");
    writeFile(folder + "OI.asc", sent);
    {
        RunLock download;
        ASSERT_TRUE(download.acquire(QStringLiteral("download"), nullptr));
        const ProgramRun r = runQuotaris({QStringLiteral("check"), folder, "--repair"});
        EXPECT_EQ(r.status, 4);
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("A download is already running for this data folder (process ")))
            << qPrintable(r.err);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(readAll(folder + "OI.asc"), sent);
        EXPECT_FALSE(QFile::exists(folder + "OI.asc.bak"));
        EXPECT_EQ(runQuotaris({QStringLiteral("check"), folder}).status, 1);
    }
    EXPECT_EQ(runQuotaris({QStringLiteral("check"), folder, "--repair"}).status, 1);
    EXPECT_NE(readAll(folder + "OI.asc"), sent);
}

// The repair holds the folder from before it reads a file until it is done:
// the file here is a pipe the test writes only once a download was refused.
TEST_F(CheckCommandTest, ARepairHoldsTheFolderWhileItReads)
{
    const QString fifo = folder + "SLOW.asc";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QProcess child;
    child.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    child.start(QStringLiteral(QUOTARIS_BINARY), {"check", fifo, "--format", "C", "--repair"});
    ASSERT_TRUE(child.waitForStarted());
    RunLock download;
    QString refusal;
    QElapsedTimer waited;
    waited.start();
    // (Until the holder has written its name the refusal is a general one.)
    while (waited.elapsed() < 30000) {
        if (download.acquire(QStringLiteral("download"), &refusal))
            download.release();
        else if (refusal.contains(QStringLiteral("(process ")))
            break;
        QThread::msleep(20);
    }
    EXPECT_FALSE(download.held());
    EXPECT_TRUE(refusal.startsWith(QStringLiteral("A repair is already running for this data folder (process ")))
        << qPrintable(refusal);
    // Open for writing once the child reads (never blocking the test).
    int fd = -1;
    while (fd < 0 && waited.elapsed() < 60000 && child.state() != QProcess::NotRunning) {
        fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            QThread::msleep(20);
    }
    ASSERT_GE(fd, 0);
    const QByteArray days = asciiDays({10, 10.1, 10.2});
    EXPECT_EQ(::write(fd, days.constData(), static_cast<size_t>(days.size())), days.size());
    ::close(fd);
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().constData();
    EXPECT_TRUE(download.acquire(QStringLiteral("download"), &refusal));
}
