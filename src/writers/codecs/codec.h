#pragma once

#include "core/bar.h"
#include "quotes/integrity.h"
#include "writers/checkfiles.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QVector>
#include <memory>
#include <optional>

namespace textio {
class KeptTails;
}

class Database;
struct ExportFormat;

// The days of one symbol as a format keeps them, read back.
struct StoredBars {
    QVector<core::Bar> days;  // ascending by date, one per date
    bool hasOpen = true;      // false: the open is the close
    bool hasOpenInterest = false;
    int skipped = 0;  // lines or records without a readable date or prices
};

// The days as status and the chart show them: numbers only.
namespace storedfiles {

struct Day {
    QDate date;
    double open = 0, high = 0, low = 0, close = 0, volume = 0;
    double openInterest = 0;  // 0 where the format has none
};

struct Series {
    QVector<Day> days;    // ascending by date, one per date
    bool hasOpen = true;  // KBF stores no open: open is the close there
    bool hasOpenInterest = false;
    int skipped = 0;  // lines or records without a readable date or prices
};

}  // namespace storedfiles

// What a listing (status, the chart) finds of one symbol in one format.
struct StoredSymbol {
    QString where;  // the file, or the folder and data file; empty when there is none
    storedfiles::Series series;
};

// The look-ups of one listing in one format: an index the format needs
// (MetaStock's master files) is read once when the lookup is made.
class StoredLookup {
public:
    virtual ~StoredLookup() = default;
    // The last stored day of a symbol; invalid when there is none.
    virtual QDate lastDate(const QString& ticker, const QString& name) const = 0;
    // Every stored day of a symbol.
    virtual StoredSymbol read(const QString& ticker, const QString& name) const = 0;
};

// Reading back what a format keeps per symbol or per folder. A format whose
// entry has one takes part in status, the chart and `check`.
class StoredCodec {
public:
    virtual ~StoredCodec() = default;

    virtual std::unique_ptr<StoredLookup> lookup(Database& db, const ExportFormat& format) const = 0;

    // A folder of the format is one store (a MetaStock database), not a
    // folder of files each checked on its own.
    virtual bool keepsFolders() const { return false; }
    // Whether `folder` holds a store of the format.
    virtual bool isOwnFolder(const QString& folder) const;

    // Per-symbol files: records rather than lines.
    virtual bool binary() const { return false; }
    // Every day of a file; a missing file gives none. Out-of-order days are
    // sorted; of a repeated date the later entry stays.
    virtual StoredBars readFile(const QString& path) const;
    // The same days as numbers only, for the chart: the texts are not made.
    virtual storedfiles::Series readSeries(const QString& path) const;
    // The last date of a file, read from its end only; invalid when there
    // is no dated entry.
    virtual QDate lastDate(const QString& path) const;
    // Every day and every unreadable line or record of a file's content, in
    // file order, with where each field is.
    virtual std::optional<checkfiles::StoredFile> parse(const QByteArray& content) const;
    // Whether `content` reads as this format's (one readable day at least,
    // or, for records, nothing else).
    virtual bool isOwnContent(const QByteArray& content) const;
    // The bytes that put `now`'s field `field` (open, high, low, close,
    // volume) at `place` in a file of this format.
    virtual QByteArray fieldBytes(const Quote& now, int field, checkfiles::StoredFile::Place place) const;
    // The latest readable day of a file for the integrity check of a current
    // run, reading only its end; nothing when the format offers no such read
    // (see ExportFormat's TailChecked), or the file has no day. The end read
    // goes to `kept`, when given, for the file's writer to take over.
    virtual std::optional<integrity::Bar> lastDay(const QString& path, textio::KeptTails* kept) const;
};

// The lookup of a format that keeps one file per symbol, named by its writer.
class SymbolFileLookup final : public StoredLookup {
public:
    SymbolFileLookup(const StoredCodec& codec, QChar letter) : codec_(codec), letter_(letter) {}
    QDate lastDate(const QString& ticker, const QString& name) const override;
    StoredSymbol read(const QString& ticker, const QString& name) const override;

private:
    const StoredCodec& codec_;
    QChar letter_;
};

namespace codecs {

// The text of a file without the end-of-file marks (^Z) some programs put
// after the last line.
QByteArrayView textPart(const QByteArray& content);
// No control byte but tab and line breaks: text, not records.
bool isText(QByteArrayView text);

}  // namespace codecs
