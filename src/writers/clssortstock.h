#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// Merges a history block into a per-symbol text file: one read, one write.
// The caller fills the switches and the block, then names the file.
class clsSortstock {
public:
    bool asciijn = false;  // ASCII layout
    bool GETiijn = false;  // Advanced GET layout; neither: Stockguru
    qint32 geeflaagstedatum = 0;
    qint32 geefhoogstedatum = 0;
    QVector<qint32> geefdatums;        // date of each finished line
    QVector<QByteArray> geefgegevens;  // the finished lines, without line ends

    // Merges and writes `file`: existing lines and new ones by date, new
    // data replacing old data of its date, ascending. Lines the file holds
    // without a date (a header) stay at the top; blank lines go. Throws
    // textio::CorruptFile when the file cannot be read or rewritten.
    void geefTicker(const QString& file);
};
