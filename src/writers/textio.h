#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QVector>
#include <stdexcept>

// File access shared by the quote writers. Reading a quote file that fails
// throws CorruptFile (reported to the user as "The file ... is corrupt"); a
// rewrite that does not reach the disk throws WriteFailed, a failed append a
// FileError for the error dialog; either leaves the file as it was.
namespace textio {

class CorruptFile : public std::runtime_error {
public:
    explicit CorruptFile(const QString& file) : std::runtime_error(file.toStdString()), file_(file) {}
    QString file() const { return file_; }

private:
    QString file_;
};

// The file could not be written (a full disk, a read-only folder...); it
// holds what it held before.
class WriteFailed : public std::runtime_error {
public:
    WriteFailed(const QString& file, const QString& reason, int error)
        : std::runtime_error(file.toStdString()), file_(file), reason_(reason), error_(error)
    {
    }
    QString file() const { return file_; }
    // The system's reason ("No space left on device").
    QString reason() const { return reason_; }
    // Every other file of the folder would fail the same way.
    bool folderWide() const;

private:
    QString file_, reason_;
    int error_;
};

inline const QByteArray kCrLf = QByteArrayLiteral("\r\n");

// The whole file.
QByteArray readWhole(const QString& file);

// The ends of files read ahead of their writers in one run (the integrity
// check reads the latest stored day of a quote's file just before the file's
// writer looks at the same end): the next readTail() of a file given this
// store takes its kept end instead of reading again. A run clears it after
// each batch, before anything else may change the files.
class KeptTails {
public:
    void keep(const QString& file, const QByteArray& tail, qint64 start, qint64 size);
    // A tail of the file is kept: the file is there and not empty.
    bool has(const QString& file) const { return !tails_.isEmpty() && tails_.contains(file); }
    void clear() { tails_.clear(); }
    // Takes the file's kept tail out; true, with the last `bytes` of it,
    // when it holds that many (or the whole file).
    bool take(const QString& file, qint64 bytes, QByteArray* tail, qint64* start, qint64* size);

private:
    struct Tail {
        QByteArray tail;
        qint64 start = 0, size = 0;
    };
    QHash<QString, Tail> tails_;
};

// The last `bytes` bytes of the file (all of it when shorter); `start` gets
// their offset in the file. A tail of the file in `kept` serves one such
// read instead of the file, when it holds that many bytes; a read takes it
// out either way.
QByteArray readTail(const QString& file, qint64 bytes, qint64* start, qint64* size, KeptTails* kept = nullptr);

// Replaces the file's content: a temporary file in the same folder renamed
// over the original once every byte is on disk, so a failure leaves the old
// file whole. Throws WriteFailed. Inside a safefile::Batch the rename waits
// for the batch's commit; the reads here see a file's new content (the batch
// commits early when it holds the file).
void rewrite(const QString& file, const QByteArray& content);

// Appends, creating the file when missing. A failed append is taken back
// (the file is cut to its old length, a file it created removed), so no
// half line or half record is left. Throws FileError.
void append(const QString& file, const QByteArray& bytes);

// Lines split at CR LF, CR or LF; a final line break does not make an empty
// last line.
QVector<QByteArrayView> splitLines(QByteArrayView text);

bool isBlank(QByteArrayView line);

bool endsWithLineBreak(QByteArrayView text);

}  // namespace textio
