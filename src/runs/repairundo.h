#pragma once

#include "core/bar.h"

#include <QChar>
#include <QString>
#include <QStringList>
#include <QVector>

class Database;
class QuoteStore;

// Putting back the values as sent of a day the integrity check repaired: in
// every per-symbol file and MetaStock security that holds the day with the
// repaired values, then in the quote store, whose day loses its Repaired
// flag and its separate values as sent (the day now holds them). Run-wide
// files (the run file, the workbook, the staging files) hold one run each
// and are not rewritten.
namespace repairundo {

// What became of one format's file.
struct FileOutcome {
    enum class State {
        Rewritten,    // the day now holds the values as sent; the old content kept beside it
        OtherValues,  // the file's day holds neither the repaired values nor the sent ones: left alone
        AsSent,       // the file's day holds the values as sent already
        Failed,       // the file could not be read or rewritten: `note` says why
    };
    QChar letter;
    QString where;  // the file, or the MetaStock folder and data file
    State state = State::Rewritten;
    QString note;  // Rewritten: the file that keeps the old content; Failed: why
};

struct Result {
    enum class Status {
        Undone,
        UnknownTicker,  // the store holds no day of the ticker
        NoSuchDay,      // the store does not hold the day
        NotRepaired,    // the store's day was not repaired
        FileFailed,     // a file could not be rewritten: the store still holds the repaired day
    };
    Status status = Status::Undone;
    core::Bar sent, repaired;  // the values as sent and the ones the repair put in their place
    QVector<FileOutcome> files;
    QStringList runWide;  // "P (PRN ...)" of the run-wide formats that are on
};

// Undoes the repair of `ticker`'s day `date` (YYYYMMDD). Files are changed
// before the store: a day whose file failed stays repaired in the store, so
// that the undo can be asked again. Throws StoreError when the store cannot
// be read or written.
Result undo(QuoteStore& store, Database& db, const QString& ticker, qint32 date);

}  // namespace repairundo
