#pragma once

#include "core/bar.h"

#include <QDateTime>
#include <QString>
#include <QVector>
#include <memory>

class Database;
class QuoteStore;
struct ExportFormat;
namespace storedfiles {
class MetastockIndex;
}

// Taking the days a user's existing files hold into the quote store, so that
// years of history are there from the first day. The files are only read.
// A day the store lacks is added with the file as its source; a day the
// store holds with other values keeps the store's values and is listed.
namespace adoption {

// Whether days can be adopted from files of `format`: a per-symbol format
// whose codec reads a file back, or a format that keeps a folder as one
// store (MetaStock). Otherwise `why` says what the format writes.
bool adoptable(const ExportFormat& format, QString* why);

// A day both hold, with other values.
struct Conflict {
    core::Bar stored;
    core::Bar file;
};

// What adopting one symbol did.
struct Outcome {
    QString where;                // the file, or the MetaStock folder and data file; empty when none was found
    int read = 0;                 // days the file holds
    int added = 0;                // days the store lacked, now stored
    int same = 0;                 // days the store held with the same values
    int skipped = 0;              // lines or records without a readable day
    QVector<Conflict> conflicts;  // days the store held with other values: the store's stay
};

// One folder of one format, adopted symbol by symbol.
class Adopter {
public:
    // `folder` holds files of `format` (adoptable), or is a MetaStock folder
    // or a folder above MetaStock folders. `db` gives the MetaStock map; it
    // may be nullptr for the other formats.
    Adopter(QuoteStore& store, Database* db, const ExportFormat& format, const QString& folder);
    ~Adopter();
    Adopter(const Adopter&) = delete;
    Adopter& operator=(const Adopter&) = delete;

    // The file of a symbol in the folder as the format's writer names it
    // (by ticker, or by long name); empty when there is none.
    QString fileOf(const QString& ticker, const QString& name) const;
    // Adopts the days of one symbol in one short transaction. Throws
    // StoreError when the store refuses the write (nothing of the symbol is
    // then stored).
    Outcome adopt(const QString& ticker, const QString& name);

private:
    QuoteStore& store_;
    const ExportFormat& format_;
    QString folder_;
    QDateTime when_;  // the time every source of this adoption carries
    std::unique_ptr<storedfiles::MetastockIndex> index_;
};

// Whether a file of `format` holds `stored`'s values for its day: the same
// numbers, or in MetaStock the same single-precision numbers; the open is
// not compared when the file keeps none, the open interest only when both
// have one.
bool sameDay(const core::Bar& stored, const core::Bar& file, const ExportFormat& format, bool fileHasOpen);

// "O H L C V" as the texts are.
QString figures(const core::Bar& bar);

}  // namespace adoption
