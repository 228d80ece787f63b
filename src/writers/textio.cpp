#include "writers/textio.h"

#include "support/errors.h"
#include "support/safefile.h"

#include <QFile>
#include <QHash>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace textio {

QByteArray readWhole(const QString& file)
{
    safefile::settle(file);
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw CorruptFile(file);
    QByteArray content = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw CorruptFile(file);
    return content;
}

void KeptTails::keep(const QString& file, const QByteArray& tail, qint64 start, qint64 size)
{
    tails_.insert(file, {tail, start, size});
}

bool KeptTails::take(const QString& file, qint64 bytes, QByteArray* tail, qint64* start, qint64* size)
{
    if (tails_.isEmpty())
        return false;
    const auto it = tails_.constFind(file);
    if (it == tails_.constEnd())
        return false;
    const Tail k = *it;
    tails_.erase(it);
    if (k.start != 0 && k.tail.size() < bytes)
        return false;
    const qint64 skip = std::max<qint64>(0, k.tail.size() - bytes);
    *tail = k.tail.sliced(skip);
    *start = k.start + skip;
    *size = k.size;
    return true;
}

QByteArray readTail(const QString& file, qint64 bytes, qint64* start, qint64* size, KeptTails* kept)
{
    if (QByteArray tail; kept && kept->take(file, bytes, &tail, start, size))
        return tail;
    safefile::settle(file);
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw CorruptFile(file);
    *size = f.size();
    *start = std::max<qint64>(0, *size - bytes);
    if (!f.seek(*start))
        throw CorruptFile(file);
    QByteArray tail = f.read(*size - *start);
    if (f.error() != QFileDevice::NoError)
        throw CorruptFile(file);
    return tail;
}

bool WriteFailed::folderWide() const { return safefile::folderWide(error_); }

void rewrite(const QString& file, const QByteArray& content)
{
    QString reason;
    int error = 0;
    if (!safefile::replace(file, content, &reason, &error))
        throw WriteFailed(file, reason, error);
}

void append(const QString& file, const QByteArray& bytes)
{
    safefile::settle(file);
    const QByteArray name = QFile::encodeName(file);
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        throw FileError::fromErrno(errno, QStringLiteral("Cannot open for appending"), file);
    struct stat before {};
    const off_t oldSize = ::fstat(fd, &before) == 0 ? before.st_size : -1;
    if (const int error = safefile::writeAll(fd, bytes); error != 0) {
        // Take back what part of it went in: a torn last line would end up
        // in front of the next day's.
        if (oldSize == 0)
            ::unlink(name.constData());
        else if (oldSize > 0)
            (void)!::ftruncate(fd, oldSize);
        ::close(fd);
        throw FileError::fromErrno(error, QStringLiteral("Cannot append to"), file);
    }
    if (::close(fd) != 0 && errno != EINTR)
        throw FileError::fromErrno(errno, QStringLiteral("Cannot append to"), file);
}

QVector<QByteArrayView> splitLines(QByteArrayView text)
{
    QVector<QByteArrayView> lines;
    qsizetype begin = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(text.sliced(begin, i - begin));
        if (c == '\r' && i + 1 < n && text[i + 1] == '\n')
            ++i;
        begin = i + 1;
    }
    if (begin < n)
        lines.append(text.sliced(begin));
    return lines;
}

bool isBlank(QByteArrayView line)
{
    for (char c : line) {
        if (c != ' ' && c != '\t')
            return false;
    }
    return true;
}

bool endsWithLineBreak(QByteArrayView text) { return !text.isEmpty() && (text.back() == '\n' || text.back() == '\r'); }

}  // namespace textio
