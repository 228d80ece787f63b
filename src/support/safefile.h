#pragma once

#include <QByteArrayView>
#include <QSaveFile>
#include <QSet>
#include <QString>
#include <QVector>
#include <map>
#include <sys/types.h>
#include <vector>

// A new content for a file, written to a temporary file in the same folder
// and renamed over the original only when every byte was written and has
// reached the disk. Any failure (a full disk, a short write, a failed sync)
// leaves the original as it was, removes the temporary file and keeps the
// system's reason ("No space left on device").
class SafeFile {
public:
    explicit SafeFile(const QString& path);
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    bool open();
    // Writes all of `bytes`; false (and every later write false) on failure.
    bool write(QByteArrayView bytes);
    // The temporary file, for writers that stream into a device. Writes
    // through it are checked again by commit().
    QIODevice& device() { return file_; }
    // Syncs and renames over the original; false when anything written
    // before failed or the sync or rename fails.
    bool commit();

    bool failed() const { return !reason_.isEmpty(); }
    // Why the replacement failed, in the system's words.
    QString reason() const { return reason_; }
    // The errno of the failure, 0 when it came from elsewhere.
    int error() const { return errno_; }
    QString path() const { return file_.fileName(); }

private:
    void fail(int error, const QString& fallback = {});

    QSaveFile file_;
    QString reason_;
    int errno_ = 0;
};

namespace safefile {
// Writes all of `bytes` to the descriptor; 0, or the errno of the write
// that failed (ENOSPC for one that wrote nothing).
int writeAll(int fd, QByteArrayView bytes);
// The file replaced by `bytes` through a SafeFile; false with `reason` set
// when the original was kept. While a Batch is open on this thread the
// replacement joins it instead: written to its temporary file now (a failed
// write is reported here as before), made durable and renamed with the rest
// of the batch.
bool replace(const QString& path, QByteArrayView bytes, QString* reason, int* error = nullptr);

// Replacements made durable together. Each file of the batch is written whole
// to a temporary file beside it, whose writeback starts at once; commit() then
// waits for each file's data to reach the disk, makes the lot durable with one
// sync of their file system (one flush of the disk's cache where a sync of
// each file would flush it for each; a file system not known to sync that way
// gets a sync of each file), renames them over their originals in the order
// they came, and syncs each folder once. A kill or a power loss at any moment
// leaves every file old or new, and no rename ever names data that is not on
// disk. What a kill leaves of the temporary files is removed the next time a
// batch writes in that folder.
//
// A file of the batch is read as it was until the batch commits: whoever
// reads or checks a file a batch may hold calls settle() first, which
// commits the batch early when it holds that file.
class Batch {
public:
    struct Failure {
        QString path;
        QString reason;
        int error = 0;
    };

    // Becomes this thread's open batch, unless one is open already (then it
    // holds nothing and the outer one takes the files). `swept` keeps the
    // folders whose leftovers are removed already, for a run whose steps
    // each open a batch; without it the batch keeps its own.
    explicit Batch(QSet<QString>* swept = nullptr);
    // Commits what is still pending.
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // Makes the pending files durable and renames them into place. True when
    // every file of the batch (since it opened) was replaced; the failed ones
    // kept their original and are in failures().
    bool commit();
    const std::vector<Failure>& failures() const { return failures_; }
    // Files waiting for commit().
    int pending() const { return static_cast<int>(files_.size()); }

    // The open batch of this thread, or null.
    static Batch* current();

    // Takes a file's new content; false with `reason` when the temporary file
    // could not be written (the original is kept, nothing is pending).
    bool stage(const QString& path, QByteArrayView bytes, QString* reason, int* error);
    bool holds(const QString& path) const { return byPath_.contains(path); }

private:
    struct File {
        QString path, temp;
        int fd = -1;
        dev_t device = 0;    // the file system of the temporary file
        bool whole = false;  // its file system is synced whole (see syncfs)
    };
    void sweep(const QString& folder);
    void discard(File& f);

    bool active_ = false;
    std::vector<File> files_;
    QSet<QString> byPath_;
    QSet<QString> ownSwept_;
    QSet<QString>* swept_;
    std::vector<Failure> failures_;
    std::map<dev_t, bool> wholeSync_;  // per file system: synced whole
};

// The open batch is committed when it holds `path`, so that what follows
// reads the file's new content.
void settle(const QString& path);

// The temporary file a batch writes `path`'s new content to.
QString batchTemp(const QString& path);
// The names of the batches' temporary files, as a name filter.
inline constexpr const char* kBatchTempPrefix = ".qbatch-";
inline constexpr const char* kBatchTempSuffix = ".tmp";
// Whether a replacement that failed with this errno fails for every file of
// the same folder (a full disk or quota, a read-only or missing folder).
bool folderWide(int error);
}  // namespace safefile
