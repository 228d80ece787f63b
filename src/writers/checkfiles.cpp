#include "writers/checkfiles.h"

#include "writers/codecs/kbf/kbfwriter.h"
#include "writers/codecs/text/textformats.h"
#include "writers/textio.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace checkfiles {
namespace {

using Places = std::array<StoredFile::Place, 5>;

// A field of a line without the blanks around it.
QByteArrayView trimmed(QByteArrayView field, qsizetype* lead)
{
    qsizetype first = 0, last = field.size();
    while (first < last && (field[first] == ' ' || field[first] == '\t'))
        ++first;
    while (last > first && (field[last - 1] == ' ' || field[last - 1] == '\t'))
        --last;
    *lead = first;
    return field.sliced(first, last - first);
}

bool isNumber(QByteArrayView text)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.isEmpty() && ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

// A few characters of a line for a message, controls shown as "?".
QString shown(QByteArrayView line)
{
    constexpr qsizetype kShown = 40;
    QString text;
    for (qsizetype i = 0; i < std::min(line.size(), kShown); ++i) {
        const auto u = static_cast<unsigned char>(line[i]);
        text += u < 0x20 || u == 0x7f ? QLatin1Char('?') : QLatin1Char(line[i]);
    }
    if (line.size() > kShown)
        text += QStringLiteral("...");
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The text of a file without the end-of-file marks (^Z) some programs put
// after the last line.
QByteArrayView textPart(const QByteArray& content)
{
    qsizetype n = content.size();
    while (n > 0 && content[n - 1] == '\x1a')
        --n;
    return QByteArrayView(content.constData(), n);
}

// No control byte but tab and line breaks: text, not records.
bool isText(QByteArrayView text)
{
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\r' && c != '\n' && c != '\t') || u == 0x7f;
    });
}

enum class LineKind { Blank, Header, Day, Unreadable };

struct Line {
    LineKind kind = LineKind::Blank;
    Quote day;
    Places places;  // from the start of the line
    qsizetype baseEnd = -1;
    QString why;
};

// One line of a text file in layout `letter`: a day whose open, high, low,
// close and volume are numbers, a header ("<..."), a blank line, or a line
// that cannot be read.
Line readLine(QByteArrayView line, QChar letter)
{
    Line out;
    if (textio::isBlank(line))
        return out;
    const auto date = textLayout(letter)->lineDate(line);
    if (date && *date == 0) {
        out.kind = LineKind::Header;
        return out;
    }
    out.kind = LineKind::Unreadable;
    if (!date) {
        out.why = QStringLiteral("no date where the layout has one: ") + shown(line);
        return out;
    }
    qsizetype at = pricesStart(line, letter, &out.baseEnd);
    QString* texts[5] = {&out.day.open, &out.day.high, &out.day.low, &out.day.close, &out.day.volume};
    for (int k = 0; k < 5; ++k) {
        if (at < 0 || at > line.size()) {
            out.why = QStringLiteral("fewer than five numbers after the date: ") + shown(line);
            return out;
        }
        qsizetype end = line.indexOf(',', at);
        if (end < 0)
            end = line.size();
        qsizetype lead = 0;
        const QByteArrayView field = trimmed(line.sliced(at, end - at), &lead);
        if (!isNumber(field)) {
            out.why = QStringLiteral("not a number: ") + shown(field) + QStringLiteral(" in ") + shown(line);
            return out;
        }
        *texts[k] = QString::fromLatin1(field);
        out.places[k] = {at + lead, field.size()};
        at = end + 1;
    }
    out.day.date = *date;
    out.kind = LineKind::Day;
    return out;
}

// The date of a record as its writer encodes it: a real day whose year and
// day bytes are the ones that day gives.
std::optional<qint32> recordDate(const char* rec)
{
    const qint32 date = KbfWriter::recordDate(rec);
    const int y = date / 10000, m = date / 100 % 100, d = date % 100;
    if (!QDate(y, m, d).isValid())
        return std::nullopt;
    const auto yearByte = static_cast<unsigned char>(y % 100 + (m % 2 ? 128 : 0));
    const auto dayByte = static_cast<unsigned char>(d * 8 + m / 2);
    if (static_cast<unsigned char>(rec[0]) != yearByte || static_cast<unsigned char>(rec[1]) != dayByte)
        return std::nullopt;
    return date;
}

StoredFile parseKbf(const QByteArray& content)
{
    constexpr int kSize = KbfWriter::kRecordSize;
    StoredFile file;
    file.letter = QLatin1Char('K');
    const qsizetype n = content.size() / kSize;
    file.days.reserve(n);
    file.places.reserve(n);
    for (qsizetype r = 0; r < n; ++r) {
        const char* rec = content.constData() + r * kSize;
        const auto date = recordDate(rec);
        if (!date) {
            file.unreadable.append({static_cast<int>(r + 1), QStringLiteral("no valid date (bytes %1 %2)")
                                                                 .arg(static_cast<unsigned char>(rec[0]))
                                                                 .arg(static_cast<unsigned char>(rec[1]))});
            continue;
        }
        const auto* b = reinterpret_cast<const unsigned char*>(rec);
        Quote q;
        q.date = *date;
        q.high = integrity::priceText(KbfWriter::bytesPrice(b + 2));
        q.low = integrity::priceText(KbfWriter::bytesPrice(b + 5));
        q.close = integrity::priceText(KbfWriter::bytesPrice(b + 8));
        q.open = q.close;
        q.volume = QString::number(KbfWriter::recordVolume(rec));
        file.days.append(std::move(q));
        const qsizetype at = r * kSize;
        file.places.append(Places{{{-1, 0}, {at + 2, 3}, {at + 5, 3}, {at + 8, 3}, {at + 11, 3}}});
    }
    if (const qsizetype rest = content.size() % kSize)
        file.unreadable.append({static_cast<int>(n + 1),
                                QStringLiteral("%1 bytes at the end, not a whole record of %2").arg(rest).arg(kSize)});
    return file;
}

