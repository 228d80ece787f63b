#include "database/listedit.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "support/errors.h"
#include "support/messages.h"

#include <memory>

namespace listedit {
namespace {

using lists::SortKey;

// Runs `each` for every ticker in one transaction of a Lijstinvoeg; stops
// at Abort. False when the database could not be opened or nothing ran.
template <typename Each>
bool forEachTicker(const QStringList& tickers, Each each)
{
    if (tickers.isEmpty())
        return false;
    BusyPointer busy;
    std::unique_ptr<Lijstinvoeg> invoeg;
    if (guarded([&] { invoeg = std::make_unique<Lijstinvoeg>(); }) != StepOutcome::Done || !invoeg)
        return false;
    bool any = false;
    guarded([&] {
        invoeg->batch([&] {
            for (const QString& ticker : tickers) {
                if (!each(*invoeg, ticker))
                    return;
                any = true;
            }
        });
    });
    return any;
}

// Runs one whole-list statement on a connection of its own.
bool runStatement(const std::function<void(Database&)>& statement)
{
    BusyPointer busy;
    return guarded([&] {
               std::unique_ptr<Database> db = Database::openDefault();
               statement(*db);
           }) == StepOutcome::Done;
}

bool ask(const QString& question) { return askYesNo(question, QString(), true); }

}  // namespace

QVector<SortKey> listOrder(Column column)
{
    switch (column) {
    case Column::Market:
        return {SortKey::Market, SortKey::Ticker, SortKey::Name, SortKey::Type};
    case Column::Symbol:
        return {SortKey::Ticker, SortKey::Market, SortKey::Name, SortKey::Type};
    case Column::Name:
        return {SortKey::Name, SortKey::Market, SortKey::Ticker, SortKey::Type};
    case Column::Type:
        return {SortKey::Type, SortKey::Market, SortKey::Ticker, SortKey::Name};
    }
    return {};
}

QVector<SortKey> marketOrder(Column column)
{
    switch (column) {
    case Column::Market:
    case Column::Symbol:
        return {SortKey::Ticker, SortKey::Name, SortKey::Type};
    case Column::Name:
        return {SortKey::Name, SortKey::Ticker, SortKey::Type};
    case Column::Type:
        return {SortKey::Type, SortKey::Ticker, SortKey::Name};
    }
    return {};
}

bool addSelected(const QStringList& tickers, int n)
{
    if (!lists::validList(n))
        return false;
    const QString c = lists::column(n);
    return forEachTicker(tickers, [&](Lijstinvoeg& l, const QString& t) { return l.downloaden(t, true, c); });
}

bool addAll(int marketId, int n)
{
    if (marketId == 0 || !lists::validList(n))
        return false;
    return runStatement([&](Database& db) { lists::addMarket(db, marketId, n); });
}

bool removeAll(int n)
{
    if (!lists::validList(n))
        return false;
    int count = 0;
    if (!runStatement([&](Database& db) { count = lists::symbolCount(db, n); }) || count == 0)
        return false;
    if (!ask(QStringLiteral("All symbols will be removed from list %1, are you sure?").arg(n)))
        return false;
    return runStatement([&](Database& db) { lists::empty(db, n); });
}

bool removeSelected(const QStringList& tickers, int n)
{
    if (!lists::validList(n))
        return false;
    const QString c = lists::column(n);
    return forEachTicker(tickers, [&](Lijstinvoeg& l, const QString& t) { return l.downloaden(t, false, c); });
}

bool removeFromDatabase(const QStringList& tickers)
{
    if (tickers.isEmpty())
        return false;
    const QString question = tickers.size() > 1
                                 ? QStringLiteral("All selected symbols will be removed from the database\r\n") +
                                       QString(33, QLatin1Char(' ')) + QStringLiteral("Are you sure?")
                                 : tickers.first() + QStringLiteral(" will be removed from the database\r\n") +
                                       QString(24, QLatin1Char(' ')) + QStringLiteral("Are you sure?");
    if (!ask(question))
        return false;
    return forEachTicker(tickers, [](Lijstinvoeg& l, const QString& t) { return l.remove(t); });
}

bool kopieernaarlijst(const QStringList& tickers, int m, bool move, int n)
{
    if (m == n || !lists::validList(m) || !lists::validList(n))
        return false;
    const QString target = lists::column(m);
    const QString current = lists::column(n);
    return forEachTicker(tickers, [&](Lijstinvoeg& l, const QString& t) {
        return l.downloaden(t, true, target) && (!move || l.downloaden(t, false, current));
    });
}

bool verwijdervandatabase(const QStringList& tickers)
{
    if (tickers.isEmpty())
        return false;
    const QString question = tickers.size() > 1
                                 ? QString::number(tickers.size()) +
                                       QStringLiteral(" Symbols will be removed from database\r\n Are you sure?")
                                 : tickers.first() + QStringLiteral(" will be removed from database\r\n Are you sure?");
    if (!ask(question))
        return false;
    std::unique_ptr<clsData> data = clsData::open();
    if (!data)
        return false;
    BusyPointer busy;
    bool any = false;
    guarded([&] {
        Transaction t(data->db());
        for (const QString& ticker : tickers) {
            data->removeticker(ticker);
            if (data->aborted())
                break;
            any = true;
        }
        t.commit();
    });
    return any;
}

}  // namespace listedit
