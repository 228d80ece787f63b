#pragma once

#include "runs/historyrun.h"

#include <QDate>
#include <QString>
#include <QVector>

class Database;
struct ExportFormat;

// Filling one format from the quote store: the files a historical run of the
// same range would have written, without the network (see HistoryRun). The
// `fill` command and the Export format window share these pieces.
namespace fill {

// Every symbol of `listNumbers` (of every list when empty), each once, in the
// order a download takes them, with the range `from` to `to`; an invalid
// date leaves that end open.
QVector<HistoryRun::Range> ranges(Database& db, const QVector<int>& listNumbers, const QDate& from = {},
                                  const QDate& to = {});

// How many of `symbols` the quote store holds a day of; 0 when there is no
// store or it cannot be read.
int storedSymbols(const QVector<HistoryRun::Range>& symbols);

// The symbols of every list the store can fill a format with; 0 when the
// database or the store cannot be read.
int fillableSymbols();

// Sets `run` to fill `format` alone from the store over `ranges`.
void prepare(HistoryRun& run, const ExportFormat& format, QVector<HistoryRun::Range> ranges);

// The question when `format` is switched on and the store holds days of
// `symbols` symbols.
QString offer(const ExportFormat& format, int symbols);
// The command that fills `format` without a window: "quotaris fill C".
QString command(const ExportFormat& format);

}  // namespace fill
