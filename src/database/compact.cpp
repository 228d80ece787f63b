#include "database/compact.h"

#include "database/db.h"
#include "database/dbuse.h"
#include "support/messages.h"
#include "support/paths.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace compaction {
namespace {

// Keeps the first failure's description for the caller.
bool fail(QString* failure, const QString& description)
{
    if (failure)
        *failure = description;
    return false;
}

// Flushes a file's (or folder's) contents to the disk, so that a rename that
// follows never makes a file visible whose data is still in memory.
bool syncPath(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

QString systemError(const QString& what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

void removeCopy(const QString& target)
{
    QFile::remove(target);
    QFile::remove(target + QStringLiteral("-journal"));
}

// Writes the copy; throws DbError on any failure of the engine.
void exportInto(const QString& source, const QString& target)
{
    // An attached file is opened with the flags of the main one: they must
    // allow creating the copy. The caller has made sure the source exists.
    Database db(source, Database::Mode::CreateIfMissing);
    db.exec(QStringLiteral("ATTACH DATABASE ? AS c KEY ?"), {target, QString::fromLatin1(Database::password())});
    try {
        // The transaction keeps other writers out while the copy is made, and
        // writes the copy in one commit.
        Transaction t(db);
        db.scalar(QStringLiteral("SELECT sqlcipher_export('c')"));
        const qint64 version = db.scalar(QStringLiteral("PRAGMA main.user_version")).toLongLong();
        db.exec(QStringLiteral("PRAGMA c.user_version = %1").arg(version));
        t.commit();
    } catch (...) {
        try {
            db.exec(QStringLiteral("DETACH DATABASE c"));
        } catch (const DbError&) {
            // The export's own failure is the one to report.
        }
        throw;
    }
    db.exec(QStringLiteral("DETACH DATABASE c"));
}

// Opens the copy with the password and checks its structure.
void verify(const QString& target)
{
    Database copy(target);
    const QString check = copy.scalar(QStringLiteral("PRAGMA quick_check")).toString();
    if (check != QLatin1String("ok"))
        throw DbError(11, QStringLiteral("The compacted copy %1 is damaged: %2").arg(target, check));
}

}  // namespace

QString targetFile() { return paths::dataFile(QStringLiteral("quotaris.tmp")); }

namespace {

bool compactInto(const QString& source, const QString& target, QString* failure)
{
    if (QFileInfo::exists(target))
        return fail(failure, QStringLiteral("The file %1 already exists: it is left from a compaction that did not "
                                            "finish. Remove it, then compact the database again.")
                                 .arg(target));
    if (!QFileInfo(source).isFile())
        return fail(failure, QStringLiteral("The database %1 does not exist.").arg(source));
    // A journal without its file is what a killed compaction leaves when the
    // user removed only the copy; it belongs to no database now.
    QFile::remove(target + QStringLiteral("-journal"));
    try {
        exportInto(source, target);
        verify(target);
    } catch (const DbError& e) {
        removeCopy(target);
        return fail(failure, e.description());
    }
    if (!syncPath(target)) {
        const QString error = systemError(target);
        removeCopy(target);
        return fail(failure, error);
    }
    return true;
}

bool shown(bool ok, const QString& failure)
{
    if (!ok)
        msgBox(failure, Icon::Warning);
    return ok;
}

}  // namespace

bool Compact(const QString& source, const QString& target)
{
    QString failure;
    return shown(compactInto(source, target, &failure), failure);
}

bool compactDatabase(QString* failure)
{
    const QString database = paths::databaseFile();
    const QString copy = targetFile();
    // A process with the database open would go on using the replaced file.
    dbuse::Exclusive alone(QFileInfo(database).absoluteFilePath());
    if (QString refusal; QFileInfo::exists(database) && !alone.acquire(&refusal))
        return fail(failure, refusal);
    if (!compactInto(database, copy, failure))
        return false;
    // rename() replaces the file in one step: a kill at any moment leaves
    // either the old or the new database in place, never none.
    if (std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(database).constData()) != 0) {
        const QString error = systemError(QStringLiteral("Unable to replace %1 by %2").arg(database, copy));
        removeCopy(copy);
        return fail(failure, error);
    }
    syncPath(paths::dataFolder());
    return true;
}

bool compactDatabase()
{
    QString failure;
    return shown(compactDatabase(&failure), failure);
}

}  // namespace compaction
