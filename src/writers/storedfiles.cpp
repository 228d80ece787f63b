#include "writers/storedfiles.h"

#include "database/foldermap.h"
#include "mslink/error.h"
#include "mslink/folder.h"
#include "support/paths.h"
#include "writers/codecs/kbf/kbfwriter.h"
#include "writers/codecs/text/textformats.h"
#include "writers/filenames.h"
#include "writers/metastockmap.h"
#include "writers/metastockrun.h"
#include "writers/symbolwriter.h"
#include "writers/textio.h"

#include <QFile>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace storedfiles {
namespace {

constexpr qint64 kFirstTail = 2048;

QDate toDate(qint32 yyyymmdd) { return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100); }

bool isKbf(QChar letter) { return letter.toUpper() == QLatin1Char('K'); }

bool parseNumber(QByteArrayView field, double* out)
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
    const auto [end, ec] = std::from_chars(first, last, *out);
    return ec == std::errc() && end == last && std::isfinite(*out);
}

// Open, high, low, close and volume: the five fields from `from`.
bool parsePrices(QByteArrayView line, qsizetype from, Day* day)
{
    double* targets[5] = {&day->open, &day->high, &day->low, &day->close, &day->volume};
    qsizetype at = from;
    for (int i = 0; i < 5; ++i) {
        if (at > line.size())
            return false;
        qsizetype comma = line.indexOf(',', at);
        if (comma < 0)
            comma = line.size();
        if (!parseNumber(line.sliced(at, comma - at), targets[i]))
            return false;
        at = comma + 1;
    }
    return true;
}

Series finish(std::map<qint32, Day>& byDate, Series series)
{
    series.days.reserve(static_cast<qsizetype>(byDate.size()));
    for (auto& [date, day] : byDate)
        series.days.append(day);
    return series;
}

Series readKbf(const QString& path)
{
    Series series;
    series.hasOpen = false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return series;
    const QByteArray content = f.readAll();
    std::map<qint32, Day> byDate;
    const qsizetype records = content.size() / KbfWriter::kRecordSize;
    series.skipped = content.size() % KbfWriter::kRecordSize != 0 ? 1 : 0;
    for (qsizetype r = 0; r < records; ++r) {
        const char* rec = content.constData() + r * KbfWriter::kRecordSize;
        const auto* b = reinterpret_cast<const unsigned char*>(rec);
        const QDate date = toDate(KbfWriter::recordDate(rec));
        if (!date.isValid()) {
            ++series.skipped;
            continue;
        }
        Day d;
        d.date = date;
        d.high = KbfWriter::bytesPrice(b + 2);
        d.low = KbfWriter::bytesPrice(b + 5);
        d.close = KbfWriter::bytesPrice(b + 8);
        d.open = d.close;
        d.volume = static_cast<double>(KbfWriter::recordVolume(rec));
        byDate[KbfWriter::recordDate(rec)] = d;
    }
    return finish(byDate, std::move(series));
}

QDate lastKbfDate(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = f.size() - f.size() % KbfWriter::kRecordSize;
    // A broken record at the end says nothing; the one before may.
    for (qint64 at = size - KbfWriter::kRecordSize; at >= 0 && at >= size - 4 * KbfWriter::kRecordSize;
         at -= KbfWriter::kRecordSize) {
        char rec[KbfWriter::kRecordSize];
        if (!f.seek(at) || f.read(rec, sizeof rec) != sizeof rec)
            return {};
        const QDate date = toDate(KbfWriter::recordDate(rec));
        if (date.isValid())
            return date;
    }
    return {};
}

}  // namespace

bool readable(QChar letter)
{
    const QChar l = letter.toUpper();
    return l == QLatin1Char('S') || l == QLatin1Char('D') || l == QLatin1Char('C') || l == QLatin1Char('K') ||
           l == QLatin1Char('M');
}

Series readDays(const QString& path, QChar letter)
{
    if (isKbf(letter))
        return readKbf(path);
    Series series;
    const TextQuoteWriter* layout = textLayout(letter);
    QFile f(path);
    if (!layout || !f.open(QIODevice::ReadOnly))
        return series;
    const QByteArray content = f.readAll();
    std::map<qint32, Day> byDate;
    for (QByteArrayView line : textio::splitLines(content)) {
        if (textio::isBlank(line))
            continue;
        const std::optional<qint32> date = layout->lineDate(line);
        if (date && *date == 0)
            continue;  // a header line
        Day d;
        const qsizetype from = pricesStart(line, letter);
        if (date)
            d.date = toDate(*date);
        if (!date || !d.date.isValid() || from < 0 || !parsePrices(line, from, &d)) {
            ++series.skipped;
            continue;
        }
        byDate[*date] = d;
    }
    return finish(byDate, std::move(series));
}

