#include "writertest.h"

#include <QFile>

// Damaged or odd existing files: merged as far as they can be read, or
// reported and left exactly as they were.

TEST_F(WriterTest, OddLinesAreMergedWithoutLosingData)
{
    // CR-only line ends, a blank line, a header, duplicates, disorder, no
    // final line break.
    writeFile(folder + "ABC.asc",
              "<DATE>,<OPEN>\r20040316,6,6,6,6,6\r\r\n\r\n20040312,2,2,2,2,2\n20040316,7,7,7,7,7\rgarbage");
    write('C', "ABC", 20040315, "5", "5", "5", "5", "5");
    EXPECT_EQ(readAll(folder + "ABC.asc"),
              "<DATE>,<OPEN>\r\n20040316,6,6,6,6,6\r\n20040312,2,2,2,2,2\r\n20040315,5,5,5,5,5\r\n"
              "20040316,7,7,7,7,7\r\ngarbage\r\n");

    clsschrijfstock block;
    block.schrijfascii(true);
    block.raw("ABC,20040313,3,3,3,3,3\r\nABC,20040316,8,8,8,8,8");
    block.goraw();
    EXPECT_EQ(readAll(folder + "ABC.asc"), "<DATE>,<OPEN>\r\ngarbage\r\n20040312,2,2,2,2,2\r\n20040313,3,3,3,3,3\r\n"
                                           "20040315,5,5,5,5,5\r\n20040316,8,8,8,8,8\r\n");
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(WriterTest, KbfOfTheWrongSizeIsReportedAndKept)
{
    const QByteArray odd(14 * 3 + 5, '\x07');
    writeFile(folder + "ABC.kbf", odd);
    EXPECT_EQ(write('K', "ABC", 20040315, "1", "1", "1", "1", "1"), StepOutcome::Done);
    clsschrijfstock block;
    block.schrijfkbf(true);
    block.raw("ABC,20040313,3,3,3,3,3");
    block.goraw();
    EXPECT_EQ(readAll(folder + "ABC.kbf"), odd);
    ASSERT_EQ(msgs.texts().size(), 2);
    EXPECT_EQ(msgs.texts().at(0), "The file " + folder + "ABC.kbf is corrupt");
}

TEST_F(WriterTest, KbfInsertsReplacesAndPrepends)
{
    for (qint32 date : {20040316, 20040312, 20040315, 20040310, 20040315})
        write('K', "ABC", date, "1", QString::number(date % 100), "1", "1", "1");
    const QByteArray kbf = readAll(folder + "ABC.kbf");
    ASSERT_EQ(kbf.size(), 4 * 14);
    QList<int> days;
    for (int at = 0; at < kbf.size(); at += 14)
        days << static_cast<unsigned char>(kbf[at + 1]) / 8;
    EXPECT_EQ(days, QList<int>({10, 12, 15, 16}));
}

TEST_F(WriterTest, UnreadableFileIsReportedAndUntouched)
{
    writeFile(folder + "ABC.asc", "20040316,6,6,6,6,6\r\n");
    QFile::setPermissions(folder + "ABC.asc", QFileDevice::WriteOwner);
    if (QFile(folder + "ABC.asc").open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running with rights that read any file";
    write('C', "ABC", 20040315, "5", "5", "5", "5", "5");
    QFile::setPermissions(folder + "ABC.asc", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(readAll(folder + "ABC.asc"), "20040316,6,6,6,6,6\r\n");
    EXPECT_EQ(msgs.texts(), QStringList{"The file " + folder + "ABC.asc is corrupt"});
}

// A folder that refuses new files: the append fails and goes to the error
// dialog, whose Abort the caller sees.
TEST_F(WriterTest, FailedAppendGoesToTheErrorDialog)
{
    settings().h1 = path("missing/");
    msgs.queue(Answer::Retry);
    msgs.queue(Answer::Abort);
    EXPECT_EQ(write('C', "ABC", 20040315, "5", "5", "5", "5", "5"), StepOutcome::Aborted);
    ASSERT_EQ(msgs.shown.size(), 2);
    EXPECT_EQ(msgs.shown[0].buttons, Buttons::AbortRetryIgnore);
    EXPECT_TRUE(msgs.shown[0].text.contains("missing/ABC.asc"));
}

TEST_F(WriterTest, EmptyFileCountsAsAbsent)
{
    writeFile(folder + "ABC.prn", "");
    write('S', "ABC", 20040315, "5", "5", "5", "5", "5");
    EXPECT_EQ(readAll(folder + "ABC.prn"), "ABC,D,040315,5,5,5,5,5,1\r\n");
}
