#pragma once

#include "writers/codecs/codec.h"

#include <QChar>
#include <QDate>
#include <QHash>
#include <QString>
#include <QVector>

class Database;

// Reading back what the writers stored for a symbol, in the days the chart
// draws: each format's codec reads its own files (or securities), found by
// the writers' own naming (symbolFile, the MetaStock map), so what is read
// is what a charting program reads.
namespace storedfiles {

// The formats whose stored days can be read back for one symbol: those
// whose registry entry has a codec that reads them.
bool readable(QChar letter);

// The days as the chart draws them.
Series series(const StoredBars& bars);

// The days of a per-symbol file of format `letter`. A missing file gives
// none. Lines out of date order are sorted; a repeated date keeps the later
// line, as the writers' merge does.
Series readDays(const QString& path, QChar letter);

// The last date of a per-symbol file, read from its end only (a header, a
// missing final line break, CR LF or LF line ends all allowed); invalid for
// a missing or empty file or one without a dated line.
QDate lastDate(const QString& path, QChar letter);

// The file of `ticker` (with the name the database holds) in per-symbol
// format `letter`, as the writers name it; empty when there is none.
QString symbolPath(QChar letter, const QString& ticker, const QString& name);

// The securities of every MetaStock folder below the root, read from the
// master files once: what status and chart look up per ticker.
class MetastockIndex {
public:
    // Reads the master files of every database folder below `root` (and the
    // root itself); the map of `db` says which data file is a ticker's.
    MetastockIndex(Database& db, const QString& root);

    struct Entry {
        QString folder;    // ending with "/"
        QString dataFile;  // "F12.DAT"
        QString symbol;    // as the master files hold it
        QDate last;        // invalid for a security without records
    };
    // The security of `ticker`: the one the map names, else the first of
    // that symbol in any folder. Nullptr when no folder holds it.
    const Entry* find(const QString& ticker) const;

private:
    QHash<QString, Entry> byFile_;    // folder + data file
    QHash<QString, Entry> bySymbol_;  // lower-case symbol, first folder wins
    QHash<QString, QString> mapped_;  // lower-case ticker -> folder + data file
};

// Every record of one MetaStock security; each figure the shortest text that
// reads back as its single-precision number.
StoredBars readSecurity(const MetastockIndex::Entry& entry);
Series readMetastock(const MetastockIndex::Entry& entry);

// One symbol's days in format `letter`, found as the writers would (the
// per-symbol file, or the MetaStock security through the map and the
// folders below the MetaStock root).
Series readSymbol(Database& db, QChar letter, const QString& ticker, const QString& name);

}  // namespace storedfiles
