#pragma once

#include <QByteArray>
#include <QString>

// File access of the library. Whole files are replaced through a temporary
// file in the same folder and a rename, so a reader sees the old file or the
// new one, never a part.
namespace mslink::files {

// The bytes of `path`; empty when it is missing. Throws Error(Io) when it
// exists but cannot be read.
QByteArray read(const QString& path);

// Replaces `path` with `bytes` (keeping its permissions). Throws Error(Io).
void replace(const QString& path, const QByteArray& bytes);

// Creates `path` (emptied when it exists) holding `bytes`; for files no
// reader knows of yet. Throws Error(Io).
void create(const QString& path, const QByteArray& bytes);

// Writes `bytes` at `offset` with one system call. Throws Error(Io).
void writeAt(const QString& path, qint64 offset, const QByteArray& bytes);

// Reads `length` bytes at `offset`; fewer when the file is shorter.
QByteArray readAt(const QString& path, qint64 offset, qint64 length);

qint64 size(const QString& path);  // -1 when missing

// The name prefix of the temporary files, so a repair can clear what a
// kill left behind.
inline const char* kTempPrefix = ".mslink-";

// An exclusive advisory lock on one file, held while the object lives.
class Lock {
public:
    Lock() = default;
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Locks `path` without waiting; false when another holder has it. A
    // missing file is not locked and counts as success.
    bool acquire(const QString& path);
    void release();

private:
    int fd_ = -1;
};

}  // namespace mslink::files
