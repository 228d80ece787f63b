#include "support/safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

namespace {

// One file written and made durable on its own.
bool replaceAlone(const QString& path, QByteArrayView bytes, QString* reason, int* error)
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

}  // namespace

bool replace(const QString& path, QByteArrayView bytes, QString* reason, int* error)
{
    if (Batch* batch = Batch::current())
        return batch->stage(path, bytes, reason, error);
    return replaceAlone(path, bytes, reason, error);
}

bool folderWide(int error)
{
    // A replacement is made in a new file of the folder: refused there, any
    // other file's replacement is refused too (a missing or read-only folder).
    return error == ENOSPC || error == EDQUOT || error == EROFS || error == EFBIG || error == ENOENT ||
           error == ENOTDIR || error == EACCES || error == EPERM;
}

namespace {

thread_local Batch* openBatch = nullptr;

// A batch holding more files than this commits on its way: the descriptors
// stay open until the sync.
constexpr int kMostPending = 256;

QByteArray native(const QString& path) { return QFile::encodeName(path); }

QString reasonOf(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool syncFailed(int fd)
{
    // A file system that cannot sync (EINVAL) keeps nothing back to wait for.
    return ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS;
}

}  // namespace

QString batchTemp(const QString& path)
{
    const QFileInfo info(path);
    return info.path() + QLatin1Char('/') + QLatin1String(kBatchTempPrefix) + info.fileName() +
           QLatin1String(kBatchTempSuffix);
}

Batch::Batch(QSet<QString>* swept) : swept_(swept ? swept : &ownSwept_)
{
    if (openBatch)
        return;
    openBatch = this;
    active_ = true;
}

Batch::~Batch()
{
    if (!active_)
        return;
    commit();
    openBatch = nullptr;
}

Batch* Batch::current() { return openBatch; }

void Batch::sweep(const QString& folder)
{
    if (swept_->contains(folder))
        return;
    swept_->insert(folder);
    QDir dir(folder);
    const QString pattern = QLatin1String(kBatchTempPrefix) + QLatin1Char('*') + QLatin1String(kBatchTempSuffix);
    for (const QString& name : dir.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System))
        dir.remove(name);
}

void Batch::discard(File& f)
{
    if (f.fd >= 0)
        ::close(f.fd);
    f.fd = -1;
    ::unlink(native(f.temp).constData());
}

bool Batch::stage(const QString& path, QByteArrayView bytes, QString* reason, int* error)
{
    // A second content for a file of the batch goes after the first.
    if (holds(path) || pending() >= kMostPending)
        commit();
    const QFileInfo info(path);
    // A link is replaced through its target, as the single-file path does.
    if (info.isSymLink())
        return replaceAlone(path, bytes, reason, error);
    sweep(info.path());
    File f{path, batchTemp(path), -1};
    // The original's permissions; a new file gets the usual ones.
    struct stat old {};
    const bool exists = ::stat(native(path).constData(), &old) == 0;
    const mode_t mode = exists ? (old.st_mode & 07777) : 0666;
    int failure = 0;
    f.fd = ::open(native(f.temp).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (f.fd < 0)
        failure = errno;
    else if (exists && ::fchmod(f.fd, mode) != 0)
        failure = errno;
    else
        failure = writeAll(f.fd, bytes);
    if (failure != 0) {
        if (f.fd >= 0)
            discard(f);
        if (reason)
            *reason = reasonOf(failure);
        if (error)
            *error = failure;
        return false;
    }
    byPath_.insert(path);
    files_.push_back(std::move(f));
    return true;
}

bool Batch::commit()
{
    // Every file's writeback starts before the first sync waits: the syncs
    // after the first find their data on its way or on disk already.
    for (const File& f : files_)
        ::sync_file_range(f.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    std::vector<bool> synced(files_.size(), false);
    for (size_t i = 0; i < files_.size(); ++i) {
        File& f = files_[i];
        errno = 0;
        if (syncFailed(f.fd) || ::close(f.fd) != 0) {
            const int e = errno != 0 ? errno : EIO;
            f.fd = -1;
            failures_.push_back({f.path, reasonOf(e), e});
            discard(f);
            continue;
        }
        f.fd = -1;
        synced[i] = true;
    }
    // Only now the names: nothing is renamed before every file is on disk.
    QSet<QString> folders;
    for (size_t i = 0; i < files_.size(); ++i) {
        if (!synced[i])
            continue;
        File& f = files_[i];
        if (::rename(native(f.temp).constData(), native(f.path).constData()) != 0) {
            const int e = errno;
            failures_.push_back({f.path, reasonOf(e), e});
            discard(f);
            continue;
        }
        folders.insert(QFileInfo(f.path).path());
    }
    // The renames reach the disk with one sync of each folder.
    for (const QString& folder : std::as_const(folders)) {
        const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    files_.clear();
    byPath_.clear();
    return failures_.empty();
}

void settle(const QString& path)
{
    if (Batch* batch = Batch::current(); batch && batch->holds(path))
        batch->commit();
}

}  // namespace safefile
