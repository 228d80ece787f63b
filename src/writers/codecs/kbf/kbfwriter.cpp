#include "writers/codecs/kbf/kbfwriter.h"

#include "support/textconv.h"
#include "writers/filenames.h"
#include "writers/textio.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {
unsigned char byteOf(qint64 value) { return static_cast<unsigned char>(std::clamp<qint64>(value, 0, 255)); }

double number(const QString& text) { return textconv::val(quotetext::pointDecimal(text)); }

// The record of a quote's date and texts at `r` (kRecordSize bytes).
void recordAt(unsigned char* r, qint32 date, const QString& high, const QString& low, const QString& close,
              const QString& volumeText);

// The records of an existing file; throws CorruptFile when the file cannot
// be read or is not made of whole records.
QByteArray readRecords(const QString& file)
{
    QByteArray content = textio::readWhole(file);
    if (content.size() % KbfWriter::kRecordSize != 0)
        throw textio::CorruptFile(file);
    return content;
}

void checkSize(const QString& file)
{
    if (QFileInfo(file).size() % KbfWriter::kRecordSize != 0)
        throw textio::CorruptFile(file);
}
}  // namespace

double KbfWriter::bytesPrice(const unsigned char* bytes)
{
    const double cents = std::round(bytes[2] / 256.0 * 100);
    return bytes[0] + 256.0 * bytes[1] + cents / 100;
}

qint64 KbfWriter::recordVolume(const char* record)
{
    const auto* b = reinterpret_cast<const unsigned char*>(record);
    return b[13] + 256LL * b[11] + 65536LL * b[12];
}

void KbfWriter::priceBytes(double price, unsigned char* out)
{
    if (!std::isfinite(price) || price < 0)
        price = 0;
    const qint64 p = static_cast<qint64>(std::trunc(price));
    const qint64 cents = static_cast<qint64>((price - static_cast<double>(p)) * 100 + 0.5);
    const qint64 fraction = static_cast<qint64>(static_cast<double>(cents) / 100 * 256 + 0.5);
    out[0] = byteOf(p % 256);
    out[1] = byteOf(p / 256);
    out[2] = byteOf(fraction);
}

namespace {
void recordAt(unsigned char* r, qint32 date, const QString& high, const QString& low, const QString& close,
              const QString& volumeText)
{
    std::fill_n(r, KbfWriter::kRecordSize, 0);
    const int month = quotetext::month(date);
    const bool odd = month % 2 == 1;
    r[0] = byteOf(quotetext::year(date) % 100 + (odd ? 128 : 0));
    r[1] = month >= 1 && month <= 12 ? byteOf(quotetext::day(date) * 8 + month / 2) : 0;
    KbfWriter::priceBytes(number(high), r + 2);
    KbfWriter::priceBytes(number(low), r + 5);
    KbfWriter::priceBytes(number(close), r + 8);
    const double v = number(volumeText);
    const qint64 volume = std::isfinite(v) && v > 0 ? static_cast<qint64>(std::llround(std::min(v, 9.0e15))) : 0;
    r[11] = byteOf(volume % 65536 / 256);
    r[12] = byteOf(volume / 65536);
    r[13] = byteOf(volume % 256);
}
}  // namespace

QByteArray KbfWriter::record(const Quote& q)
{
    unsigned char r[kRecordSize];
    recordAt(r, q.date, q.high, q.low, q.close, q.volume);
    return QByteArray(reinterpret_cast<const char*>(r), kRecordSize);
}

qint32 KbfWriter::recordDate(const char* record)
{
    int yearByte = static_cast<unsigned char>(record[0]);
    const bool odd = yearByte >= 128;
    if (odd)
        yearByte -= 128;
    const int year = yearByte < 50 ? 2000 + yearByte : 1900 + yearByte;
    const int dayByte = static_cast<unsigned char>(record[1]);
    const int m = dayByte % 8;
    const int month = m == 0 ? 1 : 2 * m + (odd ? 1 : 0);
    return year * 10000 + month * 100 + dayByte / 8;
}

void KbfWriter::write(const SymbolFile& file, const Quote& quote)
{
    const QByteArray rec = record(quote);
    if (!filenames::filePresent(file.path)) {
        textio::append(file.path, rec);
        return;
    }
    checkSize(file.path);
    qint64 start = 0, size = 0;
    const QByteArray last = textio::readTail(file.path, kRecordSize, &start, &size, kept_);
    if (last.size() == kRecordSize && size % kRecordSize == 0 && recordDate(last.constData()) < quote.date) {
        textio::append(file.path, rec);
        return;
    }
    QByteArray records = readRecords(file.path);
    const qsizetype n = records.size() / kRecordSize;
    for (qsizetype r = n - 1; r >= 0; --r) {
        const qint32 date = recordDate(records.constData() + r * kRecordSize);
        if (date == quote.date) {
            records.replace(r * kRecordSize, kRecordSize, rec);
            textio::rewrite(file.path, records);
            return;
        }
        if (date < quote.date) {
            records.insert((r + 1) * kRecordSize, rec);
            textio::rewrite(file.path, records);
            return;
        }
    }
    records.prepend(rec);
    textio::rewrite(file.path, records);
}

void KbfWriter::writeDays(const SymbolFile& file, const Quote& block, const QVector<core::Bar>& days)
{
    // A new file of days in order is the days' records as they come.
    if (!filenames::filePresent(file.path) &&
        std::adjacent_find(days.cbegin(), days.cend(),
                           [](const core::Bar& a, const core::Bar& b) { return a.date >= b.date; }) == days.cend()) {
        QByteArray out(days.size() * kRecordSize, Qt::Uninitialized);
        auto* r = reinterpret_cast<unsigned char*>(out.data());
        for (const core::Bar& d : days) {
            recordAt(r, d.date, d.high.text, d.low.text, d.close.text, d.volume.text);
            r += kRecordSize;
        }
        textio::rewrite(file.path, out);
        return;
    }
    SymbolFileWriter::writeDays(file, block, days);
}

void KbfWriter::writeBlock(const SymbolFile& file, const QVector<Quote>& quotes)
{
    // Existing records first, then the new ones; a stable sort by date keeps
    // that order within a date, so the last record of each date is kept.
    struct Entry {
        qint32 date;
        std::array<char, kRecordSize> bytes;
    };
    std::vector<Entry> entries;
    QByteArray existing;
    if (filenames::filePresent(file.path))
        existing = readRecords(file.path);
    entries.reserve(static_cast<size_t>(existing.size() / kRecordSize + quotes.size()));
    auto add = [&entries](qint32 date, const char* bytes) {
        Entry e{date, {}};
        std::copy_n(bytes, kRecordSize, e.bytes.begin());
        entries.push_back(e);
    };
    for (qsizetype at = 0; at + kRecordSize <= existing.size(); at += kRecordSize)
        add(recordDate(existing.constData() + at), existing.constData() + at);
    for (const Quote& q : quotes)
        add(q.date, record(q).constData());
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.date < b.date; });
    QByteArray out;
    out.reserve(static_cast<qsizetype>(entries.size()) * kRecordSize);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i + 1 < entries.size() && entries[i + 1].date == entries[i].date)
            continue;
        out.append(entries[i].bytes.data(), kRecordSize);
    }
    textio::rewrite(file.path, out);
}
