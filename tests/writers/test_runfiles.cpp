#include "writertest.h"

#include "support/openfiles.h"
#include "support/paths.h"
#include "writers/codecs/text/textformats.h"
#include "writers/runfiles.h"
#include "writers/symbolwriter.h"

#include <QFileInfo>

namespace {
const QDate kDay(2004, 3, 15);
const Quote kXyz{"XYZ.AS", "Xyz", 20040315, "10", "11", "9", "10,5", "1000"};
const Quote kAex{"^AEX", "AEX index", 20040315, "350.5", "352", "349", "351.25", "0"};
const Quote kEur{"EURUSD=X", "Euro", 20040315, "1.2", "1.3", "1.1", "1.25", "0"};
}  // namespace

TEST_F(WriterTest, MarketCodes)
{
    EXPECT_EQ(runfiles::marketCode(""), "QR");
    EXPECT_EQ(runfiles::marketCode(" EURUSD=X "), "QRX");
    EXPECT_EQ(runfiles::marketCode("^AEX"), "QRIDX");
    EXPECT_EQ(runfiles::marketCode("MSFT"), "QRUS");
    EXPECT_EQ(runfiles::marketCode("abc.de.fg"), "QRDE.FG");
}

TEST_F(WriterTest, VisionAndVikingenFilesMatchTheGoldenLayout)
{
    const QString vision = runfiles::createVisionFile(false, kDay);
    const QString vikingen = runfiles::createVikingenFile(false, kDay);
    EXPECT_EQ(vision, folder + "quotes20040315-1.vsn");
    EXPECT_EQ(vikingen, folder + "C0315-1.txt");
    {
        AppendFile v(vision), k(vikingen);
        for (const Quote& q : {kXyz, kAex, kEur})
            v.write(runfiles::visionLine(q, true));
        k.write(runfiles::vikingenRecord(kXyz, true));
        k.write(runfiles::vikingenRecord(Quote{"ABCDEFGHIJKLMN", "Long one", 20040315, "1,25", "2", "1", "1.5", "300"},
                                         true));
        EXPECT_EQ(openfiles::count(), 2);
    }
    EXPECT_EQ(openfiles::count(), 0);
    EXPECT_EQ(readAll(vision), golden("golden_vision.vsn"));
    EXPECT_EQ(readAll(vikingen), golden("golden_vikingen.txt"));

    // The next run of the day takes the next number; an empty file left
    // behind does not count.
    EXPECT_EQ(runfiles::createVisionFile(false, kDay), folder + "quotes20040315-2.vsn");
    EXPECT_EQ(runfiles::createVikingenFile(false, kDay), folder + "C0315-2.txt");
    writeFile(folder + "history-1.vsn", "");
    EXPECT_EQ(runfiles::createVisionFile(true, kDay), folder + "history-1.vsn");
    EXPECT_EQ(runfiles::createVikingenFile(true, kDay), folder + "H-1.txt");
    // A historical run keeps the decimal point texts as they are.
    EXPECT_EQ(runfiles::vikingenRecord(kXyz, false).split('\n').at(2), "XYZ_AS,11,9,10,5,1000,,10\r");
}

TEST_F(WriterTest, StagingFilesAndTheRunFileCopy)
{
    ASSERT_TRUE(paths::ensureDataFolder(nullptr));
    runfiles::createStagingFiles(false);
    EXPECT_EQ(readAll(paths::dataFile("ami2.txt")), "");
    settings().format('P').value("h11") = "1";
    {
        AppendFile ami1(paths::dataFile("ami1.txt")), ami2(paths::dataFile("ami2.txt"));
        ami1.write(runfiles::ami1Line(kXyz, settings().format('P').value("h11")));
        ami1.write(runfiles::ami1Line(kAex, settings().format('P').value("h11")));
        ami2.write(runfiles::ami2Line(kXyz, "", false));
        // Flushed: a reader sees the lines while the file is still open.
        EXPECT_EQ(readAll(paths::dataFile("ami2.txt")),
                  "\"XYZ.AS\",\"Xyz\",10,5,\"03/15/2004\",\"\",0.00,10,11,9,1000\r\n");
        settings().format('P').value("h12") = "PRN";
        EXPECT_EQ(runfiles::copyRunFile(false, kDay), folder + "Quotes20040315-1.PRN");
        EXPECT_FALSE(ami1.isOpen());  // the copy closes the run's files first
    }
    EXPECT_EQ(readAll(folder + "Quotes20040315-1.PRN"), golden("golden_run.PRN"));
    EXPECT_EQ(runfiles::ami1Line(kXyz, "0"), "XYZ.AS,20040315,10,11,9,10.5,1000\r\n");

    runfiles::createStagingFiles(true);
    EXPECT_EQ(readAll(paths::dataFile("ami2.txt")), runfiles::kStagingHeader + "\r\n");
    settings().format('P').value("h12") = "CSV";
    writeFile(folder + "History-1.CSV", "x");
    EXPECT_EQ(runfiles::copyRunFile(true, kDay), folder + "History-2.CSV");
    EXPECT_EQ(readAll(folder + "History-2.CSV"), runfiles::kStagingHeader + "\r\n");

    // A staging file of several megabytes is copied whole.
    QByteArray big;
    for (int i = 0; big.size() < 3 * 1024 * 1024 + 17; ++i)
        big += runfiles::ami1Line(Quote{"T" + QString::number(i), "", 20040315, "1", "2", "3", "4", "5"}, "0");
    writeFile(paths::dataFile("ami1.txt"), big);
    EXPECT_EQ(runfiles::copyRunFile(true, kDay), folder + "History-3.CSV");
    EXPECT_EQ(readAll(folder + "History-3.CSV"), big);
}

