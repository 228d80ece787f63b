#pragma once

#include <QString>

// Who has the program's database open, across processes: every process with
// a connection to it holds a shared advisory lock (flock) on a lock file
// beside it, and compaction, which replaces the file, needs the exclusive
// one. A connection opened elsewhere would go on writing to the file the
// compaction removed. The lock file is never replaced, so the lock stays
// with the database's name; it dies with its process.
namespace dbuse {

// The lock file of `database`: its name with ".lock".
QString lockFile(const QString& database);

// One more connection of this process to `database`; the first takes the
// shared lock, waiting up to `waitMs` while a compaction holds it. Throws
// DbError when it still holds it then. A folder where the lock file cannot
// be made is used without one.
void connectionOpened(const QString& database, int waitMs = 15000);
// One connection fewer; the last releases the lock.
void connectionClosed(const QString& database);

// Exclusive use of `database` for this process: false (with `refusal` set)
// when another process has it open. This process's own connections stay
// counted and keep their shared lock once the exclusive one is released.
class Exclusive {
public:
    explicit Exclusive(const QString& database);
    ~Exclusive();
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;

    bool acquire(QString* refusal);

private:
    QString database_;
    bool held_ = false;
};

}  // namespace dbuse
