// Folder behaviour: more than 255 securities, damaged master files, the
// repair of what a kill leaves, the lock, renames and record changes.
#include "mslink/error.h"
#include "mslink/numbers.h"
#include "mslink/reader.h"
#include "mslink/writer.h"
#include "msreader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace mslink;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void putBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void addWithDays(Writer& w, const QString& ticker, std::initializer_list<qint32> dates)
{
    w.addSecurity(ticker, ticker + QStringLiteral(" Inc"));
    for (qint32 d : dates)
        w.appendRecord(d, 120000, 1, 2, 0.5f, 1.5f, 100, 0);
    w.flush();
}

// Every folder's bytes, to prove a folder was left alone.
QMap<QString, QByteArray> snapshot(const QString& dir)
{
    QMap<QString, QByteArray> out;
    for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden))
        out[name] = fileBytes(dir + QLatin1Char('/') + name);
    return out;
}

}  // namespace

TEST(MsFolder, MoreThan255SecuritiesGoToXmaster)
{
    QTemporaryDir dir;
    {
        Writer w;
        w.openFolder(dir.path());
        for (int n = 0; n < 300; ++n)
            addWithDays(w, QStringLiteral("T%1").arg(n), {20240102 + n % 20});
    }
    EXPECT_TRUE(QFile::exists(dir.filePath("F255.DAT")));
    EXPECT_TRUE(QFile::exists(dir.filePath("F300.MWD")));
    EXPECT_FALSE(QFile::exists(dir.filePath("F256.DAT")));

    Reader r;
    r.openFolder(dir.path());
    EXPECT_EQ(r.securityCount(), 300);
    ASSERT_TRUE(r.findSecurity(QStringLiteral("T299")));
    EXPECT_EQ(r.currentFileNumber(), 300);
    EXPECT_EQ(r.currentRecordCount(), 1);
    EXPECT_EQ(r.currentLastDate(), 20240102 + 299 % 20);
    // Walking the folder visits every security once.
    r.openFolder(dir.path());
    int seen = 0;
    for (r.nextSecurity(); r.recordsLeft() >= 1; r.nextSecurity())
        ++seen;
    EXPECT_EQ(seen, 300);
}

