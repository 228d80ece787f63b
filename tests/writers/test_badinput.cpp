#include "writertest.h"

#include "writers/xlsbook.h"

#include <QFile>
#include <QFileInfo>

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
    settings().format('C').folder = path("missing/");
    msgs.queue(Answer::Retry);
    msgs.queue(Answer::Abort);
    EXPECT_EQ(write('C', "ABC", 20040315, "5", "5", "5", "5", "5"), StepOutcome::Aborted);
    ASSERT_EQ(msgs.shown.size(), 2);
    EXPECT_EQ(msgs.shown[0].buttons, Buttons::AbortRetryIgnore);
    EXPECT_TRUE(msgs.shown[0].text.contains("missing/ABC.asc"));
}

// A history block into a folder that is gone: reported with the system's
// reason, nothing counts as written, and the rest of the run knows that
// every other file of the folder fails too.
TEST_F(WriterTest, ABlockIntoAMissingFolderIsNotWritten)
{
    settings().format('C').folder = path("gone/");
    clsschrijfstock block;
    block.schrijfascii(true);
    block.raw("ABC,20040313,3,3,3,3,3\r\nABC,20040316,8,8,8,8,8");
    EXPECT_EQ(block.goraw(), StepOutcome::Done);
    EXPECT_EQ(block.written(), 0);
    EXPECT_TRUE(block.folderFailed());
    EXPECT_EQ(msgs.texts(),
              QStringList{"The file " + path("gone/") + "ABC.asc could not be written: No such file or directory"});
    EXPECT_FALSE(QFileInfo::exists(path("gone")));
}

TEST_F(WriterTest, EmptyFileCountsAsAbsent)
{
    writeFile(folder + "ABC.prn", "");
    write('S', "ABC", 20040315, "5", "5", "5", "5", "5");
    EXPECT_EQ(readAll(folder + "ABC.prn"), "ABC,D,040315,5,5,5,5,5,1\r\n");
}

// A write the system cuts short (the file-size limit stands in for a full
// disk: the first part goes in, the rest fails): every kind of file is left
// exactly as it was, no temporary or torn file stays, and the reason is the
// system's.
TEST_F(WriterTest, AShortWriteLeavesEveryFileAsItWas)
{
    QByteArray text;
    for (int day = 1; day <= 28; ++day)
        text += QByteArray("200402") + (day < 10 ? "0" : "") + QByteArray::number(day) + ",1,1,1,1,1\r\n";
    writeFile(folder + "ABC.asc", text);
    // Records of a day in 1990, as many as take the file close to the limit.
    const QByteArray kbf(14 * 46, 'Z');
    writeFile(folder + "ABC.kbf", kbf);
    writeFile(folder + "OLD.xls", "an older workbook");
    QByteArray lines;
    for (int day = 1; day <= 300; ++day)
        lines += "ABC," + QByteArray::number(20030000 + (day % 12 + 1) * 100 + day % 28 + 1) + ",2,2,2,2,2\r\n";
    {
        FileSizeLimit limit(text.size() + 64);
        // The merge rewrites the text file: more than the limit allows.
        clsschrijfstock block;
        block.schrijfascii(true);
        block.raw(QString::fromLatin1(lines));
        EXPECT_EQ(block.goraw(), StepOutcome::Done);
        EXPECT_EQ(block.written(), 0);
        EXPECT_TRUE(block.folderFailed());
        // A new day appended to the KBF file crosses the limit half-way.
        msgs.queue(Answer::Ignore);
        write('K', "ABC", 20040401, "1", "1", "1", "1", "1");
        // The workbook's replacement fails before the rename.
        XlsBook book;
        for (int i = 0; i < 500; ++i)
            book.addRow({XlsCell::ofText(QStringLiteral("row %1").arg(i)), XlsCell::ofNumber(i)});
        try {
            book.save(folder + "OLD.xls");
            ADD_FAILURE() << "the workbook's save reported success";
        } catch (const FileError& e) {
            EXPECT_EQ(e.number(), errnum::DiskFull);
            EXPECT_TRUE(e.description().contains("File too large")) << qPrintable(e.description());
        }
    }
    EXPECT_EQ(readAll(folder + "ABC.asc"), text);
    EXPECT_EQ(readAll(folder + "ABC.kbf"), kbf);
    EXPECT_EQ(readAll(folder + "OLD.xls"), "an older workbook");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"ABC.asc", "ABC.kbf", "OLD.xls"}));
    ASSERT_EQ(msgs.shown.size(), 2);
    EXPECT_EQ(msgs.shown[0].text, "The file " + folder + "ABC.asc could not be written: File too large");
    EXPECT_EQ(msgs.shown[1].buttons, Buttons::AbortRetryIgnore);
    EXPECT_EQ(msgs.shown[1].title, "Error 61");
    EXPECT_TRUE(msgs.shown[1].text.contains(folder + "ABC.kbf (File too large)")) << qPrintable(msgs.shown[1].text);
}
