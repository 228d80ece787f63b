#include "mslink/files.h"

#include "mslink/error.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mslink::files {

namespace {

[[noreturn]] void fail(const QString& what, const QString& path, int error)
{
    throw Error(ErrorCode::Io,
                QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(error))));
}

QByteArray native(const QString& path) { return QFile::encodeName(path); }

bool writeAll(int fd, const char* data, qint64 length, qint64 offset)
{
    while (length > 0) {
        const ssize_t n = ::pwrite(fd, data, static_cast<size_t>(length), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        length -= n;
        offset += n;
    }
    return true;
}

}  // namespace

QByteArray read(const QString& path)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        fail(QStringLiteral("Cannot open"), path, errno);
    }
    QByteArray out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            fail(QStringLiteral("Cannot read"), path, error);
        }
        if (n == 0)
            break;
        out.append(buffer, n);
    }
    ::close(fd);
    return out;
}

void replace(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    const QString temp = info.absolutePath() + QLatin1Char('/') + QLatin1String(kTempPrefix) + info.fileName();
    struct stat old {};
    const mode_t mode = ::stat(native(path).constData(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    const int fd = ::open(native(temp).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        fail(QStringLiteral("Cannot create"), temp, errno);
    // Renamed over the original only once every byte is on disk: a full
    // disk may only show at the sync or the close.
    const bool written = writeAll(fd, bytes.constData(), bytes.size(), 0) && ::fdatasync(fd) == 0;
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        const int error = !written ? writeError : errno;
        ::unlink(native(temp).constData());
        fail(QStringLiteral("Cannot write"), temp, error);
    }
    if (::rename(native(temp).constData(), native(path).constData()) != 0) {
        const int error = errno;
        ::unlink(native(temp).constData());
        fail(QStringLiteral("Cannot replace"), path, error);
    }
}

void create(const QString& path, const QByteArray& bytes)
{
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail(QStringLiteral("Cannot create"), path, errno);
    const bool ok = writeAll(fd, bytes.constData(), bytes.size(), 0);
    const int error = errno;
    ::close(fd);
    if (!ok)
        fail(QStringLiteral("Cannot write"), path, error);
}

void writeAt(const QString& path, qint64 offset, const QByteArray& bytes)
{
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        fail(QStringLiteral("Cannot open"), path, errno);
    struct stat before {};
    const off_t oldSize = ::fstat(fd, &before) == 0 ? before.st_size : -1;
    const bool ok = writeAll(fd, bytes.constData(), bytes.size(), offset);
    const int error = errno;
    // Records added at the end that did not all go in are taken back: a
    // torn record would be read as a day.
    if (!ok && oldSize >= 0 && offset + bytes.size() > oldSize)
        (void)!::ftruncate(fd, oldSize);
    ::close(fd);
    if (!ok)
        fail(QStringLiteral("Cannot write"), path, error);
}

QByteArray readAt(const QString& path, qint64 offset, qint64 length)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(QStringLiteral("Cannot open"), path, errno);
    QByteArray out(length, '\0');
    qint64 got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd, out.data() + got, static_cast<size_t>(length - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    out.truncate(got);
    return out;
}

qint64 size(const QString& path)
{
    struct stat st {};
    return ::stat(native(path).constData(), &st) == 0 ? static_cast<qint64>(st.st_size) : -1;
}

Lock::~Lock() { release(); }

bool Lock::acquire(const QString& path)
{
    release();
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void Lock::release()
{
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace mslink::files
