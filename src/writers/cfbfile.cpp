#include "writers/cfbfile.h"

#include <QtEndian>
#include <algorithm>

namespace cfb {

namespace {
constexpr quint32 kFree = 0xFFFFFFFF;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFatSector = 0xFFFFFFFD;
constexpr quint32 kDifatSector = 0xFFFFFFFC;
constexpr quint32 kNoStream = 0xFFFFFFFF;
constexpr int kEntriesPerSector = kSectorSize / 4;  // 128 FAT entries
constexpr int kHeaderDifat = 109;
constexpr int kDifatPerSector = kEntriesPerSector - 1;  // the last one links on

quint32 ceilDiv(qint64 a, qint64 b) { return static_cast<quint32>((a + b - 1) / b); }

void put16(QByteArray& b, int at, quint16 v) { qToLittleEndian(v, b.data() + at); }

void put32(QByteArray& b, int at, quint32 v) { qToLittleEndian(v, b.data() + at); }

QByteArray directoryEntry(const QString& name, quint8 type, quint32 child, quint32 start, quint32 size)
{
    QByteArray e(128, '\0');
    if (type != 0) {
        for (int i = 0; i < name.size() && i < 31; ++i)
            put16(e, i * 2, name.at(i).unicode());
        put16(e, 64, static_cast<quint16>((std::min<int>(static_cast<int>(name.size()), 31) + 1) * 2));
        e[66] = static_cast<char>(type);
        e[67] = 1;  // black
    }
    put32(e, 68, kNoStream);  // left sibling
    put32(e, 72, kNoStream);  // right sibling
    put32(e, 76, child);
    put32(e, 116, start);
    put32(e, 120, size);
    return e;
}
}  // namespace

Layout layoutFor(qint64 streamSize)
{
    Layout l;
    l.streamSectors = ceilDiv(std::max(streamSize, kMinStreamSize), kSectorSize);
    // The FAT maps itself and the DIFAT: grow both until they cover every
    // sector, directory included.
    for (;;) {
        const quint32 total = l.streamSectors + l.difatSectors + l.fatSectors + 1;
        const quint32 fat = ceilDiv(total, kEntriesPerSector);
        const quint32 difat = fat > kHeaderDifat ? ceilDiv(fat - kHeaderDifat, kDifatPerSector) : 0;
        if (fat == l.fatSectors && difat == l.difatSectors)
            return l;
        l.fatSectors = fat;
        l.difatSectors = difat;
    }
}

bool write(QIODevice& out, const std::vector<Part>& parts, const QString& streamName)
{
    qint64 size = 0;
    for (const Part& p : parts)
        size += p.length();
    const qint64 padded = std::max(size, kMinStreamSize);
    const Layout l = layoutFor(padded);
    const quint32 firstDifat = l.streamSectors;
    const quint32 firstFat = firstDifat + l.difatSectors;
    const quint32 directory = firstFat + l.fatSectors;

    QByteArray header(kSectorSize, '\0');
    static const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(signature, signature + 8, header.data());
    put16(header, 24, 0x003E);  // minor version
    put16(header, 26, 3);       // major version
    put16(header, 28, 0xFFFE);  // byte order
    put16(header, 30, 9);       // sector shift
    put16(header, 32, 6);       // mini-sector shift
    put32(header, 44, l.fatSectors);
    put32(header, 48, directory);
    put32(header, 56, 0x1000);  // mini-stream cutoff
    put32(header, 60, kEndOfChain);
    put32(header, 64, 0);
    put32(header, 68, l.difatSectors ? firstDifat : kEndOfChain);
    put32(header, 72, l.difatSectors);
    for (int i = 0; i < kHeaderDifat; ++i)
        put32(header, 76 + 4 * i, i < static_cast<int>(l.fatSectors) ? firstFat + i : kFree);

    QByteArray difat(static_cast<int>(l.difatSectors) * kSectorSize, '\xFF');
    for (quint32 d = 0; d < l.difatSectors; ++d) {
        const int base = static_cast<int>(d) * kSectorSize;
        for (int i = 0; i < kDifatPerSector; ++i) {
            const quint32 fatIndex = kHeaderDifat + d * kDifatPerSector + i;
            if (fatIndex < l.fatSectors)
                put32(difat, base + 4 * i, firstFat + fatIndex);
        }
        put32(difat, base + 4 * kDifatPerSector, d + 1 < l.difatSectors ? firstDifat + d + 1 : kEndOfChain);
    }

    QByteArray fat(static_cast<int>(l.fatSectors) * kSectorSize, '\xFF');
    for (quint32 s = 0; s < l.streamSectors; ++s)
        put32(fat, static_cast<int>(s) * 4, s + 1 < l.streamSectors ? s + 1 : kEndOfChain);
    for (quint32 s = firstDifat; s < firstFat; ++s)
        put32(fat, static_cast<int>(s) * 4, kDifatSector);
    for (quint32 s = firstFat; s < directory; ++s)
        put32(fat, static_cast<int>(s) * 4, kFatSector);
    put32(fat, static_cast<int>(directory) * 4, kEndOfChain);

    QByteArray dir = directoryEntry(QStringLiteral("Root Entry"), 5, 1, kEndOfChain, 0);
    dir += directoryEntry(streamName, 2, kNoStream, 0, static_cast<quint32>(padded));
    dir += directoryEntry({}, 0, kNoStream, 0, 0);
    dir += directoryEntry({}, 0, kNoStream, 0, 0);

    auto put = [&out](QByteArrayView bytes) {
        return bytes.isEmpty() || out.write(bytes.data(), bytes.size()) == bytes.size();
    };
    auto copy = [&put](const Part& p) {
        if (!p.source->seek(p.offset))
            return false;
        QByteArray chunk;
        for (qint64 left = p.size; left > 0;) {
            chunk = p.source->read(std::min<qint64>(left, 1 << 20));
            if (chunk.isEmpty() || !put(chunk))
                return false;
            left -= chunk.size();
        }
        return true;
    };
    bool ok = put(header);
    for (const Part& p : parts)
        ok = ok && (p.source ? copy(p) : put(p.bytes));
    const qint64 fill = static_cast<qint64>(l.streamSectors) * kSectorSize - size;
    ok = ok && put(QByteArray(static_cast<int>(fill), '\0'));
    return ok && put(difat) && put(fat) && put(dir);
}

}  // namespace cfb
