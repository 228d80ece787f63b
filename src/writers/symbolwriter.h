#pragma once

#include "writers/quote.h"

#include <QChar>
#include <QString>
#include <QVector>
#include <memory>

namespace textio {
class KeptTails;
}

// Where one symbol's quotes go in a per-symbol format.
struct SymbolFile {
    QString path;  // empty when the ticker or name gives no usable file name
    QString base;  // the base name, also the first field of a Stockguru line
};

// The layout of a per-symbol quote file (Stockguru, Advanced GET, ASCII,
// KBF). Both
// operations keep the file in ascending date order with one entry per date.
// A file that cannot be read or rewritten throws textio::CorruptFile and is
// left as it was; a failed append throws a FileError.
class SymbolFileWriter {
public:
    virtual ~SymbolFileWriter() = default;
    virtual QChar letter() const = 0;
    // One quote: appended when later than the file's last date (reading only
    // the end of the file), otherwise merged in with one rewrite.
    virtual void write(const SymbolFile& file, const Quote& quote) = 0;
    // A history block: one read and one write of the file; new data replaces
    // old data of the same date.
    virtual void writeBlock(const SymbolFile& file, const QVector<Quote>& quotes) = 0;
    // The same for a block of days, each the quote `block` (its ticker and
    // name) with the day's date and texts; by default made into quotes for
    // writeBlock().
    virtual void writeDays(const SymbolFile& file, const Quote& block, const QVector<core::Bar>& days);

    // The ends of files the run read ahead (the integrity check's): write()
    // takes a file's end from there instead of reading it again.
    void takeTailsFrom(textio::KeptTails* kept) { kept_ = kept; }

protected:
    textio::KeptTails* kept_ = nullptr;
};

// The file writer of a per-symbol format; nullptr for any other letter.
std::unique_ptr<SymbolFileWriter> makeSymbolWriter(QChar letter);

// The file of a symbol in a per-symbol format, from the format's folder and
// "Export long names" switch in the settings.
SymbolFile symbolFile(QChar letter, const QString& ticker, const QString& tname);
