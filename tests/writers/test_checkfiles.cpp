#include "testutil.h"

#include "writers/checkfiles.h"
#include "writers/codecs/kbf/kbfwriter.h"
#include "writers/codecs/text/textformats.h"
#include "writers/textio.h"

namespace {

const QVector<Quote> kDays = {{"ABC", "", 20240102, "10.5", "11", "10", "10.75", "1200"},
                              {"ABC", "", 20240103, "10.75", "11.25", "10.5", "11", "98765"}};

QByteArray written(QChar letter)
{
    QByteArray out;
    if (letter == u'K') {
        for (const Quote& q : kDays)
            out += KbfWriter::record(q);
        return out;
    }
    const AsciiWriter c;
    const StockguruWriter s;
    const GetWriter d;
    const TextQuoteWriter* w = letter == u'C'   ? static_cast<const TextQuoteWriter*>(&c)
                               : letter == u'S' ? static_cast<const TextQuoteWriter*>(&s)
                                                : &d;
    for (const Quote& q : kDays)
        out += w->line(QStringLiteral("ABC"), q) + "\r\n";
    return out;
}

}  // namespace

class CheckFilesTest : public QuotarisTest {};

// What each writer writes reads back as the same days, and the layout is
// told from the content alone.
TEST_F(CheckFilesTest, ReadsBackWhatTheWritersWrite)
{
    for (QChar letter : {QLatin1Char('C'), QLatin1Char('S'), QLatin1Char('D'), QLatin1Char('K')}) {
        const QByteArray bytes = written(letter);
        EXPECT_EQ(checkfiles::formatOf(bytes), letter) << letter.toLatin1();
        const auto file = checkfiles::parse(bytes, letter);
        ASSERT_TRUE(file.has_value()) << letter.toLatin1();
        ASSERT_EQ(file->days.size(), 2);
        const Quote& q = file->days[1];
        EXPECT_EQ(q.date, 20240103);
        EXPECT_EQ(q.high, QStringLiteral("11.25"));
        EXPECT_EQ(q.low, QStringLiteral("10.5"));
        EXPECT_EQ(q.close, QStringLiteral("11"));
        EXPECT_EQ(q.volume, QStringLiteral("98765"));
        EXPECT_EQ(q.open, letter == u'K' ? QStringLiteral("11") : QStringLiteral("10.75"));  // KBF keeps no open
        EXPECT_TRUE(file->unreadable.isEmpty());

        // A new close goes in place of the old one; no other byte changes.
        EXPECT_EQ(checkfiles::patched(bytes, *file, file->days), bytes);
        QVector<Quote> changed = file->days;
        changed[0].close = QStringLiteral("10.8");
        const QByteArray patched = checkfiles::patched(bytes, *file, changed);
        QByteArray expected = bytes;
        if (letter == u'K') {
            expected.replace(8, 3, KbfWriter::record(changed[0]).sliced(8, 3));
            EXPECT_NE(expected, bytes);
        } else {
            expected.replace(",10.75,1200", ",10.8,1200");
        }
        EXPECT_EQ(patched, expected) << letter.toLatin1();
        EXPECT_EQ(checkfiles::parse(patched, letter)->days[0].close, QStringLiteral("10.8"));
    }
    EXPECT_EQ(checkfiles::parse(written(QLatin1Char('S')), QLatin1Char('S'))->base, QStringLiteral("ABC"));
    EXPECT_FALSE(checkfiles::parse("hello\r\n", QLatin1Char('X')).has_value());
}

