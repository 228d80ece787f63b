#include "writers/codecs/text/textcodec.h"

#include "writers/textio.h"

#include <QFile>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Places = std::array<checkfiles::StoredFile::Place, 5>;

constexpr qint64 kFirstTail = 2048;

QDate toDate(qint32 yyyymmdd) { return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100); }

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

// A field as the chart takes it: blanks around it (no tabs) allowed. `text`
// gets the number's text.
bool chartNumber(QByteArrayView field, double* value, QByteArrayView* text)
{
    const char* first = field.data();
    const char* last = first + field.size();
    while (first < last && *first == ' ')
        ++first;
    while (last > first && (last[-1] == ' ' || last[-1] == '\r'))
        --last;
    if (first == last)
        return false;
    // "nan" and "inf" parse as numbers, but no day has such a price: the
    // line is unreadable, never drawn.
    const auto [end, ec] = std::from_chars(first, last, *value);
    *text = QByteArrayView(first, last - first);
    return ec == std::errc() && end == last && std::isfinite(*value);
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

enum class LineKind { Blank, Header, Day, Unreadable };

struct Line {
    LineKind kind = LineKind::Blank;
    Quote day;
    Places places;  // from the start of the line
    qsizetype baseEnd = -1;
    QString why;
};

// One line of a text file in `layout`: a day whose open, high, low, close
// and volume are numbers, a header ("<..."), a blank line, or a line that
// cannot be read.
Line readLine(QByteArrayView line, const TextQuoteWriter& layout)
{
    Line out;
    if (textio::isBlank(line))
        return out;
    const auto date = layout.lineDate(line);
    if (date && *date == 0) {
        out.kind = LineKind::Header;
        return out;
    }
    out.kind = LineKind::Unreadable;
    if (!date) {
        out.why = QStringLiteral("no date where the layout has one: ") + shown(line);
        return out;
    }
    qsizetype at = layout.pricesStart(line, &out.baseEnd);
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

// Open, high, low, close and volume as the chart reads them: the five
// fields from `from`.
bool chartPrices(QByteArrayView line, qsizetype from, double* values, QByteArrayView* texts)
{
    qsizetype at = from;
    for (int i = 0; i < 5; ++i) {
        if (at > line.size())
            return false;
        qsizetype comma = line.indexOf(',', at);
        if (comma < 0)
            comma = line.size();
        if (!chartNumber(line.sliced(at, comma - at), &values[i], &texts[i]))
            return false;
        at = comma + 1;
    }
    return true;
}

// The days of a file's content as the chart reads them, the last line of
// each date kept, ascending: `day(date, values, texts)` makes one.
template <class Day, class MakeDay>
QVector<Day> chartDays(const QByteArray& content, const TextQuoteWriter& layout, int* skipped, MakeDay day)
{
    std::map<qint32, Day> byDate;
    double values[5];
    QByteArrayView texts[5];
    for (QByteArrayView line : textio::splitLines(content)) {
        if (textio::isBlank(line))
            continue;
        const std::optional<qint32> date = layout.lineDate(line);
        if (date && *date == 0)
            continue;  // a header line
        const qsizetype from = layout.pricesStart(line);
        if (!date || !toDate(*date).isValid() || from < 0 || !chartPrices(line, from, values, texts)) {
            ++*skipped;
            continue;
        }
        byDate[*date] = day(*date, values, texts);
    }
    QVector<Day> out;
    out.reserve(static_cast<qsizetype>(byDate.size()));
    for (auto& [date, d] : byDate)
        out.append(std::move(d));
    return out;
}

}  // namespace

std::unique_ptr<StoredLookup> TextCodec::lookup(Database&, const ExportFormat&) const
{
    return std::make_unique<SymbolFileLookup>(*this, letter_);
}

StoredBars TextCodec::readFile(const QString& path) const
{
    StoredBars out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    out.days = chartDays<core::Bar>(
        f.readAll(), layout_, &out.skipped, [](qint32 date, const double* values, const QByteArrayView* texts) {
            core::Bar bar;
            bar.date = date;
            core::Figure* figures[5] = {&bar.open, &bar.high, &bar.low, &bar.close, &bar.volume};
            for (int i = 0; i < 5; ++i)
                *figures[i] = core::Figure(QString::fromLatin1(texts[i]), values[i]);
            return bar;
        });
    return out;
}

storedfiles::Series TextCodec::readSeries(const QString& path) const
{
    storedfiles::Series out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    out.days = chartDays<storedfiles::Day>(f.readAll(), layout_, &out.skipped,
                                           [](qint32 date, const double* v, const QByteArrayView*) {
                                               return storedfiles::Day{toDate(date), v[0], v[1], v[2], v[3], v[4]};
                                           });
    return out;
}

QDate TextCodec::lastDate(const QString& path) const
{
    if (!QFile::exists(path))
        return {};
    try {
        for (qint64 want = kFirstTail;; want *= 8) {
            qint64 start = 0, size = 0;
            const QByteArray tail = textio::readTail(path, want, &start, &size);
            QVector<QByteArrayView> lines = textio::splitLines(tail);
            if (start > 0 && !lines.isEmpty())
                lines.removeFirst();  // may begin in the middle of a line
            for (qsizetype i = lines.size() - 1; i >= 0; --i) {
                const std::optional<qint32> date = layout_.lineDate(lines[i]);
                if (date && *date > 0)
                    return toDate(*date);
            }
            if (start == 0)
                return {};
        }
    } catch (const textio::CorruptFile&) {
        return {};
    }
}

std::optional<checkfiles::StoredFile> TextCodec::parse(const QByteArray& content) const
{
    checkfiles::StoredFile file;
    file.letter = letter_;
    const QVector<QByteArrayView> lines = textio::splitLines(codecs::textPart(content));
    file.days.reserve(lines.size());
    file.places.reserve(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        Line line = readLine(lines[i], layout_);
        if (line.kind == LineKind::Unreadable) {
            file.unreadable.append({static_cast<int>(i + 1), line.why});
        } else if (line.kind == LineKind::Day) {
            if (file.base.isEmpty() && line.baseEnd >= 0)
                file.base = QString::fromLatin1(lines[i].first(line.baseEnd));
            const qsizetype start = lines[i].data() - content.constData();
            for (checkfiles::StoredFile::Place& p : line.places)
                p.at += start;
            file.days.append(std::move(line.day));
            file.places.append(line.places);
        }
    }
    return file;
}

bool TextCodec::isOwnContent(const QByteArray& content) const
{
    const QVector<QByteArrayView> lines = textio::splitLines(codecs::textPart(content));
    return std::any_of(lines.cbegin(), lines.cend(),
                       [this](QByteArrayView line) { return readLine(line, layout_).kind == LineKind::Day; });
}

QByteArray TextCodec::fieldBytes(const Quote& now, int field, checkfiles::StoredFile::Place) const
{
    const QString* after[5] = {&now.open, &now.high, &now.low, &now.close, &now.volume};
    QByteArray bytes;
    quotetext::appendPrice(bytes, *after[field], true);
    return bytes;
}

std::optional<integrity::Bar> TextCodec::lastDay(const QString& path, textio::KeptTails* kept) const
{
    if (path.isEmpty())
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
    if (kept)
        kept->keep(path, QByteArray(buffer, got), start, start + got);
    // Only the last few lines are looked at.
    const qsizetype from = std::max<qsizetype>(0, got - 512);
    QVector<QByteArrayView> lines = textio::splitLines(QByteArrayView(buffer + from, got - from));
    if ((start > 0 || from > 0) && !lines.isEmpty())
        lines.removeFirst();  // may begin in the middle of a line
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const Line line = readLine(lines[i], layout_);
        if (line.kind == LineKind::Day)
            return checkfiles::bars({line.day}).front();
    }
    return std::nullopt;
}