TEST(MsFolder, DamagedMasterIsLeftByteForByte)
{
    QTemporaryDir dir;
    {
        Writer w;
        w.openFolder(dir.path());
        addWithDays(w, QStringLiteral("AAA"), {20240102});
        addWithDays(w, QStringLiteral("BBB"), {20240102});
    }
    const QByteArray good = fileBytes(dir.filePath("MASTER"));
    for (const QByteArray& bad : {good.left(80), QByteArray(good.size(), '\x7A'), QByteArray("x"), QByteArray()}) {
        putBytes(dir.filePath("MASTER"), bad);
        QFile::remove(dir.filePath("F7.DAT"));
        const auto before = snapshot(dir.path());
        Writer w;
        try {
            w.openFolder(dir.path());
            ADD_FAILURE() << "a damaged MASTER was opened for writing";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::Damaged);
        }
        Reader r;
        EXPECT_THROW(r.openFolder(dir.path()), Error);
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

TEST(MsFolder, RepairMendsWhatAKillLeaves)
{
    QTemporaryDir dir;
    {
        Writer w;
        w.openFolder(dir.path());
        addWithDays(w, QStringLiteral("AAA"), {20240102, 20240103});
        addWithDays(w, QStringLiteral("BBB"), {20240102});
    }
    // A record on the end that its header does not count yet, an orphan
    // data file of an add cut short, a temporary file, and an EMASTER one
    // security behind MASTER.
    const QString f1 = dir.filePath("F1.DAT");
    QByteArray data = fileBytes(f1);
    QByteArray extra(28, '\0');
    putMbf(extra.data(), static_cast<float>(toFileDate(20240104)));
    putMbf(extra.data() + 16, 7.5f);
    putBytes(f1, data + extra);
    putBytes(dir.filePath("F3.DAT"), QByteArray(28, '\0'));
    putBytes(dir.filePath(".mslink-MASTER"), "half");
    QByteArray emaster = fileBytes(dir.filePath("EMASTER"));
    emaster.chop(192);  // MASTER went one security further than EMASTER
    emaster[0] = 1;
    putBytes(dir.filePath("EMASTER"), emaster);

    Writer w;
    w.openFolder(dir.path());
    w.release();

    EXPECT_EQ(getU16(fileBytes(f1).constData() + 2), 4);  // three records + 1
    EXPECT_TRUE(QFile::exists(dir.filePath("F3.DAT")));   // never removed, only reported
    Folder folder(dir.path());
    folder.load();
    EXPECT_EQ(folder.unnamedDataFiles(), QStringList{"F3.DAT"});
    EXPECT_FALSE(QFile::exists(dir.filePath(".mslink-MASTER")));
    const QByteArray fixed = fileBytes(dir.filePath("EMASTER"));
    EXPECT_EQ(fixed.size(), 3 * 192);
    EXPECT_EQ(static_cast<quint8>(fixed[2 * 192 + 2]), 2);
    EXPECT_EQ(QByteArray(fixed.constData() + 192 + 139), "AAA Inc");  // long names kept
    Reader r;
    r.openFolder(dir.path());
    ASSERT_TRUE(r.findSecurity(QStringLiteral("AAA")));
    EXPECT_EQ(r.currentLastDate(), 20240104);
    r.loadAllRecords();
    EXPECT_EQ(r.arrays().closes.back(), 7.5f);
    EXPECT_EQ(getMbf(fileBytes(dir.filePath("MASTER")).constData() + 53 + 29), toFileDate(20240104));
}

// A session repairs a folder once, until it restarts, and takes its master
// files again only while they are unchanged on disk; without one every
// opening repairs and reads them afresh.
TEST(MsFolder, ASessionRepairsOnceAndSeesChangesOnDisk)
{
    QTemporaryDir dir;
    Session session;
    const QString leftover = dir.filePath(".mslink-MASTER");
    {
        Writer w;
        w.openFolder(dir.path(), &session);
        addWithDays(w, QStringLiteral("AAA"), {20240102});
    }
    putBytes(leftover, "half");
    {
        Writer w;
        w.openFolder(dir.path(), &session);
    }
    EXPECT_TRUE(QFile::exists(leftover)) << "repaired twice in one session";
    session.restart();
    {
        Writer w;
        w.openFolder(dir.path(), &session);
    }
    EXPECT_FALSE(QFile::exists(leftover));
    putBytes(leftover, "half");
    {
        Writer w;
        w.openFolder(dir.path());
    }
    EXPECT_FALSE(QFile::exists(leftover));

    // A writer outside the session adds a security: the session's reader
    // sees it, because MASTER changed on disk.
    Reader before;
    before.openFolder(dir.path(), &session);
    EXPECT_EQ(before.securityCount(), 1);
    {
        Writer w;
        w.openFolder(dir.path());
        addWithDays(w, QStringLiteral("BBB"), {20240102});
    }
    Reader after;
    after.openFolder(dir.path(), &session);
    EXPECT_EQ(after.securityCount(), 2);
    EXPECT_TRUE(after.findSecurity(QStringLiteral("BBB")));
}

TEST(MsFolder, LockedFolderIsInUse)
{
    QTemporaryDir dir;
    {
        Writer w;
        w.openFolder(dir.path());
        addWithDays(w, QStringLiteral("AAA"), {20240102});
    }
    const int fd = ::open(QFile::encodeName(dir.filePath("MASTER")).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    Writer w;
    try {
        w.openFolder(dir.path());
        ADD_FAILURE() << "a locked folder was opened";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 1652);
    }
    ::close(fd);
    EXPECT_NO_THROW(w.openFolder(dir.path()));
    // While we write, another writer finds the folder in use, also once
    // the master files were replaced.
    Writer other;
    EXPECT_THROW(other.openFolder(dir.path()), Error);
    addWithDays(w, QStringLiteral("BBB"), {20240102});
    w.flush();
    EXPECT_THROW(other.openFolder(dir.path()), Error);
    // A folder being made is covered before its master files exist.
    QTemporaryDir made;
    Writer creating;
    creating.openFolder(made.path());
    EXPECT_THROW(other.openFolder(made.path()), Error);
}

TEST(MsFolder, RenameKeepsLongNameBeginningWithMasterName)
{
    QTemporaryDir dir;
    Writer w;
    w.openFolder(dir.path());
    addWithDays(w, QStringLiteral("AAA"), {20240102});
    w.changeSecurity(QStringLiteral("AAA"), QStringLiteral("A much longer name of the company N.V."),
                     QStringLiteral("AAA"));
    w.release();
    const QByteArray master = fileBytes(dir.filePath("MASTER"));
    const QByteArray emaster = fileBytes(dir.filePath("EMASTER"));
    EXPECT_EQ(master.mid(53 + 7, 16), QByteArray("A much longer na"));
    EXPECT_EQ(QByteArray(emaster.constData() + 192 + 139), QByteArray("A much longer name of the company N.V."));
}

TEST(MsFolder, ChangesDeletesAndOutOfOrderAppends)
{
    QTemporaryDir dir;
    Writer w;
    w.openFolder(dir.path());
    addWithDays(w, QStringLiteral("AAA"), {20240102, 20240104, 20240105});
    w.selectSecurity(QStringLiteral("AAA"));
    EXPECT_TRUE(w.recordExists(20240104));
    EXPECT_FALSE(w.recordExists(20240103));
    EXPECT_THROW(w.changeRecord(20240103, 20240103, 0, 1, 1, 1, 1, 1, 0), Error);
    w.changeRecord(20240104, 20240104, 120000, 9, 9, 9, 9, 900, 0);
    w.appendRecord(20240103, 120000, 3, 3, 3, 3, 300, 0);  // before the last: the file is rewritten in order
    w.deleteRecords(20240105, 20240105);
    w.flush();
    w.release();

    Reader r;
    r.openFolder(dir.path());
    ASSERT_TRUE(r.findSecurity(QStringLiteral("AAA")));
    r.loadAllRecords();
    EXPECT_EQ(r.arrays().dates, (std::vector<qint32>{20240102, 20240103, 20240104}));
    EXPECT_EQ(r.arrays().volumes, (std::vector<float>{100, 300, 900}));
    EXPECT_EQ(r.currentFirstDate(), 20240102);
    EXPECT_EQ(r.currentLastDate(), 20240104);
}

// A repair never deletes a data file, and a folder whose master file is
// gone or empty beside data files is damaged: left byte for byte, no
// security placed in it.
TEST(MsFolder, DataFilesOutliveLostMasterFiles)
{
    QTemporaryDir dir;
    {
        Writer w;
        w.openFolder(dir.path());
        for (int n = 0; n < 257; ++n)
            addWithDays(w, QStringLiteral("T%1").arg(n), {20240102});
    }
    // An XMASTER emptied: its two securities are still in F256.MWD, F257.MWD.
    const QByteArray xmaster = fileBytes(dir.filePath("XMASTER"));
    putBytes(dir.filePath("XMASTER"), QByteArray());
    auto before = snapshot(dir.path());
    {
        Writer w;
        EXPECT_THROW(w.openFolder(dir.path()), Error);
        Reader r;
        EXPECT_THROW(r.openFolder(dir.path()), Error);
    }
    EXPECT_EQ(snapshot(dir.path()), before);
    putBytes(dir.filePath("XMASTER"), xmaster);

    // MASTER and EMASTER gone, XMASTER too: still no free folder.
    for (const char* name : {"MASTER", "EMASTER", "XMASTER"})
        QFile::remove(dir.filePath(QLatin1String(name)));
    before = snapshot(dir.path());
    EXPECT_TRUE(Folder::present(dir.path()));
    try {
        Writer w;
        w.openFolder(dir.path());
        ADD_FAILURE() << "a folder of data files without MASTER was opened for writing";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::Damaged);
    }
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST(MsFolder, AnUnnamedDataFileIsKeptAndItsNumberNotTaken)
{
    QTemporaryDir dir;
    {
        Writer w;
        w.openFolder(dir.path());
        addWithDays(w, QStringLiteral("AAA"), {20240102, 20240103});
    }
    // Another security's records under a number no entry names.
    const QByteArray lost = fileBytes(dir.filePath("F1.DAT"));
    putBytes(dir.filePath("F2.DAT"), lost);
    {
        Writer w;
        w.openFolder(dir.path());
        addWithDays(w, QStringLiteral("BBB"), {20240104});
        EXPECT_EQ(w.selectedDataFile(), QStringLiteral("F3.DAT"));
    }
    EXPECT_EQ(fileBytes(dir.filePath("F2.DAT")), lost);

    const MsFolderRead other = readMsFolder(dir.path());
    ASSERT_TRUE(other.ran) << qPrintable(other.error);
    EXPECT_EQ(other.problems, QStringList());
    EXPECT_EQ(other.unnamed, QStringList{"F2.DAT"});
    ASSERT_EQ(other.securities.size(), 2);
    EXPECT_EQ(other.securities[1].symbol, QStringLiteral("BBB"));
    EXPECT_EQ(other.securities[1].fileNumber, 3);
}

// A record changed without a change of its date is written where it is:
// the data file is neither replaced nor read whole, only that record's
// bytes change.
TEST(MsFolder, ChangingADaysRecordWritesItInPlace)
{
    QTemporaryDir dir;
    {
        Writer w;
        w.openFolder(dir.path());
        addWithDays(w, QStringLiteral("AAA"), {20240102, 20240103, 20240104});
    }
    const QString f1 = dir.filePath("F1.DAT");
    const QByteArray before = fileBytes(f1);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(f1).constData(), &st), 0);
    const ino_t inode = st.st_ino;

    Writer w;
    w.openFolder(dir.path());
    w.selectSecurity(QStringLiteral("AAA"));
    ASSERT_TRUE(w.recordExists(20240104));
    w.changeRecord(20240104, 20240104, 120000, 3, 4, 2, 3.5f, 900, 0);
    w.changeRecord(20240103, 20240103, 120000, 5, 6, 4, 5.5f, 800, 0);
    EXPECT_EQ(fileBytes(f1), before) << "nothing is written before flush";
    try {
        w.changeRecord(20240105, 0, 0, 1, 1, 1, 1, 1, 0);
        ADD_FAILURE() << "a day the security does not hold was changed";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::NoRecord);
    }
    w.flush();
    w.release();

    ASSERT_EQ(::stat(QFile::encodeName(f1).constData(), &st), 0);
    EXPECT_EQ(st.st_ino, inode);
    const QByteArray after = fileBytes(f1);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.left(2 * 28), before.left(2 * 28));  // header and the first day untouched

    const MsFolderRead other = readMsFolder(dir.path());
    ASSERT_TRUE(other.ran) << qPrintable(other.error);
    EXPECT_EQ(other.problems, QStringList());
    ASSERT_EQ(other.securities.size(), 1);
    const QVector<MsDay>& days = other.securities[0].days;
    ASSERT_EQ(days.size(), 3);
    EXPECT_EQ(days[1].close, 5.5);
    EXPECT_EQ(days[1].volume, 800);
    EXPECT_EQ(days[2].date, 20240104);
    EXPECT_EQ(days[2].close, 3.5);
    EXPECT_EQ(days[2].open, 3);
}
