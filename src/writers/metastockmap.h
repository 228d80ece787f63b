#pragma once

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

class CancelToken;
class Database;
struct MetastockRunState;

// The ticker-to-folder map (table `metastock`), rebuilt from the folders
// below the MetaStock root before every run with MetaStock on.
namespace metastockmap {

// The folders below `root`, depth first, names sorted; `root` itself first
// when it holds a database of its own.
QStringList collectFolders(const QString& root, bool withRoot);

struct ScanResult {
    QVector<QPair<QString, int>> folders;  // each database folder and its securities
    QStringList damaged;                   // folders left alone
    QStringList unnamed;                   // data files no master file names, left as they are
    int securities = 0;
    bool stopped = false;  // stopped during the scan: the map is left incomplete
};

// Empties the map and `mappen`, then enters every security of every folder
// below `root` with the path of its data file; a security whose symbol is
// the cut form of a longer ticker the map held for that data file keeps that
// ticker. Rows of a folder that cannot be read are kept, so its symbols are
// not placed anew elsewhere. Reads the folders only. Every statement binds
// its values. Stops at its next yield once `cancel` (when given) is
// cancelled.
// The folders are read in a new repair session of `run`, and its map
// connection is used.
ScanResult rebuild(MetastockRunState& run, const QString& root,
                   const std::function<void(int value, int maximum)>& progress = {},
                   const CancelToken* cancel = nullptr);

// True when the folders hold `ticker` only cut (longer than a symbol can be).
bool isCutInFolders(const QString& ticker);

// The folder the map holds for `ticker` (ending with "/"), or an empty text.
QString folderOf(Database& db, const QString& ticker);

// Rebuilds the map for a run: with the load window where one is installed.
// The run's Stop (`run`, when given) stops the scan, and so does closing the
// window.
ScanResult rebuildForRun(MetastockRunState& state, const CancelToken* run = nullptr);

}  // namespace metastockmap
