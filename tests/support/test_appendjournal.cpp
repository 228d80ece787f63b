#include "testutil.h"

#include "support/appendjournal.h"
#include "support/runlock.h"

#include <QDir>
#include <QFile>

class AppendJournalTest : public QuotarisTest {
protected:
    QString file(const char* name) const { return QDir(dataFolder()).filePath(QString::fromLatin1(name)); }
    bool takeLock()
    {
        RunLock lock;
        QString refusal;
        return lock.acquire(QStringLiteral("download"), &refusal);
    }
};

// A run killed while it appended: the next holder of the run lock cuts each
// file the journal names back to its last whole line, and only those.
TEST_F(AppendJournalTest, TheNextHolderOfTheLockCutsBackTheLinesAKilledRunLeftCut)
{
    const QByteArray lines = QByteArray("20261207,1.00,2.00,0.50,1.50,100\r\n").repeated(400);
    writeFile(file("cut.txt"), "a\r\nb\r\nhal");
    writeFile(file("whole.txt"), "x\r\n");
    writeFile(file("noline.txt"), "half a hea");
    writeFile(file("long.txt"), lines + QByteArray(9000, 'z'));  // the cut line spans blocks
    writeFile(file("other.txt"), "not named\r\ncut");
    for (const char* name : {"cut.txt", "whole.txt", "noline.txt", "long.txt", "gone.txt"})
        appendjournal::enter(file(name));
    {
        // The name the kill cut short in the journal: its file was not written.
        QFile journal(appendjournal::path());
        ASSERT_TRUE(journal.open(QIODevice::Append));
        journal.write(file("other.txt").toUtf8().left(10));
    }

    ASSERT_TRUE(takeLock());
    EXPECT_EQ(readAll(file("cut.txt")), "a\r\nb\r\n");
    EXPECT_EQ(readAll(file("whole.txt")), "x\r\n");
    EXPECT_EQ(readAll(file("noline.txt")), "");
    EXPECT_EQ(readAll(file("long.txt")), lines);
    EXPECT_EQ(readAll(file("other.txt")), "not named\r\ncut");
    EXPECT_FALSE(QFile::exists(file("gone.txt")));
    EXPECT_FALSE(QFile::exists(appendjournal::path()));

    // A run that closed its files whole leaves nothing to cut: a file ending
    // without a line break afterwards is somebody else's doing.
    appendjournal::enter(file("cut.txt"));
    writeFile(file("cut.txt"), "a\r\nb");
    appendjournal::clear();
    ASSERT_TRUE(takeLock());
    EXPECT_EQ(readAll(file("cut.txt")), "a\r\nb");
}
