#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>
#include <vector>

// An OLE2 compound file (version 3, 512-byte sectors) holding one stream,
// written in one pass: header, the stream's sectors, the DIFAT sectors the
// FAT needs past 109 sectors, the FAT, and the directory.
namespace cfb {

constexpr int kSectorSize = 512;
// Smaller streams would belong in the mini stream, which many readers do not
// expect for a workbook: the stream is padded with zeros up to this size.
constexpr qint64 kMinStreamSize = 4096;

// Sector counts of a file whose stream has `streamSize` bytes (padding
// included).
struct Layout {
    quint32 streamSectors = 0;
    quint32 difatSectors = 0;
    quint32 fatSectors = 0;
};
Layout layoutFor(qint64 streamSize);

// A piece of the stream: bytes in memory, or `size` bytes of `source` from
// `offset` (copied in pieces, never read whole).
struct Part {
    QByteArrayView bytes;
    QIODevice* source = nullptr;
    qint64 offset = 0;
    qint64 size = 0;

    Part(QByteArrayView b) : bytes(b) {}  // NOLINT: bytes are the usual part
    Part(QIODevice* file, qint64 at, qint64 n) : source(file), offset(at), size(n) {}
    qint64 length() const { return source ? size : bytes.size(); }
};

// Writes the file; the stream is the concatenation of `parts`, named
// `streamName` (for instance "Workbook"). False when a write or the reading
// of a part failed.
bool write(QIODevice& out, const std::vector<Part>& parts, const QString& streamName);

}  // namespace cfb
