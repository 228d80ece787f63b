#include "mslink/datafile.h"

#include "mslink/error.h"
#include "mslink/files.h"
#include "mslink/numbers.h"

#include <cmath>

namespace mslink::datafile {

namespace {

qint32 wholeNumber(float f) { return f > 0.0f && f < 2.0e9f ? static_cast<qint32>(std::lround(f)) : 0; }

QByteArray header(const Layout& layout, int records)
{
    QByteArray h(layout.recordSize(), '\0');
    putU16(h.data() + 2, static_cast<quint16>(records + 1));
    return h;
}

}  // namespace

QByteArray encodeRecord(const Layout& l, const Record& r)
{
    QByteArray b(l.recordSize(), '\0');
    char* p = b.data();
    auto put = [p](int field, float v) {
        if (field >= 0)
            putMbf(p + 4 * field, v);
    };
    put(l.date, static_cast<float>(toFileDate(r.date)));
    put(l.time, static_cast<float>(r.time));
    put(l.open, r.open);
    put(l.high, r.high);
    put(l.low, r.low);
    put(l.close, r.close);
    put(l.volume, r.volume);
    put(l.openInterest, r.openInterest);
    return b;
}

Record decodeRecord(const Layout& l, const char* p)
{
    auto get = [p](int field) { return field >= 0 ? getMbf(p + 4 * field) : 0.0f; };
    Record r;
    const qint32 date = wholeNumber(get(l.date));
    r.date = fromFileDate(date);
    r.time = wholeNumber(get(l.time));
    r.open = get(l.open);
    r.high = get(l.high);
    r.low = get(l.low);
    r.close = get(l.close);
    r.volume = get(l.volume);
    r.openInterest = get(l.openInterest);
    // A file without opens holds the close there for the readers of ours.
    if (l.open < 0)
        r.open = r.close;
    return r;
}

QByteArray encode(const Layout& layout, const std::vector<Record>& records)
{
    QByteArray out = header(layout, static_cast<int>(records.size()));
    out.reserve(layout.recordSize() * static_cast<qsizetype>(records.size() + 1));
    for (const Record& r : records)
        out += encodeRecord(layout, r);
    return out;
}

Shape shape(const QString& path, const Layout& layout)
{
    Shape s;
    const qint64 bytes = files::size(path);
    if (bytes < 0)
        return s;
    s.exists = true;
    const int size = layout.recordSize();
    const QByteArray h = files::readAt(path, 0, 4);
    s.counted = h.size() == 4 ? std::max(0, getU16(h.constData() + 2) - 1) : 0;
    s.held = bytes < size ? 0 : static_cast<int>(bytes / size - 1);
    s.trailing = bytes % size != 0;
    return s;
}

std::vector<Record> read(const QString& path, const Layout& layout)
{
    const QByteArray bytes = files::read(path);
    const int size = layout.recordSize();
    if (bytes.size() < 4)
        return {};
    const int counted = std::max(0, getU16(bytes.constData() + 2) - 1);
    const int held = static_cast<int>(bytes.size() / size) - 1;
    const int n = std::min(counted, held);
    std::vector<Record> out;
    out.reserve(static_cast<size_t>(std::max(0, n)));
    for (int i = 0; i < n; ++i)
        out.push_back(decodeRecord(layout, bytes.constData() + (i + 1) * size));
    return out;
}

bool ends(const QString& path, const Layout& layout, Record* first, Record* last)
{
    const Shape s = shape(path, layout);
    const int n = std::min(s.counted, s.held);
    if (n <= 0)
        return false;
    const int size = layout.recordSize();
    *first = decodeRecord(layout, files::readAt(path, size, size).constData());
    *last = decodeRecord(layout, files::readAt(path, static_cast<qint64>(n) * size, size).constData());
    return true;
}

void append(const QString& path, const Layout& layout, int counted, const std::vector<Record>& records)
{
    if (counted + static_cast<qsizetype>(records.size()) > kMaxRecords)
        throw Error(ErrorCode::Full, QStringLiteral("%1 would hold more than %2 records").arg(path).arg(kMaxRecords));
    QByteArray bytes;
    for (const Record& r : records)
        bytes += encodeRecord(layout, r);
    const int size = layout.recordSize();
    files::writeAt(path, static_cast<qint64>(counted + 1) * size, bytes);
    QByteArray count(2, '\0');
    putU16(count.data(), static_cast<quint16>(counted + static_cast<int>(records.size()) + 1));
    files::writeAt(path, 2, count);
}

int find(const QString& path, const Layout& layout, int counted, qint32 date, Record* found)
{
    const int size = layout.recordSize();
    const qint32 target = toFileDate(date);
    int lo = 0, hi = counted - 1;
    // The day looked for is most often the last one (a quote of today
    // asked again through the day): one read settles it.
    if (counted > 0) {
        const QByteArray b = files::readAt(path, static_cast<qint64>(counted) * size, size);
        if (b.size() < size)
            return -1;
        const qint32 d = wholeNumber(getMbf(b.constData() + 4 * layout.date));
        if (d == target) {
            if (found)
                *found = decodeRecord(layout, b.constData());
            return counted - 1;
        }
        if (d < target)
            return -1;
        hi = counted - 2;
    }
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const QByteArray b = files::readAt(path, static_cast<qint64>(mid + 1) * size, size);
        if (b.size() < size)
            return -1;
        const qint32 d = wholeNumber(getMbf(b.constData() + 4 * layout.date));
        if (d == target) {
            if (found)
                *found = decodeRecord(layout, b.constData());
            return mid;
        }
        if (d < target)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

void replaceAt(const QString& path, const Layout& layout, int index, const Record& record)
{
    files::writeAt(path, static_cast<qint64>(index + 1) * layout.recordSize(), encodeRecord(layout, record));
}

}  // namespace mslink::datafile