// Whole records of valid dates in ascending order.
bool kbfFits(const QByteArray& content)
{
    constexpr int kSize = KbfWriter::kRecordSize;
    if (content.isEmpty() || content.size() % kSize != 0)
        return false;
    qint32 previous = 0;
    for (qsizetype at = 0; at < content.size(); at += kSize) {
        const auto date = recordDate(content.constData() + at);
        if (!date || *date <= previous)
            return false;
        previous = *date;
    }
    return true;
}

bool anyDayReads(QByteArrayView text, QChar letter)
{
    const QVector<QByteArrayView> lines = textio::splitLines(text);
    return std::any_of(lines.cbegin(), lines.cend(),
                       [letter](QByteArrayView line) { return readLine(line, letter).kind == LineKind::Day; });
}

}  // namespace

std::optional<QChar> formatOf(const QByteArray& content, QString* why, bool* fits)
{
    QString letters;
    const QByteArrayView text = textPart(content);
    if (!isText(text) && kbfFits(content))
        letters += QLatin1Char('K');
    for (QChar letter : {QLatin1Char('C'), QLatin1Char('S'), QLatin1Char('D')}) {
        if (anyDayReads(text, letter))
            letters += letter;
    }
    if (fits)
        *fits = !letters.isEmpty();
    if (letters.size() == 1)
        return letters.front();
    if (why) {
        if (letters.isEmpty()) {
            *why = QStringLiteral("no quote file layout fits");
        } else {
            QStringList each;
            for (QChar l : letters)
                each << QString(l);
            *why = QStringLiteral("it reads as ") + each.join(QStringLiteral(" and as "));
        }
    }
    return std::nullopt;
}

std::optional<StoredFile> parse(const QByteArray& content, QChar letter)
{
    letter = letter.toUpper();
    if (letter == u'K')
        return parseKbf(content);
    if (!textLayout(letter))
        return std::nullopt;
    StoredFile file;
    file.letter = letter;
    const QVector<QByteArrayView> lines = textio::splitLines(textPart(content));
    file.days.reserve(lines.size());
    file.places.reserve(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        Line line = readLine(lines[i], letter);
        if (line.kind == LineKind::Unreadable) {
            file.unreadable.append({static_cast<int>(i + 1), line.why});
        } else if (line.kind == LineKind::Day) {
            if (file.base.isEmpty() && line.baseEnd >= 0)
                file.base = QString::fromLatin1(lines[i].first(line.baseEnd));
            const qsizetype start = lines[i].data() - content.constData();
            for (StoredFile::Place& p : line.places)
                p.at += start;
            file.days.append(std::move(line.day));
            file.places.append(line.places);
        }
    }
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
        const Line line = readLine(lines[i], letter);
        if (line.kind == LineKind::Day)
            return bars({line.day}).front();
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

QByteArray patched(const QByteArray& content, const StoredFile& file, const QVector<Quote>& changed)
{
    using integrity::number;
    struct Change {
        StoredFile::Place place;
        QByteArray bytes;
    };
    QVector<Change> changes;
    for (qsizetype i = 0; i < file.days.size() && i < changed.size(); ++i) {
        const Quote& was = file.days[i];
        const Quote& now = changed[i];
        const QString* before[5] = {&was.open, &was.high, &was.low, &was.close, &was.volume};
        const QString* after[5] = {&now.open, &now.high, &now.low, &now.close, &now.volume};
        const QByteArray record = file.letter == u'K' ? KbfWriter::record(now) : QByteArray();
        for (int k = 0; k < 5; ++k) {
            const StoredFile::Place place = file.places[i][k];
            if (place.at < 0 || number(*before[k]) == number(*after[k]))
                continue;
            QByteArray bytes;
            if (file.letter == u'K')
                bytes = record.sliced(place.at % KbfWriter::kRecordSize, place.size);
            else
                quotetext::appendPrice(bytes, *after[k], true);
            changes.append({place, bytes});
        }
    }
    std::sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) { return a.place.at < b.place.at; });
    QByteArray out;
    out.reserve(content.size() + 16 * changes.size());
    qsizetype from = 0;
    for (const Change& c : changes) {
        out += QByteArrayView(content).sliced(from, c.place.at - from);
        out += c.bytes;
        from = c.place.at + c.place.size;
    }
    out += QByteArrayView(content).sliced(from);
    return out;
}

QString backupName(const QString& path)
{
    const QString first = path + QStringLiteral(".bak");
    QString name = first;
    for (int n = 1; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = first + QLatin1Char('.') + QString::number(n);
    return name;
}

bool rewrite(const QString& path, const QByteArray& content, QString* backup, QString* error)
{
    const QString kept = backupName(path);
    if (!QFile::copy(path, kept)) {
        if (error)
            *error = QStringLiteral("cannot keep the old file as ") + kept;
        return false;
    }
    try {
        textio::rewrite(path, content);
    } catch (const textio::WriteFailed& e) {
        QFile::remove(kept);
        if (error)
            *error = QStringLiteral("cannot rewrite %1: %2").arg(path, e.reason());
        return false;
    } catch (const std::exception& e) {
        QFile::remove(kept);
        if (error) {
            const QString reason = QString::fromLocal8Bit(e.what());
            *error = QStringLiteral("cannot rewrite ") + path;
            if (!reason.isEmpty() && reason != path)
                *error += QStringLiteral(": ") + reason;
        }
        return false;
    }
    if (backup)
        *backup = kept;
    return true;
}

}  // namespace checkfiles
