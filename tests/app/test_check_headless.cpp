#include "testutil.h"

#include "mslink/reader.h"
#include "mslink/writer.h"

#include <QDate>
#include <QDir>
#include <QFile>

namespace {

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
    EXPECT_TRUE(QFile::exists(ms + QStringLiteral("F1.DAT.bak")));
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
