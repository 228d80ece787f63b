#include "writertest.h"

#include "support/safefile.h"
#include "writers/codecs/kbf/kbfwriter.h"
#include "writers/filenames.h"
#include "writers/quote.h"

#include <QDate>
#include <QFileInfo>

namespace {
struct FormatCase {
    char letter;
    const char* file;
    const char* golden;
};
const FormatCase kCases[] = {
    {'C', "XYZ_AS.asc", "golden_ascii.asc"},
    {'S', "XYZ_AS.prn", "golden_stockguru.prn"},
    {'K', "XYZ_AS.kbf", "golden_kbf.kbf"},
};
}  // namespace

// Quotes arrive out of order and one date twice: every format ends up with
// one entry per date, ascending, byte for byte as the golden file.
TEST_F(WriterTest, SingleQuotesMergeByDateIntoTheGoldenLayout)
{
    for (const FormatCase& c : kCases) {
        const QChar letter = QLatin1Char(c.letter);
        write(letter, "XYZ.AS", 20040315, "10", "11", "9", "10,5", "1000");
        write(letter, "XYZ.AS", 20040316, "10.5", "12", "10.5", "11.75", "70000");
        write(letter, "XYZ.AS", 20040312, "9.5", "10.25", "9", "10", "250000");
        write(letter, "XYZ.AS", 20040315, "10", "11", "9", "10.6", "1000");
        EXPECT_EQ(readAll(folder + QLatin1String(c.file)), golden(c.golden)) << c.letter;
    }
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(WriterTest, AdvancedGetGoesToItsOwnFolder)
{
    settings().format('D').folder = path(QStringLiteral("get/"));
    QDir().mkpath(settings().format('D').folder);
    write('D', "XYZ.AS", 20040316, "10.5", "12", "10.5", "11.75", "70000");
    write('D', "XYZ.AS", 20040312, "9.5", "10.25", "9", "10", "250000");
    write('D', "XYZ.AS", 20040315, "10", "11", "9", "10.6", "1000");
    EXPECT_EQ(readAll(settings().format('D').folder + QStringLiteral("XYZ_AS.prn")), golden("golden_get.prn"));
}

TEST_F(WriterTest, HistoryBlockMergesIntoAnExistingFileNewDataWinning)
{
    write('C', "XYZ.AS", 20040312, "1", "1", "1", "1", "1");
    write('C', "XYZ.AS", 20040315, "10", "11", "9", "10.6", "1000");
    for (const FormatCase& c : kCases) {
        clsschrijfstock w;
        w.schrijfascii(c.letter == 'C');
        w.schrijfkbf(c.letter == 'K');
        w.tname(QStringLiteral("Xyz"));
        w.raw(QStringLiteral("XYZ.AS,20040316,10.5,12,10.5,11.75,70000\r\n"
                             "XYZ.AS,20040312,9.5,10.25,9,10,250000\r\n"
                             "short,line\r\n"
                             ",20040313,1,1,1,1,1\r\n"
                             "XYZ.AS,0,1,1,1,1,1\r\n"));
        EXPECT_EQ(w.goraw(), StepOutcome::Done);
        if (c.letter != 'C') {  // the ASCII file already held the 15th
            clsschrijfstock one;
            one.schrijfkbf(c.letter == 'K');
            one.raw(QStringLiteral("XYZ.AS,20040315,10,11,9,10.6,1000"));
            one.goraw();
        }
        EXPECT_EQ(readAll(folder + QLatin1String(c.file)), golden(c.golden)) << c.letter;
    }
}

// Inside a batch of a run the files wait for the batch's commit; a block or
// a quote for a file the batch holds merges with its new content all the same.
TEST_F(WriterTest, WritesOfOneBatchToOneFileFollowEachOther)
{
    safefile::Batch batch;
    for (const FormatCase& c : kCases) {
        const QChar letter = QLatin1Char(c.letter);
        auto block = [letter](const QString& lines) {
            clsschrijfstock w;
            w.useFormat(letter);
            w.tname(QStringLiteral("Xyz"));
            w.raw(lines);
            EXPECT_EQ(w.goraw(), StepOutcome::Done);
        };
        block(QStringLiteral("XYZ.AS,20040315,10,11,9,10,1000\r\n"));
        block(QStringLiteral("XYZ.AS,20040316,10.5,12,10.5,11.75,70000\r\n"
                             "XYZ.AS,20040312,9.5,10.25,9,10,250000\r\n"));
        // The second block read the first one's file: it went into place
        // then, the second waits.
        EXPECT_TRUE(QFileInfo::exists(folder + QLatin1String(c.file))) << c.letter;
        EXPECT_EQ(batch.pending(), 1) << c.letter;
        // A single quote reads the file's end: the pending blocks go first.
        write(letter, "XYZ.AS", 20040315, "10", "11", "9", "10.6", "1000");
        EXPECT_TRUE(batch.commit());
        EXPECT_EQ(readAll(folder + QLatin1String(c.file)), golden(c.golden)) << c.letter;
    }
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(WriterTest, AppendAfterABlockWithoutFinalLineBreakKeepsLinesApart)
{
    writeFile(folder + "XYZ_AS.asc", "20040312,9.5,10.25,9,10,250000\r\n20040315,10,11,9,10.6,1000");
    write('C', "XYZ.AS", 20040316, "10.5", "12", "10.5", "11.75", "70000");
    EXPECT_EQ(readAll(folder + "XYZ_AS.asc"), golden("golden_ascii.asc"));
}

// A later day is appended without rewriting: the odd line end at the top
// survives byte for byte, which a rewrite would have normalised.
TEST_F(WriterTest, ALaterDayOnlyAppends)
{
    QByteArray old = "header without date\r20040312,1,1,1,1,1\r\n";
    old += QByteArray(10000, 'x') + "\r\n20040315,2,2,2,2,2\r\n";
    writeFile(folder + "ABC.asc", old);
    write('C', "ABC", 20040316, "3", "3", "3", "3", "3");
    EXPECT_EQ(readAll(folder + "ABC.asc"), old + "20040316,3,3,3,3,3\r\n");
}

TEST_F(WriterTest, KbfBytesFollowTheRecordLayout)
{
    const Quote q{"X", "", 20040315, "1", "12.5", "0.999", "70000", "131844"};
    const QByteArray r = KbfWriter::record(q);
    ASSERT_EQ(r.size(), 14);
    EXPECT_EQ(static_cast<unsigned char>(r[0]), 132);
    EXPECT_EQ(static_cast<unsigned char>(r[1]), 121);
    EXPECT_EQ(r.mid(2, 3), QByteArray("\x0c\x00\x80", 3));   // 12.5
    EXPECT_EQ(r.mid(5, 3), QByteArray("\x00\x00\xff", 3));   // 0.999: a full 100 cents, capped
    EXPECT_EQ(r.mid(8, 3), QByteArray("\x70\xff\x00", 3));   // 70000: 273 capped at 255
    EXPECT_EQ(r.mid(11, 3), QByteArray("\x03\x02\x04", 3));  // 0x020304
    const QByteArray big = KbfWriter::record(Quote{"X", "", 20040315, "", "", "", "", "16909060"});
    EXPECT_EQ(big.mid(11, 3), QByteArray("\x03\xff\x04", 3));  // 0x01020304: 258 capped
    EXPECT_EQ(KbfWriter::recordDate(r.constData()), 20040315);
    for (qint32 date : {19991231, 20000101, 20041130, 20490228})
        EXPECT_EQ(KbfWriter::recordDate(KbfWriter::record(Quote{"X", "", date, "", "", "", "", ""}).constData()), date);
}

TEST_F(WriterTest, TwoDigitYearsSlideWithTheCalendar)
{
    const int now = QDate::currentDate().year() % 100;
    EXPECT_EQ(quotetext::expandYear(0), 2000);
    EXPECT_EQ(quotetext::expandYear(10), 2010);
    EXPECT_EQ(quotetext::expandYear(now + 1), 2000 + now + 1);
    EXPECT_EQ(quotetext::expandYear(now + 2), 1900 + now + 2);
    EXPECT_EQ(quotetext::expandYear(99), 1999);
    // A 2010 line in a GET file is later than a 1999 one, so a quote between
    // them goes between them.
    writeFile(folder + "ABC.prn", "12/31/99,1,1,1,1,1\r\n01/04/10,2,2,2,2,2\r\n");
    settings().format('D').folder = folder;
    write('D', "ABC", 20100103, "3", "3", "3", "3", "3");
    EXPECT_EQ(readAll(folder + "ABC.prn"), "12/31/99,1,1,1,1,1\r\n01/03/10,3,3,3,3,3\r\n01/04/10,2,2,2,2,2\r\n");
}

TEST_F(WriterTest, LongNamesAndTickerNames)
{
    EXPECT_EQ(filenames::tickerBaseName("PRN.AS"), "PR1_AS");
    EXPECT_EQ(filenames::tickerBaseName("prn"), "pr1");
    EXPECT_EQ(filenames::reduceName(QStringLiteral("Royal Dutch/Shell N.V. é")), "RoyalDutchShellNV");
    settings().format('C').longNames = true;
    write('C', "XYZ.AS", 20040315, "1", "1", "1", "1", "1", "XyzHolding");
    EXPECT_TRUE(QFileInfo::exists(folder + "XyzHolding.asc"));
    EXPECT_FALSE(QFileInfo::exists(folder + "XYZ_AS.asc"));
}

// Whatever a ticker or name holds, the file lands directly in the folder.
TEST_F(WriterTest, TickersAndNamesNeverLeaveTheFolder)
{
    QDir().mkpath(path("secret"));
    const QStringList hostile = {"../../secret/x",           "/etc/passwd", "..",   "a b/c",
                                 QStringLiteral("Ünï/cødé"), "....",        "x\ny", QString(300, QLatin1Char('A'))};
    for (bool longNames : {false, true}) {
        settings().format('C').longNames = longNames;
        for (const QString& t : hostile)
            write('C', t, 20040315, "1", "1", "1", "1", "1", t);
    }
    EXPECT_TRUE(QDir(path("secret")).isEmpty());
    const QFileInfoList written = QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_FALSE(written.isEmpty());
    for (const QFileInfo& f : written) {
        EXPECT_TRUE(f.isFile()) << qPrintable(f.fileName());
        EXPECT_EQ(f.absolutePath() + "/", QFileInfo(folder).absoluteFilePath());
        EXPECT_LE(f.fileName().size(), 204);
        for (QChar c : f.fileName())
            EXPECT_LT(c.unicode(), 128) << qPrintable(f.fileName());
    }
    // ".." alone and "...." give nothing usable: no file at all for them.
    EXPECT_EQ(filenames::tickerBaseName(".."), QString());
}

// A block that names two tickers, interleaved, writes each ticker's quotes
// to its own file and leaves the caller's block untouched.
TEST_F(WriterTest, ABlockOfTwoTickersSplitsIntoTheirFiles)
{
    const QVector<Quote> block{{"AAA", "", 20040316, "2", "2", "2", "2", "2"},
                               {"XPRN", "", 20040315, "5", "5", "5", "5", "5"},
                               {"AAA", "", 20040315, "1", "1", "1", "1", "1"},
                               {"AAA", "", 0, "9", "9", "9", "9", "9"},
                               {"XPRN", "", 20040316, "6", "6", "6", "6", "6"}};
    clsschrijfstock w;
    w.schrijfascii(true);
    w.raw(block);
    EXPECT_EQ(w.goraw(), StepOutcome::Done);
    EXPECT_EQ(w.written(), 4);
    EXPECT_EQ(block[1].ticker, "XPRN");
    EXPECT_EQ(readAll(folder + "AAA.asc"), "20040315,1,1,1,1,1\r\n20040316,2,2,2,2,2\r\n");
    EXPECT_EQ(readAll(folder + "XPR1.asc"), "20040315,5,5,5,5,5\r\n20040316,6,6,6,6,6\r\n");
}
