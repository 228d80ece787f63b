#pragma once

#include "core/bar.h"
#include "writers/storedfiles.h"

#include <QChar>
#include <QString>
#include <QVector>
#include <optional>

class Database;
class QuoteStore;

// A symbol's bars in the quote store beside what each format's file holds:
// the days a file holds with other values, and the store's days a file
// lacks. What status and the chart mark.
namespace storecompare {

struct Day {
    enum class Kind { Differs, Lacking };
    Kind kind = Kind::Differs;
    core::Bar stored;
    std::optional<storedfiles::Day> file;  // Differs only
};

struct FormatComparison {
    QChar letter;
    QString where;      // the file, or the MetaStock folder and data file; empty when there is none
    int stored = 0;     // the store's days
    int same = 0;       // days both hold with the same values
    int fileOnly = 0;   // days the file holds and the store does not
    QVector<Day> days;  // differing and lacking days, by date
    bool hasOpen = true;
};

// Compares `stored` (ascending by date) with the days of one format's file:
// the numbers as the file keeps them (MetaStock single precision, no open
// where the file keeps none, the open interest only where both have one).
FormatComparison compare(const QVector<core::Bar>& stored, const storedfiles::Series& file, bool singlePrecision);

// The store's bars of `ticker` beside every format that is on and whose
// files are read back, in the registry's order.
QVector<FormatComparison> compareFormats(Database& db, QuoteStore& store, const QString& ticker);

// A file's figure as text: MetaStock's as the shortest text of its single
// precision value.
QString figureText(double value, bool singlePrecision);

}  // namespace storecompare
