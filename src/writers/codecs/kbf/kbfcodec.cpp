#include "writers/codecs/kbf/kbfcodec.h"

#include "writers/codecs/kbf/kbfwriter.h"

#include <QFile>
#include <map>

namespace {

constexpr int kSize = KbfWriter::kRecordSize;

QDate toDate(qint32 yyyymmdd) { return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100); }

// The date of a record as its writer encodes it: a real day whose year and
// day bytes are the ones that day gives.
std::optional<qint32> strictDate(const char* rec)
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

}  // namespace

std::unique_ptr<StoredLookup> KbfCodec::lookup(Database&, const ExportFormat&) const
{
    return std::make_unique<SymbolFileLookup>(*this, letter_);
}

namespace {

// The records of a file as `day(date, record)` makes them, the last of each
// date kept, ascending; `skipped` counts the records without a valid date
// and a broken record at the end.
template <class Day, class MakeDay>
QVector<Day> kbfDays(const QString& path, int* skipped, MakeDay day)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray content = f.readAll();
    std::map<qint32, Day> byDate;
    const qsizetype records = content.size() / kSize;
    *skipped = content.size() % kSize != 0 ? 1 : 0;
    for (qsizetype r = 0; r < records; ++r) {
        const char* rec = content.constData() + r * kSize;
        const qint32 date = KbfWriter::recordDate(rec);
        if (!toDate(date).isValid()) {
            ++*skipped;
            continue;
        }
        byDate[date] = day(date, rec);
    }
    QVector<Day> out;
    out.reserve(static_cast<qsizetype>(byDate.size()));
    for (auto& [date, d] : byDate)
        out.append(std::move(d));
    return out;
}

}  // namespace

StoredBars KbfCodec::readFile(const QString& path) const
{
    StoredBars out;
    out.hasOpen = false;
    out.days = kbfDays<core::Bar>(path, &out.skipped, [](qint32 date, const char* rec) {
        const auto* b = reinterpret_cast<const unsigned char*>(rec);
        core::Bar bar;
        bar.date = date;
        bar.high = core::Figure::of(KbfWriter::bytesPrice(b + 2));
        bar.low = core::Figure::of(KbfWriter::bytesPrice(b + 5));
        bar.close = core::Figure::of(KbfWriter::bytesPrice(b + 8));
        bar.open = bar.close;
        bar.volume = core::Figure::of(static_cast<double>(KbfWriter::recordVolume(rec)));
        return bar;
    });
    return out;
}

storedfiles::Series KbfCodec::readSeries(const QString& path) const
{
    storedfiles::Series out;
    out.hasOpen = false;
    out.days = kbfDays<storedfiles::Day>(path, &out.skipped, [](qint32 date, const char* rec) {
        const auto* b = reinterpret_cast<const unsigned char*>(rec);
        storedfiles::Day d;
        d.date = toDate(date);
        d.high = KbfWriter::bytesPrice(b + 2);
        d.low = KbfWriter::bytesPrice(b + 5);
        d.close = KbfWriter::bytesPrice(b + 8);
        d.open = d.close;
        d.volume = static_cast<double>(KbfWriter::recordVolume(rec));
        return d;
    });
    return out;
}

QDate KbfCodec::lastDate(const QString& path) const
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = f.size() - f.size() % kSize;
    // A broken record at the end says nothing; the one before may.
    for (qint64 at = size - kSize; at >= 0 && at >= size - 4 * kSize; at -= kSize) {
        char rec[kSize];
        if (!f.seek(at) || f.read(rec, sizeof rec) != sizeof rec)
            return {};
        const QDate date = toDate(KbfWriter::recordDate(rec));
        if (date.isValid())
            return date;
    }
    return {};
}

std::optional<checkfiles::StoredFile> KbfCodec::parse(const QByteArray& content) const
{
    using Places = std::array<checkfiles::StoredFile::Place, 5>;
    checkfiles::StoredFile file;
    file.letter = letter_;
    const qsizetype n = content.size() / kSize;
    file.days.reserve(n);
    file.places.reserve(n);
    for (qsizetype r = 0; r < n; ++r) {
        const char* rec = content.constData() + r * kSize;
        const auto date = strictDate(rec);
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

bool KbfCodec::isOwnContent(const QByteArray& content) const
{
    if (codecs::isText(codecs::textPart(content)))
        return false;
    if (content.isEmpty() || content.size() % kSize != 0)
        return false;
    qint32 previous = 0;
    for (qsizetype at = 0; at < content.size(); at += kSize) {
        const auto date = strictDate(content.constData() + at);
        if (!date || *date <= previous)
            return false;
        previous = *date;
    }
    return true;
}

QByteArray KbfCodec::fieldBytes(const Quote& now, int, checkfiles::StoredFile::Place place) const
{
    return KbfWriter::record(now).sliced(place.at % kSize, place.size);
}
