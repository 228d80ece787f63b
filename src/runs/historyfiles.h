#pragma once

#include "quotes/historydecode.h"

#include <QMap>
#include <QString>
#include <memory>

class AppendFile;

// The files a historical run collects every accepted day in: the staging
// files ami1.txt (the PRN run file) and ami2.txt (the AmiBroker import),
// and the run's Vision2000 and Vikingen files. They stay open from symbol
// to symbol; each symbol's days reach every file in one flushed write, so a
// file holds whole lines whatever happens to the process.
class HistoryRunFiles {
public:
    HistoryRunFiles();
    ~HistoryRunFiles();

    // Creates the staging files with their header line and, for the formats
    // that are on, this run's Vision2000 and Vikingen files. False when the
    // user aborted in the error dialog.
    bool create();

    // Appends one symbol's days, oldest first. Counts what each format got
    // in `written` and what could not be written in `failures`. False when
    // the user aborted.
    bool write(const QVector<HistoryRecord>& days, const QString& name, QMap<QChar, int>& written, int& failures);

    // Closes every file: all of it is on disk before anything reads it.
    void close();

private:
    std::unique_ptr<AppendFile> ami1_, ami2_, vision_, vikingen_;
};
