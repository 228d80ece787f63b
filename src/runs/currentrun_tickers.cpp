// Tickers the service did not know, the files of changed tickers, and the
// summary of a current run.
#include "runs/currentrun.h"

#include "database/clsdata.h"
#include "quotes/loader.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/state.h"
#include "writers/filenames.h"
#include "writers/formatregistry.h"

#include <QFile>

QString CurrentRunSummary::downloadErrors() const
{
    QStringList errors;
    if (failedBatches > 0)
        errors << QStringLiteral("%1 of %2 requests failed").arg(count(failedBatches), count(batches));
    if (unanswered > 0)
        errors << QStringLiteral("%1 symbols got no answer").arg(count(unanswered));
    return errors.join(QStringLiteral(", "));
}

QString CurrentRun::PointDecimal(const QString& text)
{
    return QString(text).replace(QLatin1Char(','), QLatin1Char('.'));
}

// Every not-found ticker was looked up before the batch came here: a
// changed one is renamed in the database and in the quote files and
// fetched again under its new ticker.
void CurrentRun::investigate(int k)
{
    const loader& l = *loaders_[static_cast<size_t>(k)];
    const QHash<QString, QString> successors = successors_.take(k);
    QStringList again;
    for (const QString& entry : l.notfound()) {
        const QString newticker = successors.value(entry);
        if (newticker.isEmpty())
            continue;
        WriteLog(entry + QStringLiteral(" changed to ") + newticker);
        data_->changeticker(entry, newticker);
        const bool merged = data_->successorExisted;
        summary_.keptFiles += RenameQuoteFiles(entry, newticker);
        summary_.changed << entry + QStringLiteral(" -> ") + newticker +
                                (merged ? QStringLiteral(" (merged)") : QString());
        // A successor on this run's lists is downloaded in its own batch.
        if (!(merged && runTickers_.contains(newticker)) && !again.contains(newticker))
            again << newticker;
    }
    if (!again.isEmpty())
        dispatch(again);
    // Dropped are the unknown tickers without a successor; a changed one is
    // listed as changed, and its quotes come under the new ticker.
    for (const QString& entry : l.notfound()) {
        if (entry.isEmpty() || !successors.value(entry).isEmpty())
            continue;
        data_->voegvervallentoe(entry);
        ++summary_.notFound;
    }
    for (const QString& entry : l.SymbolsVerworpen()) {
        if (entry.isEmpty())
            continue;
        data_->voegverWorpentoe(entry);
        ++summary_.rejected;
    }
}

QStringList CurrentRun::RenameQuoteFiles(const QString& oldTicker, const QString& newTicker)
{
    QStringList kept;
    const QString oldBase = filenames::tickerBaseName(oldTicker);
    const QString newBase = filenames::tickerBaseName(newTicker);
    if (oldBase.isEmpty() || newBase.isEmpty() || oldBase == newBase)
        return kept;
    for (const ExportFormat& f : formats::registry()) {
        if (!f.perSymbolFiles() || !f.isOn())
            continue;
        const QString folder = paths::withTrailingSlash(f.chosen().folder);
        const QString from = folder + oldBase + QLatin1String(f.extension);
        const QString to = folder + newBase + QLatin1String(f.extension);
        if (!filenames::filePresent(from))
            continue;
        // Both files hold quotes the user may need: neither is overwritten
        // or deleted.
        if (filenames::filePresent(to)) {
            WriteLog(QStringLiteral("Not renamed: ") + from + QStringLiteral(" (") + to + QStringLiteral(" exists)"));
            kept << from;
            continue;
        }
        if (!QFile::rename(from, to)) {
            WriteLog(QStringLiteral("Not renamed: ") + from);
            kept << from;
        }
    }
    return kept;
}