TEST_F(WriterTest, TheFiveThousandthRunFileIsReplacedWhenAllAreTaken)
{
    for (int n = 1; n <= 5000; ++n)
        writeFile(folder + QStringLiteral("History-%1.PRN").arg(n), "old");
    EXPECT_EQ(runfiles::runFileName(true, kDay), folder + "History-5000.PRN");
}

// Fields with line breaks, separators, quotes and characters outside the
// single-byte code page: every line keeps its shape, whatever its layout.
TEST_F(WriterTest, AwkwardFieldsKeepEveryLineWhole)
{
    const Quote q{
        "AB|C.D\"", QString::fromUtf8("Z\u00fcrich \"Co\" | A\r\nB \u20ac"), 20040315, " 1,5 ", "2", "1", "1.50",
        " 007 "};
    EXPECT_EQ(runfiles::ami1Line(q, "1"), "AB|C.D\",20040315,1.5,2,1,1.50,007,0\r\n");
    EXPECT_EQ(runfiles::ami2Line(q, "", false),
              "\"AB|C.D'\",\"Z\xfcrich 'Co' | A  B ?\",1.50,\"03/15/2004\",\"\",0.00,1,5,2,1,007\r\n");
    EXPECT_EQ(runfiles::visionLine(q, true),
              "7|QRD\"|AB C.D\"|Z\xfcrich \"Co\"   A  B ?||20040315|1.5|2|1|1.50|007\r\n");
    EXPECT_EQ(runfiles::vikingenRecord(q, true),
              "+AB|C_D\",Z\xfcrich \"Co\" | A  B ?\r\n#20040315\r\nAB|C_D\",2,1,1.50,007,,1.5\r\n");
    // Only the first eleven characters of the ticker, dots made underscores.
    EXPECT_EQ(runfiles::vikingenRecord(Quote{"ABCDEFGHI.JKLM", "", 20040315, "1", "1", "1", "1", "1"}, true)
                  .split('\n')
                  .at(2),
              "ABCDEFGHI_J,1,1,1,1,,1\r");

    // The per-symbol layouts print the volume as a plain number.
    const auto s = makeSymbolWriter(QLatin1Char('S'));
    const auto d = makeSymbolWriter(QLatin1Char('D'));
    const auto c = makeSymbolWriter(QLatin1Char('C'));
    auto line = [&q](const std::unique_ptr<SymbolFileWriter>& w, const QString& volume) {
        Quote v = q;
        v.volume = volume;
        return static_cast<const TextQuoteWriter*>(w.get())->line(QStringLiteral("BASE"), v);
    };
    EXPECT_EQ(line(s, q.volume), "BASE,D,040315,1.5,2,1,1.50,7,1");
    EXPECT_EQ(line(d, ""), "03/15/04,1.5,2,1,1.50,0");
    EXPECT_EQ(line(c, "0"), "20040315,1.5,2,1,1.50,0");
    EXPECT_EQ(line(c, " 123456789012345 "), "20040315,1.5,2,1,1.50,123456789012345");
    EXPECT_EQ(line(c, "1500.0"), "20040315,1.5,2,1,1.50,1500");
    EXPECT_EQ(line(c, "12,5"), "20040315,1.5,2,1,1.50,12.5");
}
