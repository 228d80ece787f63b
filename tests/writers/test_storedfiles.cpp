#include "writertest.h"

#include "database/startup.h"
#include "mslink/writer.h"
#include "writers/metaclass.h"
#include "writers/metastockrun.h"
#include "writers/storedfiles.h"

#include <QDate>

using storedfiles::Day;

namespace {
QDate d(int y, int m, int day) { return QDate(y, m, day); }
}  // namespace

// What each writer stores reads back day by day, with its prices; the last
// date from the end of the file agrees with the whole read.
TEST_F(WriterTest, EveryPerSymbolFormatReadsBackWhatItsWriterStored)
{
    // Stockguru and GET both write .prn files: each in a folder of its own.
    settings().format('D').folder = path("get/");
    QDir().mkpath(settings().format('D').folder);
    for (char c : {'S', 'D', 'C', 'K'}) {
        const QChar letter = QLatin1Char(c);
        write(letter, "XYZ.AS", 20240315, "10", "11", "9", "10,5", "1000");
        write(letter, "XYZ.AS", 20240318, "10.5", "12.25", "10.5", "11.75", "70000");
        write(letter, "XYZ.AS", 20240312, "9.5", "10.25", "9", "10", "250000");
        const QString file = storedfiles::symbolPath(letter, "XYZ.AS", "Xyz");
        ASSERT_FALSE(file.isEmpty()) << c;
        const storedfiles::Series s = storedfiles::readDays(file, letter);
        ASSERT_EQ(s.days.size(), 3) << c;
        EXPECT_EQ(s.skipped, 0) << c;
        EXPECT_EQ(s.days[0].date, d(2024, 3, 12)) << c;
        EXPECT_EQ(s.days[2].date, d(2024, 3, 18)) << c;
        EXPECT_DOUBLE_EQ(s.days[2].high, 12.25) << c;
        EXPECT_DOUBLE_EQ(s.days[1].close, 10.5) << c;  // the decimal comma as written
        EXPECT_DOUBLE_EQ(s.days[0].volume, 250000) << c;
        EXPECT_EQ(s.hasOpen, c != 'K') << c;
        EXPECT_DOUBLE_EQ(s.days[2].open, c == 'K' ? 11.75 : 10.5) << c;
        EXPECT_EQ(storedfiles::lastDate(file, letter), d(2024, 3, 18)) << c;
    }
}

// The long-names switch moves the file; the reader follows the writer.
TEST_F(WriterTest, TheFileIsFoundUnderTheLongNameWhenThatIsOn)
{
    settings().format('C').longNames = true;
    // A run hands the writer the name reduced to letters and digits.
    write(QLatin1Char('C'), "XYZ.AS", 20240315, "10", "11", "9", "10", "1000", "XyzHoldingNV");
    const QString file = storedfiles::symbolPath(QLatin1Char('C'), "XYZ.AS", "Xyz Holding N.V.");
    EXPECT_EQ(file, folder + "XyzHoldingNV.asc");
    EXPECT_EQ(storedfiles::lastDate(file, QLatin1Char('C')), d(2024, 3, 15));
}

// The end of a file as other programs and the history merge leave it.
TEST_F(WriterTest, LastDateReadsTheEndOfEveryShapeOfFile)
{
    const QChar ascii = QLatin1Char('C');
    const QString f = folder + "t.asc";
    struct Case {
        const char* what;
        QByteArray content;
        QDate last;
    } cases[] = {
        {"no final line break", "20240101,1,2,1,2,5\r\n20240102,1,2,1,2,5", d(2024, 1, 2)},
        {"CR LF", "20240101,1,2,1,2,5\r\n20240103,1,2,1,2,5\r\n", d(2024, 1, 3)},
        {"LF", "20240101,1,2,1,2,5\n20240104,1,2,1,2,5\n", d(2024, 1, 4)},
        {"blank lines at the end", "20240105,1,2,1,2,5\r\n\r\n\r\n", d(2024, 1, 5)},
        {"one line", "20240106,1,2,1,2,5", d(2024, 1, 6)},
        {"only a header", "<DATE>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>\r\n", QDate()},
        {"empty", "", QDate()},
        {"garbage after the days", "20240107,1,2,1,2,5\r\nnot a day\r\n", d(2024, 1, 7)},
    };
    for (const Case& c : cases) {
        writeFile(f, c.content);
        EXPECT_EQ(storedfiles::lastDate(f, ascii), c.last) << c.what;
    }
    EXPECT_FALSE(storedfiles::lastDate(folder + "none.asc", ascii).isValid());

    // A dated line further back than the first piece read from the end.
    writeFile(f, "20240108,1,2,1,2,5\r\n" + QByteArray(5000, 'x') + "\r\n");
    EXPECT_EQ(storedfiles::lastDate(f, ascii), d(2024, 1, 8));

    // Two-digit years of the PRN layouts.
    writeFile(folder + "g.prn", "01/02/24,1,2,1,2,5\r\n12/31/99,1,2,1,2,5\r\n");
    EXPECT_EQ(storedfiles::lastDate(folder + "g.prn", QLatin1Char('D')), d(1999, 12, 31));
    writeFile(folder + "s.format('P').folder", "ABC,D,240102,1,2,1,2,5,1\r\nABC,D,240103,1,2,1,2,5,1");
    EXPECT_EQ(storedfiles::lastDate(folder + "s.format('P').folder", QLatin1Char('S')), d(2024, 1, 3));
}

