#pragma once

#include "database/db.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// The MetaStock map: which folder holds each ticker (table `metastock`),
// and the folder table `mappen` that goes with it. Every function throws
// DbError when a statement fails.
namespace foldermap {

// A row's `map` is the folder (ending with "/"), or the path of the data
// file of the ticker's security in that folder: the folder is the text up
// to its last "/".

// Empties the map, except the rows of the folders in `keptFolders`, and then
// `mappen`.
void clear(Database& db, const QStringList& keptFolders = {});

// The `map` text the map holds for `ticker` (compared without regard to
// case), as it was entered; empty when there is none.
QString folder(Database& db, const QString& ticker);

// Every row: ticker and `map` text.
QVector<QPair<QString, QString>> rows(Database& db);

// The tickers whose first prefix.size() characters equal `prefix` (compared
// without regard to case).
QStringList tickersStartingWith(Database& db, const QString& prefix);

// Gives the row of `from` the ticker `to`.
void rename(Database& db, const QString& from, const QString& to);

// Enters `ticker` as held by `folder`.
void add(Database& db, const QString& ticker, const QString& folder);

// Enters many tickers, with its statements prepared once.
class Filler {
public:
    explicit Filler(Database& db);

    // Enters `ticker` as held by `folder`; with `replace`, the rows the map
    // has for the ticker already go first.
    void place(const QString& ticker, const QString& folder, bool replace);

private:
    Statement drop_;
    Statement insert_;
};

}  // namespace foldermap
