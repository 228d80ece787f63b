#include "runs/fill.h"

#include "database/db.h"
#include "database/lists.h"
#include "database/quotestore.h"
#include "support/errors.h"
#include "support/log.h"
#include "writers/formatregistry.h"

#include <QFileInfo>

namespace fill {

QVector<HistoryRun::Range> ranges(Database& db, const QVector<int>& listNumbers, const QDate& from, const QDate& to)
{
    QVector<int> chosen = listNumbers;
    if (chosen.isEmpty()) {
        for (int n = 1; n <= lists::kCount; ++n)
            chosen << n;
    }
    QVector<HistoryRun::Range> out;
    for (const lists::Symbol& s : lists::symbolsForDownload(db, chosen))
        out.append({s.ticker, s.name, from, to});
    return out;
}

int storedSymbols(const QVector<HistoryRun::Range>& symbols)
{
    // Only read: a missing store is not made here.
    if (symbols.isEmpty() || !QFileInfo::exists(QuoteStore::defaultPath()))
        return 0;
    try {
        QuoteStore store;
        int count = 0;
        for (const HistoryRun::Range& r : symbols)
            count += store.firstDay(r.ticker) != 0;
        return count;
    } catch (const StoreError& e) {
        WriteLog(e.description());
        return 0;
    }
}

int fillableSymbols()
{
    try {
        const std::unique_ptr<Database> db = Database::openDefault();
        return db ? storedSymbols(ranges(*db, {})) : 0;
    } catch (const DbError& e) {
        WriteLog(e.description());
        return 0;
    }
}

void prepare(HistoryRun& run, const ExportFormat& format, QVector<HistoryRun::Range> ranges)
{
    run.source = HistoryRun::Source::Store;
    run.onlyFormat = format.letter;
    run.ranges = std::move(ranges);
}

QString offer(const ExportFormat& format, int symbols)
{
    return QStringLiteral("The quote store holds the days of %1 %2 of your lists. Write them to %3 now?")
        .arg(symbols)
        .arg(symbols == 1 ? QStringLiteral("symbol") : QStringLiteral("symbols"))
        .arg(format.name());
}

QString command(const ExportFormat& format) { return QStringLiteral("quotaris fill ") + format.letter; }

}  // namespace fill
