#include "testutil.h"

#include "support/safefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList leftovers(const QString& folder)
{
    return QDir(folder).entryList({QLatin1String(safefile::kBatchTempPrefix) + QLatin1Char('*')},
                                  QDir::Files | QDir::Hidden);
}

bool replace(const QString& path, const QByteArray& bytes, int* error = nullptr)
{
    QString reason;
    return safefile::replace(path, bytes, &reason, error);
}

}  // namespace

// Replacements of one batch reach their files only at the commit, all of
// them durable before the first rename.
class SafeBatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        a = dir.filePath(QStringLiteral("A.asc"));
        b = dir.filePath(QStringLiteral("B.asc"));
        fresh = dir.filePath(QStringLiteral("NEW.asc"));
        writeFile(a, "old a\r\n");
        writeFile(b, "old b\r\n");
    }

    QTemporaryDir dir;
    QString a, b, fresh;
};

TEST_F(SafeBatchTest, FilesKeepTheirOldContentUntilTheCommitThenAllAreNew)
{
    ::chmod(QFile::encodeName(a).constData(), 0640);
    {
        safefile::Batch batch;
        ASSERT_EQ(safefile::Batch::current(), &batch);
        EXPECT_TRUE(replace(a, "new a\r\n"));
        EXPECT_TRUE(replace(b, "new b\r\n"));
        EXPECT_TRUE(replace(fresh, "new file\r\n"));
        EXPECT_EQ(batch.pending(), 3);
        EXPECT_EQ(readAll(a), "old a\r\n");
        EXPECT_FALSE(QFile::exists(fresh));
        EXPECT_EQ(leftovers(dir.path()).size(), 3);

        EXPECT_TRUE(batch.commit());
        EXPECT_EQ(batch.pending(), 0);
        EXPECT_EQ(readAll(a), "new a\r\n");
        EXPECT_EQ(readAll(b), "new b\r\n");
        EXPECT_EQ(readAll(fresh), "new file\r\n");
        EXPECT_TRUE(leftovers(dir.path()).isEmpty());

        // What comes after a commit waits for the next one, or the end.
        EXPECT_TRUE(replace(a, "newer a\r\n"));
        EXPECT_EQ(readAll(a), "new a\r\n");
    }
    EXPECT_EQ(safefile::Batch::current(), nullptr);
    EXPECT_EQ(readAll(a), "newer a\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(a).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // Without a batch a replacement is in place at once.
    EXPECT_TRUE(replace(b, "alone\r\n"));
    EXPECT_EQ(readAll(b), "alone\r\n");
}

TEST_F(SafeBatchTest, AFileTheBatchHoldsIsCommittedBeforeItIsReadOrReplacedAgain)
{
    safefile::Batch batch;
    EXPECT_TRUE(replace(a, "first\r\n"));
    EXPECT_TRUE(replace(b, "b\r\n"));
    safefile::settle(fresh);  // not held: nothing moves
    EXPECT_EQ(batch.pending(), 2);
    EXPECT_EQ(readAll(a), "old a\r\n");
    safefile::settle(a);
    EXPECT_EQ(batch.pending(), 0);
    EXPECT_EQ(readAll(a), "first\r\n");
    EXPECT_EQ(readAll(b), "b\r\n");

    // A second content of a held file commits the first and follows it.
    EXPECT_TRUE(replace(a, "second\r\n"));
    EXPECT_TRUE(replace(a, "third\r\n"));
    EXPECT_EQ(readAll(a), "second\r\n");
    EXPECT_EQ(batch.pending(), 1);
    EXPECT_TRUE(batch.commit());
    EXPECT_EQ(readAll(a), "third\r\n");
}

TEST_F(SafeBatchTest, AnInnerBatchLeavesItsFilesToTheOuterOne)
{
    safefile::Batch outer;
    {
        safefile::Batch inner;
        EXPECT_EQ(safefile::Batch::current(), &outer);
        EXPECT_TRUE(replace(a, "inner\r\n"));
    }
    EXPECT_EQ(readAll(a), "old a\r\n");
    EXPECT_EQ(outer.pending(), 1);
    EXPECT_TRUE(outer.commit());
    EXPECT_EQ(readAll(a), "inner\r\n");
}

TEST_F(SafeBatchTest, AFileThatCannotBeWrittenFailsAtOnceAndTheOthersGoOn)
{
    safefile::Batch batch;
    const QString missing = dir.filePath(QStringLiteral("gone/X.asc"));
    int error = 0;
    EXPECT_FALSE(replace(missing, "x", &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(safefile::folderWide(error));
    EXPECT_TRUE(replace(a, "new a\r\n"));
    EXPECT_EQ(batch.pending(), 1);
    EXPECT_TRUE(batch.commit());
    EXPECT_TRUE(batch.failures().empty());
    EXPECT_EQ(readAll(a), "new a\r\n");
}

// A process killed after its batch's files are written and before they are
// renamed leaves every original as it was; the leftovers go the next time a
// batch writes in the folder, and nothing else of the folder with them.
TEST_F(SafeBatchTest, AKillBeforeTheRenamesLeavesTheOldFilesAndTheNextBatchClearsTheRest)
{
    writeFile(dir.filePath(QStringLiteral(".keep")), "mine");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        safefile::Batch batch;
        const bool staged = replace(a, "new a\r\n") && replace(b, "new b\r\n") && replace(fresh, "new\r\n");
        if (staged)
            ::raise(SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child could not stage its files";
    EXPECT_EQ(readAll(a), "old a\r\n");
    EXPECT_EQ(readAll(b), "old b\r\n");
    EXPECT_FALSE(QFile::exists(fresh));
    EXPECT_EQ(leftovers(dir.path()).size(), 3);

    {
        safefile::Batch next;
        EXPECT_TRUE(replace(b, "next b\r\n"));
    }
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());
    EXPECT_EQ(readAll(a), "old a\r\n");
    EXPECT_EQ(readAll(b), "next b\r\n");
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral(".keep"))), "mine");
}
