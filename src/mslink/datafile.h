#pragma once

#include "mslink/masters.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace mslink {

// One record of a security. Dates YYYYMMDD, times HHMMSS.
struct Record {
    qint32 date = 0;
    qint32 time = 0;
    float open = 0, high = 0, low = 0, close = 0, volume = 0, openInterest = 0;
};

// The data files F<n>.DAT and F<n>.MWD: a header as long as one record
// (u16 0, u16 records + 1), then the records, ascending by date.
namespace datafile {

QByteArray encodeRecord(const Layout& layout, const Record& r);
Record decodeRecord(const Layout& layout, const char* p);

// The whole file for `records`.
QByteArray encode(const Layout& layout, const std::vector<Record>& records);

// What the header counts and what the file holds.
struct Shape {
    int counted = 0;        // records the header counts
    int held = 0;           // whole records after the header
    bool trailing = false;  // bytes of a part record at the end
    bool exists = false;
};
Shape shape(const QString& path, const Layout& layout);

// The records the header counts (never more than the file holds).
std::vector<Record> read(const QString& path, const Layout& layout);

// The first and last record, or none for an empty file.
bool ends(const QString& path, const Layout& layout, Record* first, Record* last);

// Appends `records` after the `counted` ones: the records first, then the
// header count, each in one write.
void append(const QString& path, const Layout& layout, int counted, const std::vector<Record>& records);

// Writes `record` over record `index` (0-based) in place: one write, which
// a kill cannot cut in two.
void replaceAt(const QString& path, const Layout& layout, int index, const Record& record);

// The index of the record of `date` among `counted` ascending records, or -1.
int find(const QString& path, const Layout& layout, int counted, qint32 date, Record* found = nullptr);

}  // namespace datafile
}  // namespace mslink
