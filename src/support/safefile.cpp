#include "support/safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <map>
#include <sys/stat.h>
#include <sys/vfs.h>
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

// Local file systems whose syncfs() writes every dirty page and inode of the
// file system and then flushes the disk's cache once: one call makes a whole
// batch durable, where a sync of each file flushes the cache for each. On any
// other file system (a network or FUSE mount) each file is synced on its own.
bool syncsWhole(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:  // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}

// Waits until the file's data has reached the disk (not its cache, nor the
// metadata that makes the data the file's); 0 or the errno of a write that
// failed, this file's own.
int writtenOut(int fd)
{
    if (::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) ==
        0)
        return 0;
    // Nothing to wait for where the call has no meaning.
    return errno == EINVAL || errno == ESPIPE || errno == ENOSYS ? 0 : errno;
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
    struct stat made {};
    f.fd = ::open(native(f.temp).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (f.fd < 0)
        failure = errno;
    else if (exists && ::fchmod(f.fd, mode) != 0)
        failure = errno;
    else if (::fstat(f.fd, &made) != 0)
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
    f.device = made.st_dev;
    const auto known = wholeSync_.find(f.device);
    f.whole = known != wholeSync_.end() ? known->second : (wholeSync_[f.device] = syncsWhole(f.fd));
    // The disk starts on it now, while the next files are made.
    ::sync_file_range(f.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    byPath_.insert(path);
    files_.push_back(std::move(f));
    return true;
}

bool Batch::commit()
{
    std::vector<bool> synced(files_.size(), false);
    const auto failed = [this, &synced](size_t i, int e) {
        File& f = files_[i];
        synced[i] = false;
        failures_.push_back({f.path, reasonOf(e), e});
        discard(f);
    };
    // Each file's data onto the disk first, every failure its own file's;
    // none of this waits for the disk's cache.
    for (size_t i = 0; i < files_.size(); ++i) {
        if (const int e = writtenOut(files_[i].fd); e != 0)
            failed(i, e);
        else
            synced[i] = true;
    }
    // Then the files' metadata and the disk's cache: one sync of each file
    // system that does it all at once, else a sync of each file.
    std::map<dev_t, std::vector<size_t>> together;
    for (size_t i = 0; i < files_.size(); ++i) {
        if (!synced[i])
            continue;
        if (files_[i].whole)
            together[files_[i].device].push_back(i);
        else if (syncFailed(files_[i].fd))
            failed(i, errno != 0 ? errno : EIO);
    }
    for (const auto& [device, members] : together) {
        if (::syncfs(files_[members.front()].fd) == 0)
            continue;
        // Which file it was is not said: each file's own sync tells.
        for (size_t i : members) {
            errno = 0;
            if (syncFailed(files_[i].fd))
                failed(i, errno != 0 ? errno : EIO);
        }
    }
    for (size_t i = 0; i < files_.size(); ++i) {
        if (!synced[i])
            continue;
        File& f = files_[i];
        errno = 0;
        const bool closed = ::close(f.fd) == 0;
        f.fd = -1;
        if (!closed)
            failed(i, errno != 0 ? errno : EIO);
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