QDate lastDate(const QString& path, QChar letter)
{
    if (isKbf(letter))
        return lastKbfDate(path);
    const TextQuoteWriter* layout = textLayout(letter);
    if (!layout || !QFile::exists(path))
        return {};
    try {
        for (qint64 want = kFirstTail;; want *= 8) {
            qint64 start = 0, size = 0;
            const QByteArray tail = textio::readTail(path, want, &start, &size);
            QVector<QByteArrayView> lines = textio::splitLines(tail);
            if (start > 0 && !lines.isEmpty())
                lines.removeFirst();  // may begin in the middle of a line
            for (qsizetype i = lines.size() - 1; i >= 0; --i) {
                const std::optional<qint32> date = layout->lineDate(lines[i]);
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

QString symbolPath(QChar letter, const QString& ticker, const QString& name)
{
    return symbolFile(letter.toUpper(), ticker, filenames::reduceName(name)).path;
}

MetastockIndex::MetastockIndex(Database& db, const QString& root)
{
    if (root.isEmpty())
        return;
    for (const auto& [ticker, map] : foldermap::rows(db))
        mapped_.insert(ticker.toLower(), map);
    for (const QString& folder : metastockmap::collectFolders(root, true)) {
        if (!mslink::Folder::present(folder))
            continue;
        mslink::Folder f(folder);
        try {
            f.load();
        } catch (const mslink::Error&) {
            continue;  // a damaged folder shows its symbols as missing
        }
        const QString dir = paths::withTrailingSlash(folder);
        for (const mslink::Security& s : f.securities()) {
            const Entry entry{dir, s.dataFileName(), s.symbol, s.lastDate ? toDate(s.lastDate) : QDate()};
            byFile_.insert(dir + entry.dataFile, entry);
            const QString key = s.symbol.toLower();
            if (!bySymbol_.contains(key))
                bySymbol_.insert(key, entry);
        }
    }
}

const MetastockIndex::Entry* MetastockIndex::find(const QString& ticker) const
{
    const QString key = ticker.trimmed().toLower();
    const auto mapped = mapped_.constFind(key);
    if (mapped != mapped_.constEnd()) {
        const auto file = byFile_.constFind(*mapped);
        if (file != byFile_.constEnd())
            return &*file;
    }
    const auto symbol = bySymbol_.constFind(mslink::storableSymbol(ticker).toLower());
    return symbol == bySymbol_.constEnd() ? nullptr : &*symbol;
}

Series readMetastock(const MetastockIndex::Entry& entry)
{
    Series series;
    series.hasOpenInterest = true;
    try {
        mslink::Folder f(entry.folder);
        f.load();
        const int index = f.find(entry.symbol, entry.dataFile);
        if (index < 0)
            return series;
        std::map<qint32, Day> byDate;
        for (const mslink::Record& r : f.records(index)) {
            const QDate date = toDate(r.date);
            const bool finite = std::isfinite(r.open) && std::isfinite(r.high) && std::isfinite(r.low) &&
                                std::isfinite(r.close) && std::isfinite(r.volume) && std::isfinite(r.openInterest);
            if (!date.isValid() || !finite) {
                ++series.skipped;
                continue;
            }
            byDate[r.date] = Day{date, r.open, r.high, r.low, r.close, r.volume, r.openInterest};
        }
        return finish(byDate, std::move(series));
    } catch (const mslink::Error&) {
        return series;
    }
}

Series readSymbol(Database& db, QChar letter, const QString& ticker, const QString& name)
{
    if (letter.toUpper() == QLatin1Char('M')) {
        const MetastockIndex index(db, metastock::root());
        const MetastockIndex::Entry* entry = index.find(ticker);
        return entry ? readMetastock(*entry) : Series{};
    }
    const QString path = symbolPath(letter, ticker, name);
    return path.isEmpty() ? Series{} : readDays(path, letter);
}

}  // namespace storedfiles
