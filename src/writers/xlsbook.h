#pragma once

#include "writers/cfbfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QTemporaryFile>
#include <QVector>
#include <memory>
#include <vector>

// One cell of a worksheet row: nothing, a text or a number.
struct XlsCell {
    enum class Kind { Empty, Text, Number };
    Kind kind = Kind::Empty;
    QString text;
    double number = 0;

    static XlsCell ofText(const QString& text) { return {Kind::Text, text, 0}; }
    static XlsCell ofNumber(double value) { return {Kind::Number, {}, value}; }
};

// An Excel 97 (BIFF8) workbook built in memory, row after row, and written
// whole as an OLE2 compound file. A sheet holds at most 65,536 rows; further
// rows go on to the next sheet, named with the same prefix and the next
// number ("Blad1", "Blad2", ...). Rows are encoded as they are added, so
// saving a large workbook again after a few more rows costs little more
// than writing its bytes. A full sheet's cells move to a temporary file of
// the book's own, so a run of millions of rows keeps one sheet in memory.
class XlsBook {
public:
    static constexpr int kRowsPerSheet = 65536;
    static constexpr int kMaxColumns = 256;
    // Longest text a cell takes; longer ones are cut.
    static constexpr int kMaxText = 32767;

    explicit XlsBook(const QString& sheetPrefix = QStringLiteral("Blad"));

    // Appends a row; cells past kMaxColumns are dropped, empty texts make
    // no cell.
    void addRow(const QVector<XlsCell>& cells);

    int rows() const { return rows_; }
    int sheets() const { return static_cast<int>(sheets_.size()); }
    QString sheetName(int index) const;
    // Grows with every added row; tells a saved state from a newer one.
    quint64 version() const { return version_; }

    // The Workbook stream: globals, then every sheet.
    QByteArray stream() const;

    // Writes the compound file to `path` through a temporary file that
    // replaces `path` only when complete. Throws FileError.
    void save(const QString& path) const;

private:
    struct Sheet {
        QByteArray cells;  // encoded cell records, row by row
        int rows = 0;
        int columns = 0;        // column after the last one used
        qint64 spilledAt = -1;  // where `cells` went in the spill file, -1: in memory
        qint64 spilledSize = 0;
        qint64 cellsSize() const { return spilledAt >= 0 ? spilledSize : cells.size(); }
    };
    struct StringPos {
        quint32 blobOffset;    // start of the string inside sst_
        quint16 recordOffset;  // its offset inside its SST/CONTINUE record
    };

    quint32 stringIndex(const QString& text);
    void appendString(const QString& text);
    void startSstRecord(quint16 id);
    QByteArray globals(const std::vector<quint32>& sheetOffsets, quint32 sstStart) const;
    // The stream in pieces: `owned` keeps the pieces built for the call,
    // `views` lists every piece in stream order.
    void parts(std::vector<QByteArray>& owned, std::vector<cfb::Part>& views) const;
    // Moves the cells of a full sheet to the spill file; they stay in
    // memory when it cannot be written.
    void spill(Sheet& sheet);
    QByteArray sheetHead(int index) const;
    static QByteArray sheetTail(int index);
    int globalsSize() const;

    QString prefix_;
    std::vector<Sheet> sheets_;
    std::shared_ptr<QTemporaryFile> spill_;  // made at the first full sheet
    int rows_ = 0;
    quint64 version_ = 0;

    // Shared string table, encoded as it grows: the SST record and its
    // CONTINUE records, the SST's counts patched in when written.
    QHash<QString, quint32> index_;
    std::vector<StringPos> positions_;
    QByteArray sst_;
    int recordStart_ = 0;  // offset of the current record's header in sst_
    quint32 references_ = 0;
};
