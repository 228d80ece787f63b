#include "database/dbuse.h"

#include "database/db.h"

#include <QFile>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sqlcipher/sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

namespace dbuse {
namespace {

// The lock of one database in this process: one open file description, so
// the process's connections and its compaction never conflict with each
// other, only with other processes.
struct Use {
    int fd = -1;  // -1: no lock file could be made
    int connections = 0;
    bool exclusive = false;
};

// This process's use of its databases. A flock belongs to an open file
// description, so the process holds one per database for all its
// connections: the table lives as long as the process does, and an entry as
// long as the connections and the compaction that use its database.
struct Uses {
    std::mutex mutex;
    std::map<QString, Use> byDatabase;
};
Uses process;

int openLockFile(const QString& database)
{
    return ::open(QFile::encodeName(lockFile(database)).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

bool lock(int fd, int operation)
{
    int rc;
    do
        rc = ::flock(fd, operation);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void drop(std::map<QString, Use>::iterator it)
{
    if (it->second.fd >= 0)
        ::close(it->second.fd);  // closing the last descriptor releases the lock
    process.byDatabase.erase(it);
}

}  // namespace

QString lockFile(const QString& database) { return database + QStringLiteral(".lock"); }

void connectionOpened(const QString& database, int waitMs)
{
    std::unique_lock guard(process.mutex);
    Use& use = process.byDatabase[database];
    if (use.connections++ > 0 || use.exclusive)
        return;
    use.fd = openLockFile(database);
    if (use.fd < 0)
        return;
    // A compaction holds the database for a moment only.
    for (int waited = 0; !lock(use.fd, LOCK_SH | LOCK_NB); waited += 50) {
        if (waited >= waitMs) {
            drop(process.byDatabase.find(database));
            throw DbError(SQLITE_BUSY,
                          QStringLiteral("unable to open database %1: it is being compacted by another Quotaris "
                                         "process")
                              .arg(database));
        }
        guard.unlock();
        QThread::msleep(50);
        guard.lock();
    }
}

void connectionClosed(const QString& database)
{
    const std::lock_guard guard(process.mutex);
    const auto it = process.byDatabase.find(database);
    if (it == process.byDatabase.end())
        return;
    if (--it->second.connections <= 0 && !it->second.exclusive)
        drop(it);
}

Exclusive::Exclusive(const QString& database) : database_(database) {}

Exclusive::~Exclusive()
{
    if (!held_)
        return;
    const std::lock_guard guard(process.mutex);
    const auto it = process.byDatabase.find(database_);
    if (it == process.byDatabase.end())
        return;
    it->second.exclusive = false;
    if (it->second.connections <= 0)
        drop(it);
    else if (it->second.fd >= 0)
        lock(it->second.fd, LOCK_SH);  // never waits: no other process has it
}

bool Exclusive::acquire(QString* refusal)
{
    if (held_)
        return true;
    const std::lock_guard guard(process.mutex);
    Use& use = process.byDatabase[database_];
    if (use.fd < 0)
        use.fd = openLockFile(database_);
    if (use.fd >= 0 && !lock(use.fd, LOCK_EX | LOCK_NB)) {
        // Turning a shared lock into an exclusive one drops the shared one
        // first when it fails: take it back.
        if (use.connections > 0)
            lock(use.fd, LOCK_SH | LOCK_NB);
        else
            drop(process.byDatabase.find(database_));
        if (refusal)
            *refusal = QStringLiteral("The database is in use by another Quotaris process: close it (or stop its "
                                      "download or scheduler) and try again. Nothing was changed.");
        return false;
    }
    use.exclusive = held_ = true;
    return true;
}

}  // namespace dbuse