TEST_F(WriterTest, ReadingSkipsHeaderAndBadLinesAndKeepsTheLaterOfARepeatedDate)
{
    const QString f = folder + "t.asc";
    writeFile(f, "<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>\r\n"
                 "20240103,1,3,1,2,5\r\n"
                 "20240102,1,2,1,2,5\r\n"
                 "20240103,1,4,1,2,5\r\n"
                 "20240104,1,x,1,2,5\r\n"
                 "20240105,1,2\r\n"
                 "20240108,nan,2,1,2,5\r\n"
                 "20240109,1,inf,1,2,5\r\n"
                 "20240110,1,2,-INF,2,NaN\r\n");
    const storedfiles::Series s = storedfiles::readDays(f, QLatin1Char('C'));
    // Days with a price that is no number are never drawn.
    ASSERT_EQ(s.days.size(), 2);
    EXPECT_EQ(s.days[0].date, d(2024, 1, 2));
    EXPECT_DOUBLE_EQ(s.days[1].high, 4);
    EXPECT_EQ(s.skipped, 5);
    EXPECT_TRUE(storedfiles::readDays(folder + "none.asc", QLatin1Char('C')).days.isEmpty());
}

TEST_F(WriterTest, KbfLastDateComesFromTheLastWholeRecord)
{
    write(QLatin1Char('K'), "K1", 20240315, "10", "11", "9", "10", "1000");
    write(QLatin1Char('K'), "K1", 20240318, "10", "11", "9", "10", "1000");
    const QString f = folder + "K1.kbf";
    EXPECT_EQ(storedfiles::lastDate(f, QLatin1Char('K')), d(2024, 3, 18));
    // A part record cut off at the end does not hide the whole ones.
    writeFile(f, readAll(f) + QByteArray(5, '\0'));
    EXPECT_EQ(storedfiles::lastDate(f, QLatin1Char('K')), d(2024, 3, 18));
}

class StoredMetastockTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        root = path("ms/");
        settings().format('M').folder = root;
        settings().format('M').on = true;
        mslink::Writer::createFolder(root + "A/");
    }
    void quote(const QString& ticker, qint32 date, double close)
    {
        metaclass m(run);
        m.ticker(ticker);
        m.tname(ticker + " Corp");
        m.tdate(date);
        m.topen(close - 0.5);
        m.thigh(close + 1);
        m.tlow(close - 1);
        m.tclose(close);
        m.tvolume(100);
        ASSERT_EQ(m.go(), StepOutcome::Done);
    }
    QString root;
    MetastockRunState run;  // the writer's; its map connection opens when first used
};

// The master entries give the last date, the data file the days, found
// through the map as the writer placed the security.
TEST_F(StoredMetastockTest, TheSecurityIsFoundThroughTheMapAndReadBack)
{
    quote("ABC", 20240102, 10);
    quote("ABC", 20240103, 11);
    quote("XYZ", 20240105, 20);
    const storedfiles::MetastockIndex index(run.db(), root);
    const auto* abc = index.find("abc");
    ASSERT_NE(abc, nullptr);
    EXPECT_EQ(abc->folder, root + "A/");
    EXPECT_EQ(abc->last, d(2024, 1, 3));
    EXPECT_EQ(index.find("NONE"), nullptr);

    const storedfiles::Series s = storedfiles::readSymbol(run.db(), QLatin1Char('M'), "ABC", {});
    ASSERT_EQ(s.days.size(), 2);
    EXPECT_TRUE(s.hasOpenInterest);
    EXPECT_DOUBLE_EQ(s.days[1].high, 12);
    EXPECT_DOUBLE_EQ(s.days[1].open, 10.5);
    EXPECT_TRUE(storedfiles::readSymbol(run.db(), QLatin1Char('M'), "NONE", {}).days.isEmpty());
}
