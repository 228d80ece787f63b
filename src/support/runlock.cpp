#include "support/runlock.h"

#include "support/appendjournal.h"
#include "support/paths.h"

#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString RunLock::path() { return paths::dataFile(QStringLiteral("quotaris.lock")); }

RunLock::~RunLock() { release(); }

bool RunLock::acquire(const QString& what, QString* refusal)
{
    if (held())
        return true;
    const QByteArray file = QFile::encodeName(path());
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // A folder where no lock file can be made cannot hold a run's files
        // either; the run finds out and says so itself.
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        QByteArray holder(256, '\0');
        const ssize_t n = ::pread(fd, holder.data(), holder.size(), 0);
        ::close(fd);
        holder.truncate(n > 0 ? n : 0);
        // "download 4711 14:02"
        const QList<QByteArray> f = holder.trimmed().split(' ');
        QString text = QStringLiteral("A download is already running for this data folder");
        if (f.size() >= 3)
            text = QStringLiteral("A %1 is already running for this data folder (process %2, started %3).")
                       .arg(QString::fromUtf8(f[0]), QString::fromLatin1(f[1]), QString::fromLatin1(f[2]));
        else
            text += QLatin1Char('.');
        if (refusal)
            *refusal = text;
        return false;
    }
    const QByteArray holder = what.toUtf8() + ' ' + QByteArray::number(::getpid()) + ' ' +
                              QTime::currentTime().toString(QStringLiteral("HH:mm")).toLatin1() + '\n';
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, holder.constData(), holder.size(), 0) < 0) {
        // The name of the holder is only for the message; the lock holds.
    }
    fd_ = fd;
    // A run that held the lock before and did not end may have left a line
    // cut in a file it appended to.
    appendjournal::mend();
    return true;
}

void RunLock::release()
{
    if (fd_ < 0)
        return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}
