#include "writers/classzoekmetastock.h"

#include "database/foldermap.h"

#include "database/db.h"
#include "mslink/error.h"
#include "mslink/masters.h"
#include "mslink/reader.h"
#include "mslink/writer.h"
#include "support/log.h"
#include "support/messages.h"
#include "writers/metastockmap.h"
#include "writers/metastockrun.h"

#include <QDir>

namespace {

void reachedMaximum(MetastockRunState& run, const QString& folder)
{
    msgBox(QStringLiteral("The folder: ") + folder + QStringLiteral("\r\nReached the maximum of ") +
               QString::number(metastock::maximum()) + QStringLiteral(" Symbols\r\n    Please select a new folder"),
           Icon::Critical);
    run.dontAskAgain = false;
}

// Adds the symbol being placed to `folder`; false when that failed.
bool addSecurity(MetastockRunState& run, const QString& folder)
{
    QString file;
    const StepOutcome outcome = metastock::step(run, folder, [&] {
        mslink::Writer w;
        w.openFolder(folder, &run.session);
        w.addSecurity(run.symbolTicker, run.symbolName, 1);
        file = w.selectedDataFile();
        w.release();
    });
    run.placedFile = file;
    return outcome == StepOutcome::Done;
}

QString folderPart(const QString& map)
{
    const int slash = static_cast<int>(map.lastIndexOf(QLatin1Char('/')));
    return slash < 0 ? QString() : map.left(slash + 1);
}

bool hasRoom(MetastockRunState& run, const QString& folder)
{
    const int count = metastock::securityCount(run, folder);
    return count >= 0 && count <= metastock::maximum() - 1;
}

}  // namespace

void classzoekmetastock::go()
{
    folder_.clear();
    if ((cancel_ && cancel_->cancelled()) || ticker_.isEmpty())
        return;
    WriteLog(QStringLiteral("Searching in Metastock database :") + ticker_);
    QString mapped;
    if (guarded([&] { mapped = foldermap::folder(run_.db(), ticker_); }) != StepOutcome::Done)
        return;
    if (mapped.isEmpty() && indistinct())
        return;
    if (mapped.isEmpty() && metastockmap::isCutInFolders(ticker_)) {
        // A map that lost whose security it is holds the cut symbol: it is
        // this ticker's, as no other ticker claims it.
        const QString cut = mslink::storableSymbol(ticker_);
        guarded([&] {
            mapped = foldermap::folder(run_.db(), cut);
            if (!mapped.isEmpty())
                foldermap::rename(run_.db(), cut, ticker_);
        });
    }
    file_ = mapped.mid(folderPart(mapped).size());
    mapped = folderPart(mapped);
    if (!mapped.isEmpty())
        found(mapped);
    else
        place();
}

// A ticker the map does not hold whose symbol in a folder would be that of
// another ticker's security: not written, and listed for the run's summary.
bool classzoekmetastock::indistinct()
{
    const QString symbol = mslink::storableSymbol(ticker_);
    QString holder;
    guarded([&] {
        for (const QString& other : foldermap::tickersStartingWith(run_.db(), symbol)) {
            if (other.compare(ticker_, Qt::CaseInsensitive) == 0 ||
                mslink::storableSymbol(other).compare(symbol, Qt::CaseInsensitive) != 0)
                continue;
            // The cut symbol's own row is claimed by a longer ticker when
            // no other ticker has claimed it (see go()).
            if (other.compare(symbol, Qt::CaseInsensitive) == 0 && metastockmap::isCutInFolders(ticker_))
                continue;
            holder = other;
            break;
        }
    });
    if (holder.isEmpty())
        return false;
    const QString entry =
        ticker_ + QStringLiteral(" (as ") + symbol + QStringLiteral(", held by ") + holder + QLatin1Char(')');
    if (!run_.indistinct.contains(entry)) {
        run_.indistinct << entry;
        WriteLog(QStringLiteral("Not written to Metastock, a folder cannot tell it apart: ") + entry);
    }
    return true;
}

void classzoekmetastock::found(const QString& folder)
{
    WriteLog(QStringLiteral("Found in ") + folder);
    QString stored;
    bool holds = false;
    const StepOutcome read = metastock::step(run_, folder, [&] {
        mslink::Reader r;
        r.openFolder(folder, &run_.session);
        holds = r.findSecurity(ticker_, file_);
        if (holds)
            stored = r.currentSecurityName();
    });
    if (read != StepOutcome::Done)
        return;  // a folder that cannot be read is not written either
    // Compare with the name as the folder can hold it: a long name cut to
    // the folder's length is no change.
    const QString wanted = mslink::storableName(name_);
    if (holds && !wanted.isEmpty() && !stored.contains(wanted)) {
        WriteLog(QStringLiteral("Name changed into : ") + name_);
        const StepOutcome renamed = metastock::step(run_, folder, [&] {
            mslink::Writer w;
            w.openFolder(folder, &run_.session);
            w.selectSecurity(ticker_, file_);
            w.changeSecurity(ticker_, name_, ticker_);
            w.closeSecurity();
            w.release();
        });
        if (renamed == StepOutcome::Done)
            WriteLog(QStringLiteral("Name corrected"));
    }
    folder_ = folder;
    run_.lastFolder = folder;
}

