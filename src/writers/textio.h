#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVector>
#include <stdexcept>

// File access shared by the quote writers. Reading or rewriting a quote file
// that fails throws CorruptFile (reported to the user as "The file ... is
// corrupt"); a failed append throws a FileError for the error dialog.
namespace textio {

class CorruptFile : public std::runtime_error {
public:
    explicit CorruptFile(const QString& file) : std::runtime_error(file.toStdString()), file_(file) {}
    QString file() const { return file_; }

private:
    QString file_;
};

inline const QByteArray kCrLf = QByteArrayLiteral("\r\n");

// The whole file.
QByteArray readWhole(const QString& file);

// The last `bytes` bytes of the file (all of it when shorter); `start` gets
// their offset in the file. A tail kept by keepTail() for the file serves
// one such read instead of the file, when it holds that many bytes.
QByteArray readTail(const QString& file, qint64 bytes, qint64* start, qint64* size);

// The end of a file read ahead of its writer (the integrity check reads the
// latest stored day of a quote's file just before the file's writer looks
// at the same end): the next readTail() of the file takes it instead of
// reading again. forgetTails() drops what no read took; a run calls it
// after each batch, before anything else may change the files.
void keepTail(const QString& file, const QByteArray& tail, qint64 start, qint64 size);
void forgetTails();
// A tail of the file is kept: the file is there and not empty.
bool hasKeptTail(const QString& file);

// Replaces the file's content: a temporary file in the same folder renamed
// over the original, so a failure leaves the old file whole.
void rewrite(const QString& file, const QByteArray& content);

// Appends and flushes, creating the file when missing.
void append(const QString& file, const QByteArray& bytes);

// Lines split at CR LF, CR or LF; a final line break does not make an empty
// last line.
QVector<QByteArrayView> splitLines(QByteArrayView text);

bool isBlank(QByteArrayView line);

bool endsWithLineBreak(QByteArrayView text);

}  // namespace textio
