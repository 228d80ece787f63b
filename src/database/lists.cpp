#include "database/lists.h"

#include "database/db.h"
#include "support/changes.h"
#include "support/errors.h"
#include "support/messages.h"
#include "support/settingsstore.h"
#include "support/state.h"

#include <algorithm>

namespace lists {
namespace {
const QString kDisplaySelect =
    QStringLiteral("SELECT markt.Market, markt.id, fondsen.typeyahoo, fondsen.codeyahoo, fondsen.naamyahoo, "
                   "fondsen.list1, fondsen.list2, fondsen.list3, fondsen.list4, fondsen.list5, fondsen.list6, "
                   "fondsen.list7, fondsen.list8, fondsen.list9, fondsen.list10, fondsen.list11, fondsen.list12, "
                   "fondsen.list13, fondsen.list14, fondsen.list15, fondsen.list16 "
                   "FROM markt LEFT JOIN fondsen ON markt.id = fondsen.marktid ");

QString orderBy(const QVector<SortKey>& order)
{
    QStringList terms;
    for (SortKey key : order) {
        switch (key) {
        // Names sort as the user reads them, without regard to case.
        case SortKey::Market:
            terms << QStringLiteral("markt.Market COLLATE NOCASE");
            break;
        case SortKey::Type:
            terms << QStringLiteral("fondsen.typeyahoo COLLATE NOCASE");
            break;
        case SortKey::Name:
            terms << QStringLiteral("fondsen.naamyahoo COLLATE NOCASE");
            break;
        case SortKey::Ticker:
            terms << QStringLiteral("fondsen.codeyahoo");
            break;
        }
    }
    return terms.isEmpty() ? QString() : QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
}

QVector<Symbol> readRows(Statement& st)
{
    QVector<Symbol> rows;
    while (st.next()) {
        Symbol r;
        r.market = st.text(0);
        r.marketId = static_cast<int>(st.integer(1));
        r.type = st.text(2);
        r.ticker = st.text(3);
        r.name = st.text(4);
        for (int n = 1; n <= kCount; ++n)
            r.on[n] = st.integer(4 + n) != 0;
        rows.append(r);
    }
    return rows;
}

QVector<Symbol> readSymbols(Statement& st)
{
    QVector<Symbol> symbols;
    while (st.next()) {
        Symbol s;
        s.marketId = static_cast<int>(st.integer(0));
        s.ticker = st.text(1);
        s.name = st.text(2);
        s.type = st.text(3);
        symbols.append(s);
    }
    return symbols;
}

// The symbols of a local search: those meeting `condition`, whose one
// parameter is `value`.
QVector<Symbol> found(Database& db, const QString& condition, const QString& value)
{
    Statement st =
        db.prepare(QStringLiteral("SELECT markt.Market, fondsen.typeyahoo, fondsen.codeyahoo, fondsen.naamyahoo "
                                  "FROM markt LEFT JOIN fondsen ON markt.id = fondsen.marktid WHERE ") +
                   condition + QStringLiteral(" ORDER BY markt.Market COLLATE NOCASE, fondsen.codeyahoo"));
    st.bind(1, value);
    QVector<Symbol> rows;
    while (st.next()) {
        Symbol r;
        r.market = st.text(0);
        r.type = st.text(1);
        r.ticker = st.text(2);
        r.name = st.text(3);
        rows.append(r);
    }
    return rows;
}
}  // namespace

bool validList(int n) { return n >= 1 && n <= kCount; }

QString column(int n)
{
    if (!validList(n))
        throw AppError(9, QStringLiteral("List number %1 is not between 1 and 16").arg(n));
    return QStringLiteral("list%1").arg(n);
}

QString chooserCaption(int n)
{
    return QStringLiteral("list %1 - %2").arg(n).arg(validList(n) ? settings().listNames[n] : QString());
}

QString checkboxCaption(int n)
{
    return QStringLiteral("%1 - %2").arg(n).arg(validList(n) ? settings().listNames[n] : QString());
}

void setName(int n, const QString& name)
{
    if (!validList(n))
        return;
    store::write(QStringLiteral("list%1").arg(n), name);
    settings().listNames[n] = name;
    announce::lists();
}

void addMarket(Database& db, int marketId, int n)
{
    db.exec(QStringLiteral("UPDATE fondsen SET %1 = 1 WHERE marktid = ?").arg(column(n)), {marketId});
}

void empty(Database& db, int n)
{
    const QString c = column(n);
    db.exec(QStringLiteral("UPDATE fondsen SET %1 = 0 WHERE %1 = 1").arg(c));
}

QVector<Symbol> symbolsOfList(Database& db, int n, const QVector<SortKey>& order)
{
    Statement st = db.prepare(kDisplaySelect + QStringLiteral("WHERE fondsen.%1 = 1").arg(column(n)) + orderBy(order));
    return readRows(st);
}

QVector<Symbol> symbolsOfMarket(Database& db, int marketId, const QVector<SortKey>& order)
{
    Statement st = db.prepare(kDisplaySelect + QStringLiteral("WHERE markt.id = ?") + orderBy(order));
    st.bind(1, marketId);
    return readRows(st);
}

QVector<QPair<int, QString>> markets(Database& db)
{
    Statement st = db.prepare(QStringLiteral("SELECT id, Market FROM markt ORDER BY Market"));
    QVector<QPair<int, QString>> result;
    while (st.next())
        result.append({static_cast<int>(st.integer(0)), st.text(1)});
    return result;
}

QVector<QPair<QString, int>> marketSizes(Database& db)
{
    Statement st = db.prepare(QStringLiteral(
        "SELECT markt.Market, count(fondsen.codeyahoo) FROM markt LEFT JOIN fondsen ON markt.id = fondsen.marktid "
        "GROUP BY markt.id ORDER BY markt.Market"));
    QVector<QPair<QString, int>> result;
    while (st.next())
        result.append({st.text(0), static_cast<int>(st.integer(1))});
    return result;
}

QVector<Symbol> symbolsNamedLike(Database& db, const QString& pattern)
{
    return found(db, QStringLiteral("fondsen.naamyahoo LIKE ?"), pattern);
}

QVector<Symbol> symbolsWithTicker(Database& db, const QString& ticker)
{
    // Symbols are compared as the user typed them, whatever the case.
    return found(db, QStringLiteral("fondsen.codeyahoo = ? COLLATE NOCASE"), ticker);
}

QStringList knownTickers(Database& db, const QStringList& tickers, QStringList& unknown)
{
    QStringList known;
    Statement st = db.prepare(QStringLiteral("SELECT 1 FROM fondsen WHERE codeyahoo = ?"));
    for (const QString& t : tickers) {
        st.reset();
        st.bind(1, t);
        (st.next() ? known : unknown) << t;
    }
    return known;
}

QVector<Symbol> symbolsForDownload(Database& db, int n) { return symbolsForDownload(db, QVector<int>{n}); }

QVector<Symbol> symbolsForDownload(Database& db, const QVector<int>& listNumbers)
{
    QVector<int> chosen = listNumbers;
    std::sort(chosen.begin(), chosen.end());
    QStringList terms;
    for (int n : chosen)
        terms << column(n) + QStringLiteral(" = 1");
    if (terms.isEmpty())
        return {};
    terms.removeDuplicates();
    Statement st = db.prepare(QStringLiteral("SELECT marktid, codeyahoo, naamyahoo, typeyahoo FROM fondsen WHERE ") +
                              terms.join(QStringLiteral(" OR ")) + QStringLiteral(" ORDER BY rowid"));
    return readSymbols(st);
}

int symbolCount(Database& db, int n)
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM fondsen WHERE %1 = 1").arg(column(n))).toInt();
}