// The layout is told from the content only when exactly one fits.
TEST_F(CheckFilesTest, TellsTheLayoutOnlyBeyondDoubt)
{
    // Text with an end-of-file mark, a whole number of 14-byte records long.
    const QByteArray text = readAll(QStringLiteral(GOLDEN_DIR "/check_ctrlz.asc"));
    ASSERT_EQ(text.size() % KbfWriter::kRecordSize, 0);
    EXPECT_EQ(checkfiles::formatOf(text), QLatin1Char('C'));
    const auto file = checkfiles::parse(text, QLatin1Char('C'));
    EXPECT_TRUE(file->unreadable.isEmpty());
    EXPECT_EQ(file->days.size(), 6);
    // Text with lines that are no quote still reads as its layout.
    EXPECT_EQ(checkfiles::formatOf(readAll(QStringLiteral(GOLDEN_DIR "/check_garbage.asc"))), QLatin1Char('C'));

    QString why;
    bool fits = true;
    const QByteArray kbf = written(QLatin1Char('K'));
    EXPECT_FALSE(checkfiles::formatOf(kbf.left(27), &why, &fits).has_value());  // torn
    EXPECT_FALSE(fits);
    EXPECT_EQ(why, QStringLiteral("no quote file layout fits"));
    // Records out of date order are no file a writer left.
    EXPECT_FALSE(checkfiles::formatOf(kbf.sliced(14) + kbf.first(14)).has_value());
    EXPECT_FALSE(checkfiles::formatOf("hello\r\n", nullptr, &fits).has_value());
    EXPECT_FALSE(fits);
    // Lines of two layouts: either would do.
    EXPECT_FALSE(checkfiles::formatOf("20240102,1,1,1,1,1\r\n01/03/24,1,1,1,1,1\r\n", &why, &fits).has_value());
    EXPECT_TRUE(fits);
    EXPECT_EQ(why, QStringLiteral("it reads as C and as D"));
}

TEST_F(CheckFilesTest, LinesAndRecordsThatCannotBeRead)
{
    const auto garbage = checkfiles::parse(readAll(QStringLiteral(GOLDEN_DIR "/check_garbage.asc")), QLatin1Char('C'));
    ASSERT_TRUE(garbage.has_value());
    EXPECT_EQ(garbage->days.size(), 4);
    QVector<int> lines;
    for (const checkfiles::Unreadable& u : garbage->unreadable)
        lines << u.number;
    EXPECT_EQ(lines, (QVector<int>{3, 5, 6}));
    EXPECT_TRUE(garbage->unreadable[2].why.contains(QStringLiteral("\"x\""))) << qPrintable(garbage->unreadable[2].why);

    // A header and a sixth column are no fault; a price that is no number is.
    const auto oi = checkfiles::parse(readAll(QStringLiteral(GOLDEN_DIR "/check_openinterest.asc")), QLatin1Char('C'));
    EXPECT_TRUE(oi->unreadable.isEmpty());
    ASSERT_EQ(oi->days.size(), 5);
    EXPECT_EQ(oi->days[2].volume, QStringLiteral("1200"));
    EXPECT_EQ(checkfiles::parse("20240102,1,nan,1,1,5\r\n20240103,1,1,1\r\n", QLatin1Char('C'))->unreadable.size(), 2);

    // KBF: a record without a valid date, and bytes that make no record.
    QByteArray kbf = written(QLatin1Char('K'));
    kbf.insert(14, QByteArray(14, '\0'));
    kbf += "\x01\x02\x03";
    const auto records = checkfiles::parse(kbf, QLatin1Char('K'));
    EXPECT_EQ(records->days.size(), 2);
    ASSERT_EQ(records->unreadable.size(), 2);
    EXPECT_EQ(records->unreadable[0].number, 2);
    EXPECT_EQ(records->unreadable[1].number, 4);
}

TEST_F(CheckFilesTest, ABackupNeverReplacesAnother)
{
    const QString file = path(QStringLiteral("ABC.asc"));
    writeFile(file, written(QLatin1Char('C')));
    QStringList kept;
    for (int i = 0; i < 3; ++i) {
        QString backup, error;
        ASSERT_TRUE(checkfiles::rewrite(file, QByteArray::number(i), &backup, &error)) << qPrintable(error);
        kept << backup;
    }
    EXPECT_EQ(kept, (QStringList{file + ".bak", file + ".bak.1", file + ".bak.2"}));
    EXPECT_EQ(readAll(file + ".bak"), written(QLatin1Char('C')));
    EXPECT_EQ(readAll(file + ".bak.2"), "1");
    EXPECT_EQ(readAll(file), "2");
}

