#include "app/commands_symbols.h"

#include "app/commands_lists.h"
#include "app/headless.h"
#include "database/db.h"
#include "database/listedit.h"
#include "database/lists.h"
#include "support/errors.h"

#include <memory>
#include <optional>

using listedit::Column;

namespace {

std::unique_ptr<Database> open(HeadlessContext& c)
{
    if (!headlessStartup(c))
        return nullptr;
    try {
        return Database::openDefault();
    } catch (const AppError& e) {
        c.err << e.description() << '\n';
        return nullptr;
    }
}

// The id of the market named `name` (without regard to case), or 0.
int marketByName(Database& db, const QString& name)
{
    for (const auto& [id, market] : lists::markets(db)) {
        if (market.compare(name, Qt::CaseInsensitive) == 0)
            return id;
    }
    return 0;
}

std::optional<Column> sortColumn(const QString& text)
{
    if (text == QLatin1String("symbol"))
        return Column::Symbol;
    if (text == QLatin1String("name"))
        return Column::Name;
    if (text == QLatin1String("type"))
        return Column::Type;
    if (text == QLatin1String("market"))
        return Column::Market;
    return std::nullopt;
}

void printCount(HeadlessContext& c, Database& db, int n)
{
    c.out << "list " << n << " now holds " << lists::symbolCount(db, n) << " symbols\n";
}

QStringList tickersOfList(Database& db, int n)
{
    QStringList tickers;
    for (const lists::Symbol& r : lists::symbolsOfList(db, n))
        tickers << r.ticker;
    return tickers;
}

}  // namespace

int cmdMarkets(HeadlessContext& c)
{
    if (!c.args.isEmpty()) {
        c.err << "markets takes no arguments\n";
        return 2;
    }
    auto db = open(c);
    if (!db)
        return 1;
    for (const auto& [market, symbols] : lists::marketSizes(*db))
        c.out << market << '\t' << symbols << '\n';
    return 0;
}

int cmdSymbols(HeadlessContext& c)
{
    std::optional<QString> market, list;
    Column sort = Column::Symbol;
    bool sorted = false;
    for (int i = 0; i < c.args.size(); ++i) {
        const QString& a = c.args[i];
        if (i + 1 >= c.args.size() || !a.startsWith(QLatin1String("--"))) {
            c.err << "Usage: quotaris symbols --market NAME | --list N [--sort symbol|name|type|market]\n";
            return 2;
        }
        const QString value = c.args[++i];
        if (a == QLatin1String("--market")) {
            market = value;
        } else if (a == QLatin1String("--list")) {
            list = value;
        } else if (a == QLatin1String("--sort") && sortColumn(value)) {
            sort = *sortColumn(value);
            sorted = true;
        } else {
            c.err << "Unknown option or value: " << a << ' ' << value << '\n';
            return 2;
        }
    }
    if (market.has_value() == list.has_value()) {
        c.err << "symbols needs either --market NAME or --list N\n";
        return 2;
    }
    const int n = list ? listNumber(c, *list) : 0;
    if (list && n == 0)
        return 2;
    auto db = open(c);
    if (!db)
        return 1;
    QVector<lists::Symbol> rows;
    if (list) {
        rows = sorted ? lists::symbolsOfList(*db, n, listedit::listOrder(sort)) : lists::symbolsOfList(*db, n);
    } else {
        const int id = marketByName(*db, *market);
        if (id == 0) {
            c.err << "No market \"" << *market << "\"\n";
            return 1;
        }
        rows = lists::symbolsOfMarket(*db, id, listedit::marketOrder(sort));
    }
    for (const lists::Symbol& r : rows)
        c.out << r.ticker << ',' << r.name << ',' << r.type << ',' << r.market << '\n';
    return 0;
}

int cmdList(HeadlessContext& c)
{
    static const char* const usage =
        "Usage: quotaris list add N TICKER... | add-market N MARKET | remove N TICKER...|--all\n"
        "       | copy N M TICKER...|--all | move N M TICKER...|--all\n";
    const QString what = c.args.value(0);
    const bool twoLists = what == QLatin1String("copy") || what == QLatin1String("move");
    const int first = twoLists ? 3 : 2;
    if (c.args.size() <= first ||
        !QStringList({QStringLiteral("add"), QStringLiteral("add-market"), QStringLiteral("remove"),
                      QStringLiteral("copy"), QStringLiteral("move")})
             .contains(what)) {
        c.err << usage;
        return 2;
    }
    const int n = listNumber(c, c.args[1]);
    const int m = twoLists ? listNumber(c, c.args[2]) : 0;
    if (n == 0 || (twoLists && m == 0))
        return 2;
    if (twoLists && m == n) {
        c.err << "A list cannot be copied or moved onto itself\n";
        return 2;
    }
    const QStringList rest = c.args.mid(first);
    const bool all = rest == QStringList{QStringLiteral("--all")};
    if ((all && (what == QLatin1String("add") || what == QLatin1String("add-market"))) ||
        (what == QLatin1String("add-market") && rest.size() != 1)) {
        c.err << usage;
        return 2;
    }
    auto db = open(c);
    if (!db)
        return 1;

    if (what == QLatin1String("add-market")) {
        const int id = marketByName(*db, rest[0]);
        if (id == 0) {
            c.err << "No market \"" << rest[0] << "\"\n";
            return 1;
        }
        listedit::addAll(id, n);
        printCount(c, *db, n);
        return 0;
    }

    QStringList unknown;
    const QStringList tickers = all ? tickersOfList(*db, n) : lists::knownTickers(*db, rest, unknown);
    if (what == QLatin1String("add"))
        listedit::addSelected(tickers, n);
    else if (what == QLatin1String("remove"))
        all ? listedit::removeAll(n) : listedit::removeSelected(tickers, n);
    else
        listedit::kopieernaarlijst(tickers, m, what == QLatin1String("move"), n);
    if (!unknown.isEmpty())
        c.err << "not in the database: " << unknown.join(QLatin1Char(' ')) << '\n';
    printCount(c, *db, n);
    if (twoLists)
        printCount(c, *db, m);
    return unknown.isEmpty() ? 0 : 1;
}

int cmdRemoveSymbol(HeadlessContext& c)
{
    if (c.args.isEmpty()) {
        c.err << "Usage: quotaris remove-symbol TICKER...\n";
        return 2;
    }
    auto db = open(c);
    if (!db)
        return 1;
    QStringList unknown;
    const QStringList tickers = lists::knownTickers(*db, c.args, unknown);
    if (!tickers.isEmpty() && listedit::removeFromDatabase(tickers)) {
        QStringList left;
        lists::knownTickers(*db, tickers, left);
        c.out << "removed: " << left.join(QLatin1Char(' ')) << '\n';
    }
    if (!unknown.isEmpty())
        c.err << "not in the database: " << unknown.join(QLatin1Char(' ')) << '\n';
    return unknown.isEmpty() ? 0 : 1;
}
