#include "writers/metastockmap.h"

#include "database/foldermap.h"
#include "mslink/error.h"
#include "mslink/folder.h"
#include "mslink/writer.h"
#include "support/log.h"
#include "support/state.h"
#include "support/yield.h"
#include "writers/metastockrun.h"

#include <QDir>
#include <QSet>

namespace metastockmap {

namespace {

void walk(const QString& folder, QStringList& out)
{
    const QStringList names =
        QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
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

ScanResult rebuild(Database& db, const QString& root, const std::function<void(int, int)>& progress)
{
    ScanResult result;
    WriteLog(QStringLiteral("Activating metastock dll"));
    mslink::Folder::newSession();
    WriteLog(QStringLiteral("reading ") + root);

    struct Found {
        QString folder;
        QStringList tickers;
    };
    QVector<Found> found;
    for (const QString& folder : collectFolders(root, true)) {
        if (!mslink::Folder::present(folder))
            continue;
        WriteLog(QStringLiteral("Opening ") + folder);
        mslink::Folder f(folder);
        try {
            f.load();
        } catch (const mslink::Error& e) {
            result.damaged << folder;
            metastock::reportDamaged(folder, e.text());
            continue;
        }
        // Mend what a killed run left while the load window shows, rather
        // than at the folder's first quote; a folder in use is mended when
        // it is first written.
        try {
            mslink::Writer w;
            w.openFolder(folder);
        } catch (const mslink::Error& e) {
            WriteLog(QStringLiteral("Not repaired now: ") + e.text());
        }
        Found entry{folder, {}};
        for (const mslink::Security& s : f.securities())
            entry.tickers << s.symbol;
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
        const int count = static_cast<int>(f.tickers.size());
        if (progress)
            progress(0, count);
        for (int i = 0; i < count; ++i) {
            if (i % 64 == 0) {
                yieldToGui();
                if (state().abortFlag) {
                    result.stopped = true;
                    break;
                }
                if (progress)
                    progress(i, count);
            }
            const QString& ticker = f.tickers[i];
            WriteLog(QStringLiteral("found ") + ticker);
            const QString key = ticker.toUpper();
            filler.place(ticker, f.folder, placed.contains(key) || !result.damaged.isEmpty());
            placed.insert(key);
        }
        if (result.stopped)
            break;
        result.folders.append({f.folder, count});
        result.securities += count;
        if (progress)
            progress(count, count);
    }
    t.commit();
    return result;
}

QString folderOf(Database& db, const QString& ticker)
{
    const QString text = foldermap::folder(db, ticker);
    const int slash = text.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : text.left(slash + 1);
}

ScanResult rebuildForRun()
{
    ScanResult result;
    const QString root = metastock::root();
    auto scan = [&](const MetastockPrompt::Progress& progress) {
        guarded([&] { result = rebuild(metastockDb(), root, progress); });
    };
    if (MetastockPrompt* prompt = metastockPrompt())
        prompt->showMapLoad(scan);
    else
        scan({});
    return result;
}

}  // namespace metastockmap
