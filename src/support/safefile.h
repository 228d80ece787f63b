#pragma once

#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

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
// when the original was kept.
bool replace(const QString& path, QByteArrayView bytes, QString* reason, int* error = nullptr);
// Whether a replacement that failed with this errno fails for every file of
// the same folder (a full disk or quota, a read-only or missing folder).
bool folderWide(int error);
}  // namespace safefile
