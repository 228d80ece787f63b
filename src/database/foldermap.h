#pragma once

#include "database/db.h"

#include <QString>
#include <QStringList>

// The MetaStock map: which folder holds each ticker (table `metastock`),
// and the folder table `mappen` that goes with it. Every function throws
// DbError when a statement fails.
namespace foldermap {

// Empties the map, except the rows of the folders in `keptFolders`, and then
// `mappen`.
void clear(Database& db, const QStringList& keptFolders = {});

// The folder the map holds for `ticker` (compared without regard to case),
// as it was entered; empty when there is none.
QString folder(Database& db, const QString& ticker);

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
