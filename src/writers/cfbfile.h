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

// Writes the file; the stream is the concatenation of `parts`, named
// `streamName` (for instance "Workbook"). False when a write failed.
bool write(QIODevice& out, const std::vector<QByteArrayView>& parts, const QString& streamName);

}  // namespace cfb
