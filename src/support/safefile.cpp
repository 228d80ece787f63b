#include "support/safefile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

SafeFile::SafeFile(const QString& path) : file_(path) {}

SafeFile::~SafeFile()
{
    if (file_.isOpen())
        file_.cancelWriting();  // QSaveFile removes the temporary file
}

void SafeFile::fail(int error, const QString& fallback)
{
    if (failed())
        return;
    errno_ = error;
    reason_ = error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : fallback;
    if (reason_.isEmpty())
        reason_ = QStringLiteral("Unknown error");
    if (file_.isOpen())
        file_.cancelWriting();
}

bool SafeFile::open()
{
    // Unbuffered: every write reaches the system at once, so a short write
    // is seen where it happens, with its errno.
    errno = 0;
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        fail(errno, file_.errorString());
        return false;
    }
    return true;
}

bool SafeFile::write(QByteArrayView bytes)
{
    if (failed() || !file_.isOpen())
        return false;
    if (const int error = safefile::writeAll(file_.handle(), bytes); error != 0) {
        fail(error);
        return false;
    }
    return true;
}

bool SafeFile::commit()
{
    if (failed() || !file_.isOpen())
        return false;
    // What went through device() may have failed without the writer noticing.
    if (file_.error() != QFileDevice::NoError) {
        fail(errno, file_.errorString());
        return false;
    }
    errno = 0;
    if (!file_.flush()) {
        fail(errno, file_.errorString());
        return false;
    }
    // A full disk may show only here (delayed allocation, network file systems).
    if (::fdatasync(file_.handle()) != 0 && errno != EINVAL && errno != EROFS) {
        fail(errno);
        return false;
    }
    errno = 0;
    if (!file_.commit()) {
        fail(errno, file_.errorString());
        return false;
    }
    return true;
}

namespace safefile {

int writeAll(int fd, QByteArrayView bytes)
{
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        data += n;
        left -= n;
    }
    return 0;
}

bool replace(const QString& path, QByteArrayView bytes, QString* reason, int* error)
{
    SafeFile f(path);
    if (f.open() && f.write(bytes) && f.commit())
        return true;
    if (reason)
        *reason = f.reason();
    if (error)
        *error = f.error();
    return false;
}

bool folderWide(int error)
{
    // A replacement is made in a new file of the folder: refused there, any
    // other file's replacement is refused too (a missing or read-only folder).
    return error == ENOSPC || error == EDQUOT || error == EROFS || error == EFBIG || error == ENOENT ||
           error == ENOTDIR || error == EACCES || error == EPERM;
}

}  // namespace safefile
