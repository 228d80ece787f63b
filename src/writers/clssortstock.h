#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

class TextQuoteWriter;

// Merges a history block into a per-symbol text file: one read, one write.
// The caller sets the layout and the block, then names the file.
class clsSortstock {
public:
    const TextQuoteWriter* layout = nullptr;  // the layout the file's lines are read in
    qint32 geeflaagstedatum = 0;
    qint32 geefhoogstedatum = 0;
    QVector<qint32> geefdatums;  // date of each finished line
    // The finished lines back to back, without line ends, and where each
    // ends: one buffer for a block of thousands of lines.
    QByteArray geefregels;
    QVector<qsizetype> geefeinden;

    // Merges and writes `file`: existing lines and new ones by date, new
    // data replacing old data of its date, ascending. Lines the file holds
    // without a date (a header) stay at the top; blank lines go. Throws
    // textio::CorruptFile when the file cannot be read or rewritten.
    void geefTicker(const QString& file);
};