TEST_F(CheckFilesTest, LatestDayFromTheEndOfTheFile)
{
    const QString file = path(QStringLiteral("ABC.asc"));
    QByteArray bytes;
    for (int i = 0; i < 300; ++i)
        bytes += "20230101,1,1,1,1,1\r\n";
    writeFile(file, bytes + written(QLatin1Char('C')) + "\r\n");
    const auto last = checkfiles::lastDay(file, QLatin1Char('C'));
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->date, 20240103);
    EXPECT_EQ(last->close, 11);
    EXPECT_EQ(last->volume, 98765);
    EXPECT_FALSE(checkfiles::lastDay(path(QStringLiteral("none.asc")), QLatin1Char('C')).has_value());
}

// The writer takes over the end the check read, once; after that (or after
// the run clears them) it reads the file again.
TEST_F(CheckFilesTest, TheWriterTakesTheReadEndOnce)
{
    const QString file = path(QStringLiteral("ABC.asc"));
    writeFile(file, written(QLatin1Char('C')));
    textio::KeptTails kept;
    ASSERT_TRUE(checkfiles::lastDay(file, QLatin1Char('C'), &kept).has_value());
    AsciiWriter writer;
    writer.takeTailsFrom(&kept);
    Quote next = kDays[1];
    next.date = 20240104;
    writer.write({file, QStringLiteral("ABC")}, next);
    next.date = 20240105;
    writer.write({file, QStringLiteral("ABC")}, next);
    const QByteArray content = readAll(file);
    EXPECT_TRUE(content.endsWith("20240103,10.75,11.25,10.5,11,98765\r\n20240104,10.75,11.25,10.5,11,98765\r\n"
                                 "20240105,10.75,11.25,10.5,11,98765\r\n"))
        << content.constData();

    // A kept end that nothing took is not used once dropped.
    ASSERT_TRUE(checkfiles::lastDay(file, QLatin1Char('C'), &kept).has_value());
    kept.clear();
    writeFile(file, QByteArray());
    EXPECT_FALSE(kept.has(file));
    next.date = 20240108;
    writer.write({file, QStringLiteral("ABC")}, next);
    EXPECT_EQ(readAll(file), "20240108,10.75,11.25,10.5,11,98765\r\n");
}

// A kept end serves one read of its own store only; a read wanting more than
// was kept, or a writer of another run, reads the file.
TEST_F(CheckFilesTest, AKeptEndServesOneReadOfItsOwnStore)
{
    const QString file = path(QStringLiteral("ABC.asc"));
    writeFile(file, "0123456789");
    textio::KeptTails kept, other;
    kept.keep(file, "kept", 6, 10);
    qint64 start = -1, size = -1;
    EXPECT_EQ(textio::readTail(file, 3, &start, &size, &other), "789");
    EXPECT_EQ(textio::readTail(file, 3, &start, &size), "789");
    ASSERT_TRUE(kept.has(file));
    EXPECT_EQ(textio::readTail(file, 3, &start, &size, &kept), "ept");
    EXPECT_EQ(start, 7);
    EXPECT_EQ(size, 10);
    EXPECT_FALSE(kept.has(file));
    EXPECT_EQ(textio::readTail(file, 3, &start, &size, &kept), "789");

    kept.keep(file, "kept", 6, 10);
    EXPECT_EQ(textio::readTail(file, 6, &start, &size, &kept), "456789");
    EXPECT_EQ(start, 4);
    EXPECT_FALSE(kept.has(file));
}