int totalSymbolCount(Database& db) { return db.scalar(QStringLiteral("SELECT count(*) FROM fondsen")).toInt(); }

}  // namespace lists

Lijstinvoeg::Lijstinvoeg() : db_(Database::openDefault()) {}

Lijstinvoeg::~Lijstinvoeg() = default;

bool Lijstinvoeg::downloaden(const QString& ticker, bool value, const QString& column)
{
    if (ticker.isEmpty())
        return true;
    BusyPointer busy;
    return guarded([&] {
               // The column name is checked against the list columns, never passed on.
               int n = 0;
               if (column.startsWith(QLatin1String("list"), Qt::CaseInsensitive))
                   n = column.mid(4).toInt();
               db_->exec(QStringLiteral("UPDATE fondsen SET %1 = ? WHERE codeyahoo = ?").arg(lists::column(n)),
                         {value ? 1 : 0, ticker});
           }) != StepOutcome::Aborted;
}

bool Lijstinvoeg::remove(const QString& ticker)
{
    return guarded([&] { db_->exec(QStringLiteral("DELETE FROM fondsen WHERE codeyahoo = ?"), {ticker}); }) !=
           StepOutcome::Aborted;
}

void Lijstinvoeg::batch(const std::function<void()>& work)
{
    Transaction t(*db_);
    work();
    t.commit();
}
