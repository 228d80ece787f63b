#include "testutil.h"

#include "writers/checkfiles.h"
#include "writers/kbfwriter.h"
#include "writers/textformats.h"
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
        // Written again, the file is what it was.
        EXPECT_EQ(checkfiles::content(*file), bytes) << letter.toLatin1();
    }
    EXPECT_EQ(checkfiles::parse(written(QLatin1Char('S')), QLatin1Char('S'))->base, QStringLiteral("ABC"));
    EXPECT_FALSE(checkfiles::formatOf("hello\r\n").has_value());
    EXPECT_FALSE(checkfiles::parse("hello\r\n", QLatin1Char('C')).has_value());
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
// forgetTails) it reads the file again.
TEST_F(CheckFilesTest, TheWriterTakesTheReadEndOnce)
{
    const QString file = path(QStringLiteral("ABC.asc"));
    writeFile(file, written(QLatin1Char('C')));
    ASSERT_TRUE(checkfiles::lastDay(file, QLatin1Char('C')).has_value());
    AsciiWriter writer;
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
    ASSERT_TRUE(checkfiles::lastDay(file, QLatin1Char('C')).has_value());
    textio::forgetTails();
    writeFile(file, QByteArray());
    EXPECT_FALSE(textio::hasKeptTail(file));
    next.date = 20240108;
    writer.write({file, QStringLiteral("ABC")}, next);
    EXPECT_EQ(readAll(file), "20240108,10.75,11.25,10.5,11,98765\r\n");
}