void classzoekmetastock::place()
{
    WriteLog(QStringLiteral("Not found"));
    if (run_.dontAskAgain && !run_.lastFolder.isEmpty() && !hasRoom(run_, run_.lastFolder))
        reachedMaximum(run_, run_.lastFolder);
    run_.symbolName = name_.isEmpty() ? ticker_ : name_;
    run_.symbolTicker = ticker_;

    QString chosen;
    if (run_.dontAskAgain && !run_.lastFolder.isEmpty()) {
        chosen = run_.lastFolder;
        WriteLog(QStringLiteral("Writing new symbol ") + chosen + QLatin1Char(' ') + ticker_ + QLatin1Char(' ') +
                 name_);
        if (!addSecurity(run_, chosen))
            chosen.clear();
    } else if (MetastockPrompt* prompt = metastockPrompt()) {
        WriteLog(QStringLiteral("Asking folder for ") + ticker_ + QLatin1Char(' ') + name_);
        const QString start = run_.lastFolder.isEmpty() ? metastock::root() : run_.lastFolder;
        chosen = prompt->askFolder(run_.symbolName, start, metastock::root(),
                                   [this](const QString& folder, bool dontAskAgain, bool* resetToRoot) {
                                       return placeInFolder(run_, folder, dontAskAgain, resetToRoot);
                                   });
    } else {
        chosen = placeByRule();
    }
    if (name_.isEmpty())
        name_ = ticker_;
    folder_ = chosen;
    file_ = chosen.isEmpty() ? QString() : run_.placedFile;
    if (!chosen.isEmpty()) {
        run_.lastFolder = chosen;
        guarded([&] { foldermap::add(run_.db(), ticker_, chosen + file_); });
    }
}

QString classzoekmetastock::placeByRule()
{
    const QString root = metastock::root();
    QString chosen;
    if (!run_.lastFolder.isEmpty() && hasRoom(run_, run_.lastFolder)) {
        chosen = run_.lastFolder;
    } else {
        for (const QString& folder : metastockmap::collectFolders(root, false)) {
            if (hasRoom(run_, folder)) {
                chosen = folder;
                break;
            }
        }
    }
    if (chosen.isEmpty()) {
        int n = 1;
        while (QFileInfo::exists(root + QStringLiteral("Q%1").arg(n, 3, 10, QLatin1Char('0'))))
            ++n;
        chosen = root + QStringLiteral("Q%1/").arg(n, 3, 10, QLatin1Char('0'));
        if (metastock::step(run_, chosen, [&] { mslink::Writer::createFolder(chosen); }) != StepOutcome::Done)
            return {};
    }
    WriteLog(QStringLiteral("Writing new symbol ") + chosen + QLatin1Char(' ') + run_.symbolTicker + QLatin1Char(' ') +
             run_.symbolName);
    return addSecurity(run_, chosen) ? chosen : QString();
}

bool classzoekmetastock::placeInFolder(MetastockRunState& run, const QString& chosen, bool dontAskAgain,
                                       bool* resetToRoot)
{
    const QString folder = QDir::cleanPath(chosen) + QLatin1Char('/');
    const QString root = metastock::root();
    *resetToRoot = false;
    if (!folder.startsWith(root)) {
        msgBox(QStringLiteral("This is not a subfolder of ") + root, Icon::Critical);
        *resetToRoot = true;
        return false;
    }
    if (mslink::Reader::databasePresent(folder)) {
        const int count = metastock::securityCount(run, folder);
        if (count < 0)
            return false;
        if (count > metastock::maximum() - 1) {
            reachedMaximum(run, folder);
            return false;
        }
    }
    if (!addSecurity(run, folder))
        return false;
    if (dontAskAgain)
        run.dontAskAgain = true;
    return true;
}

classzoekmetastock::Stored classzoekmetastock::changeticker(MetastockRunState& run, const QString& oldTicker,
                                                            const QString& newTicker)
{
    (void)newTicker;
    Stored out;
    guarded([&] { out.folder = metastockmap::folderOf(run.db(), oldTicker.trimmed()); });
    if (out.folder.isEmpty())
        return out;
    metastock::step(
        run, out.folder,
        [&] {
            mslink::Reader r;
            r.openFolder(out.folder, &run.session);
            if (r.findSecurity(oldTicker.trimmed()))
                out.name = r.currentSecurityName();
        },
        true);
    return out;
}
