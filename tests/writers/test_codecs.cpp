#include "writertest.h"

#include "writers/codecs/codec.h"
#include "writers/storedfiles.h"

// A codec reads its files into bars that keep each price's text as the file
// prints it, the same days, numbers and skipped lines as the chart's read.
TEST_F(WriterTest, EveryCodecReadsItsFilesIntoBarsWithTheTextsStored)
{
    settings().format('D').folder = path("get/");
    QDir().mkpath(settings().format('D').folder);
    for (const ExportFormat& f : formats::checkOrder()) {
        if (f.stored->keepsFolders())
            continue;
        const QChar letter = f.letter;
        write(letter, "XYZ.AS", 20240318, "10.5", "12.25", "10.5", "11.75", "70000");
        write(letter, "XYZ.AS", 20240312, "9.5", "10.25", "9", "10.10", "250000");
        const QString file = storedfiles::symbolPath(letter, "XYZ.AS", "Xyz");
        ASSERT_FALSE(file.isEmpty()) << letter.toLatin1();
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::Append));
        // A line (or a broken record) the reads pass over.
        out.write(f.stored->binary() ? QByteArray("\x01\x02\x03") : QByteArray("garbage\r\n"));
        out.close();

        const StoredBars bars = f.stored->readFile(file);
        const storedfiles::Series series = storedfiles::readDays(file, letter);
        ASSERT_EQ(bars.days.size(), 2) << letter.toLatin1();
        ASSERT_EQ(series.days.size(), 2) << letter.toLatin1();
        EXPECT_EQ(bars.skipped, 1) << letter.toLatin1();
        EXPECT_EQ(series.skipped, 1) << letter.toLatin1();
        EXPECT_EQ(bars.hasOpen, series.hasOpen) << letter.toLatin1();
        EXPECT_EQ(bars.days[0].date, 20240312) << letter.toLatin1();
        EXPECT_EQ(bars.days[1].date, 20240318) << letter.toLatin1();
        for (int i = 0; i < 2; ++i) {
            const core::Bar& b = bars.days[i];
            const storedfiles::Day& d = series.days[i];
            EXPECT_EQ(QDate(b.date / 10000, b.date / 100 % 100, b.date % 100), d.date);
            EXPECT_EQ(b.open.value, d.open) << letter.toLatin1();
            EXPECT_EQ(b.high.value, d.high) << letter.toLatin1();
            EXPECT_EQ(b.close.value, d.close) << letter.toLatin1();
            EXPECT_EQ(b.volume.value, d.volume) << letter.toLatin1();
            // The text reads back as its number.
            EXPECT_EQ(b.close.text.toDouble(), b.close.value) << letter.toLatin1();
        }
        EXPECT_EQ(bars.days[1].high.text, QStringLiteral("12.25")) << letter.toLatin1();
        EXPECT_EQ(bars.days[0].close.text, f.stored->binary() ? QStringLiteral("10.1") : QStringLiteral("10.10"))
            << letter.toLatin1();
        EXPECT_EQ(f.stored->lastDate(file), QDate(2024, 3, 18)) << letter.toLatin1();
    }
}
