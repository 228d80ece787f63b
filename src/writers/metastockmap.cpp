#include "writers/metastockmap.h"

#include "database/foldermap.h"
#include "mslink/error.h"
#include "mslink/folder.h"
#include "mslink/masters.h"
#include "support/cancel.h"
#include "support/log.h"
#include "support/yield.h"
#include "writers/metastockrun.h"

#include <QDir>
#include <QHash>
#include <QSet>

namespace metastockmap {

namespace {

void walk(const QString& folder, QStringList& out)
{
    const QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QString& name : names) {
        const QString sub = folder + name + QLatin1Char('/');
        WriteLog(QStringLiteral("reading ") + sub);
        out << sub;
        walk(sub, out);
    }
}

}  // namespace

QStringList collectFolders(const QString& root, bool withRoot)
{
    QStringList out;
    const QString r = QDir::cleanPath(root) + QLatin1Char('/');
    if (withRoot && mslink::Folder::present(r))
        out << r;
    walk(r, out);
    return out;
}

ScanResult rebuild(MetastockRunState& run, const QString& root, const std::function<void(int, int)>& progress,
                   const CancelToken* cancel)
{
    ScanResult result;
    Database& db = run.db();
    WriteLog(QStringLiteral("Activating metastock dll"));
    run.session.restart();
    WriteLog(QStringLiteral("reading ") + root);

    // A folder holds the first 14 characters of a longer ticker: the map as
    // it was says whose security it is (by its data file).
    QHash<QString, QString> longOwners;
    for (const auto& [ticker, map] : foldermap::rows(db)) {
        if (isCutInFolders(ticker) && !map.endsWith(QLatin1Char('/')))
            longOwners.insert(map, ticker);
    }

    struct Found {
        QString folder;
        QVector<QPair<QString, QString>> rows;  // ticker, data file path
    };
    QVector<Found> found;
    // What the master files of a damaged folder still name: those symbols
    // are the folder's, and go nowhere else until it is mended.
    QVector<QPair<QString, QStringList>> salvaged;
    // Only reads: a folder is mended when a run first writes to it.
    for (const QString& folder : collectFolders(root, true)) {
        if (!mslink::Folder::present(folder))
            continue;
        WriteLog(QStringLiteral("Opening ") + folder);
        mslink::Folder f(folder, &run.session);
        try {
            f.load();
        } catch (const mslink::Error& e) {
            result.damaged << folder;
            metastock::reportDamaged(run, folder, e.text());
            salvaged.append({folder, mslink::Folder::salvagedSymbols(folder)});
            continue;
        }
        Found entry{folder, {}};
        for (const mslink::Security& s : f.securities()) {
            const QString file = folder + s.dataFileName();
            const QString owner = longOwners.value(file);
            const bool owned =
                !owner.isEmpty() && mslink::storableSymbol(owner).compare(s.symbol, Qt::CaseInsensitive) == 0;
            entry.rows.append({owned ? owner : s.symbol, file});
        }
        try {
            for (const QString& name : f.unnamedDataFiles()) {
                WriteLog(QStringLiteral("Named by no master file, left as it is: ") + folder + name);
                result.unnamed << folder + name;
            }
        } catch (const mslink::Error&) {
        }
        found.append(entry);
    }

    Transaction t(db);
    // Keep the rows of damaged folders; everything else is read anew.
    foldermap::clear(db, result.damaged);
    // One row per ticker: a ticker in two folders belongs to the later one.
    // A kept row of a damaged folder gives way to a folder that lists it.
    foldermap::Filler filler(db);
    QSet<QString> placed;  // upper-case tickers entered so far
    for (const Found& f : found) {
        const int count = static_cast<int>(f.rows.size());
        if (progress)
            progress(0, count);
        for (int i = 0; i < count; ++i) {
            if (i % 64 == 0) {
                yieldToGui();
                if (cancel && cancel->cancelled()) {
                    result.stopped = true;
                    break;
                }
                if (progress)
                    progress(i, count);
            }
            const auto& [ticker, file] = f.rows[i];
            WriteLog(QStringLiteral("found ") + ticker);
            const QString key = ticker.toUpper();
            filler.place(ticker, file, placed.contains(key) || !result.damaged.isEmpty());
            placed.insert(key);
        }
        if (result.stopped)
            break;
        result.folders.append({f.folder, count});
        result.securities += count;
        if (progress)
            progress(count, count);
    }
    if (!result.stopped) {
        for (const auto& [folder, symbols] : salvaged) {
            for (const QString& symbol : symbols) {
                if (placed.contains(symbol.toUpper()) || !foldermap::folder(db, symbol).isEmpty())
                    continue;
                WriteLog(QStringLiteral("In a damaged folder: ") + symbol);
                filler.place(symbol, folder, false);
                placed.insert(symbol.toUpper());
            }
        }
    }
    t.commit();
    return result;
}

bool isCutInFolders(const QString& ticker)
{
    return mslink::storableSymbol(ticker).compare(ticker.trimmed(), Qt::CaseInsensitive) != 0;
}

QString folderOf(Database& db, const QString& ticker)
{
    const QString text = foldermap::folder(db, ticker);
    const int slash = text.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : text.left(slash + 1);
}

ScanResult rebuildForRun(MetastockRunState& state, const CancelToken* run)
{
    ScanResult result;
    const QString root = metastock::root();
    auto scan = [&](const MetastockPrompt::Progress& progress, const CancelToken& stop) {
        guarded([&] { result = rebuild(state, root, progress, &stop); });
    };
    if (MetastockPrompt* prompt = metastockPrompt())
        prompt->showMapLoad(run, scan);
    else
        scan({}, CancelToken(run));
    return result;
}

}  // namespace metastockmap
