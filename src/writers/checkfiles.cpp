#include "writers/checkfiles.h"

#include "writers/kbfwriter.h"
#include "writers/textformats.h"
#include "writers/textio.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace checkfiles {
namespace {

// The prices of a dated line: after the date (C, D) or after the date that
// follows ",D," (S). False when fewer than five fields follow.
bool parseLine(QByteArrayView line, QChar letter, qint32 date, Quote& q, QString* base)
{
    qsizetype baseEnd = -1;
    qsizetype at = pricesStart(line, letter, &baseEnd);
    if (at < 0)
        return false;
    if (base && baseEnd >= 0)
        *base = QString::fromLatin1(line.first(baseEnd));
    QString* fields[5] = {&q.open, &q.high, &q.low, &q.close, &q.volume};
    for (int k = 0; k < 5; ++k) {
        if (at > line.size())
            return false;
        qsizetype end = line.indexOf(',', at);
        if (end < 0)
            end = line.size();
        *fields[k] = QString::fromLatin1(line.sliced(at, end - at)).trimmed();
        at = end + 1;
    }
    q.date = date;
    return true;
}

std::optional<StoredFile> parseKbf(const QByteArray& content)
{
    if (content.size() % KbfWriter::kRecordSize != 0)
        return std::nullopt;
    StoredFile file;
    file.letter = QLatin1Char('K');
    const qsizetype n = content.size() / KbfWriter::kRecordSize;
    file.days.reserve(n);
    for (qsizetype r = 0; r < n; ++r) {
        const char* rec = content.constData() + r * KbfWriter::kRecordSize;
        const auto* b = reinterpret_cast<const unsigned char*>(rec);
        Quote q;
        q.date = KbfWriter::recordDate(rec);
        q.high = integrity::priceText(KbfWriter::bytesPrice(b + 2));
        q.low = integrity::priceText(KbfWriter::bytesPrice(b + 5));
        q.close = integrity::priceText(KbfWriter::bytesPrice(b + 8));
        q.open = q.close;
        q.volume = QString::number(KbfWriter::recordVolume(rec));
        file.days.append(std::move(q));
    }
    return file;
}

bool binary(const QByteArray& content)
{
    for (char c : content) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\r' && c != '\n' && c != '\t')
            return true;
    }
    return false;
}

}  // namespace

std::optional<QChar> formatOf(const QByteArray& content)
{
    if (!content.isEmpty() && content.size() % KbfWriter::kRecordSize == 0 &&
        binary(content.first(std::min<qsizetype>(content.size(), 1400))))
        return QLatin1Char('K');
    for (QByteArrayView line : textio::splitLines(content)) {
        if (textio::isBlank(line) || line.front() == '<')
            continue;
        for (QChar letter : {QLatin1Char('C'), QLatin1Char('S'), QLatin1Char('D')}) {
            const auto date = textLayout(letter)->lineDate(line);
            if (date && *date != 0)
                return letter;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<StoredFile> parse(const QByteArray& content, QChar letter)
{
    if (letter == u'K')
        return parseKbf(content);
    const TextQuoteWriter* layout = textLayout(letter);
    if (!layout)
        return std::nullopt;
    StoredFile file;
    file.letter = letter;
    const QVector<QByteArrayView> lines = textio::splitLines(content);
    file.days.reserve(lines.size());
    for (QByteArrayView line : lines) {
        if (textio::isBlank(line))
            continue;
        const auto date = layout->lineDate(line);
        if (!date || *date == 0) {
            file.unreadLines += date ? 0 : 1;
            continue;
        }
        Quote q;
        if (parseLine(line, letter, *date, q, file.base.isEmpty() ? &file.base : nullptr))
            file.days.append(std::move(q));
        else
            ++file.unreadLines;
    }
    if (file.days.isEmpty() && file.unreadLines > 0)
        return std::nullopt;
    return file;
}

std::optional<StoredFile> read(const QString& path, QChar letter)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parse(f.readAll(), letter);
}

std::optional<integrity::Bar> lastDay(const QString& path, QChar letter)
{
    const TextQuoteWriter* layout = textLayout(letter);
    if (!layout || path.isEmpty())
        return std::nullopt;
    // Once per quote of a run, beside the writers' own reads: the fewest
    // system calls (a missing file is only a failed open).
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    // As much as the file's writer reads first: it takes this read over.
    char buffer[4096];
    struct stat info {};
    qint64 start = 0;
    ssize_t got = -1;
    if (::fstat(fd, &info) == 0) {
        start = std::max<qint64>(0, info.st_size - static_cast<qint64>(sizeof buffer));
        got = ::pread(fd, buffer, sizeof buffer, start);
    }
    ::close(fd);
    if (got <= 0)
        return std::nullopt;
    textio::keepTail(path, QByteArray(buffer, got), start, start + got);
    // Only the last few lines are looked at.
    const qsizetype from = std::max<qsizetype>(0, got - 512);
    QVector<QByteArrayView> lines = textio::splitLines(QByteArrayView(buffer + from, got - from));
    if ((start > 0 || from > 0) && !lines.isEmpty())
        lines.removeFirst();  // may begin in the middle of a line
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const auto date = layout->lineDate(lines[i]);
        Quote q;
        if (date && *date != 0 && parseLine(lines[i], letter, *date, q, nullptr))
            return bars({q}).front();
    }
    return std::nullopt;
}

QVector<integrity::Bar> bars(const QVector<Quote>& days)
{
    using integrity::number;
    QVector<integrity::Bar> out;
    out.reserve(days.size());
    for (const Quote& q : days)
        out.append({q.date, number(q.open), number(q.high), number(q.low), number(q.close), number(q.volume)});
    return out;
}

QByteArray content(const StoredFile& file)
{
    QByteArray out;
    if (file.letter == u'K') {
        for (const Quote& q : file.days)
            out += KbfWriter::record(q);
        return out;
    }
    const TextQuoteWriter* layout = textLayout(file.letter);
    if (!layout)
        return out;
    out.reserve(file.days.size() * 48);
    for (const Quote& q : file.days) {
        layout->appendLine(out, file.base, q);
        out += textio::kCrLf;
    }
    return out;
}

bool rewrite(const QString& path, const StoredFile& file, QString* error)
{
    const QString backup = path + QStringLiteral(".bak");
    QFile::remove(backup);
    if (!QFile::copy(path, backup)) {
        if (error)
            *error = QStringLiteral("cannot keep the old file as ") + backup;
        return false;
    }
    try {
        textio::rewrite(path, content(file));
    } catch (const textio::CorruptFile&) {
        if (error)
            *error = QStringLiteral("cannot rewrite ") + path;
        return false;
    }
    return true;
}

}  // namespace checkfiles
