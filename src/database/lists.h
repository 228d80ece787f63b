#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <array>
#include <functional>
#include <memory>

class Database;

// The sixteen lists. Membership of list n is the yes/no column "list<n>" of
// fondsen; the names live in the settings store.
namespace lists {

constexpr int kCount = 16;

bool validList(int n);
// "list<n>"; throws AppError for a number outside 1..16, so no other text
// can ever reach a statement as a column name.
QString column(int n);

// "list <n> - <name>", as the list choosers show it.
QString chooserCaption(int n);
// "<n> - <name>", as the list check boxes show it.
QString checkboxCaption(int n);

// Stores the name of list n under "list<n>" in the settings store and in the
// process-wide list-name table.
void setName(int n, const QString& name);

// One row of fondsen, with the name of its market. Each read fills the
// columns it selects and leaves the other members at their defaults.
struct Symbol {
    QString market;
    int marketId = 0;
    QString type;
    QString ticker;
    QString name;
    std::array<bool, kCount + 1> on{};  // on[n]: on list n
};

// Sort keys for the list windows; the first is the main one.
enum class SortKey { Market, Type, Name, Ticker };

// Puts every symbol of a market on list n.
void addMarket(Database& db, int marketId, int n);
// Takes every symbol off list n (other lists keep them).
void empty(Database& db, int n);
// Symbols of list n, by default ordered by market, type and name.
QVector<Symbol> symbolsOfList(Database& db, int n,
                              const QVector<SortKey>& order = {SortKey::Market, SortKey::Type, SortKey::Name});
// Symbols of one market, by default ordered by ticker, name and type.
QVector<Symbol> symbolsOfMarket(Database& db, int marketId,
                                const QVector<SortKey>& order = {SortKey::Ticker, SortKey::Name, SortKey::Type});
// Every market (id, name), by name.
QVector<QPair<int, QString>> markets(Database& db);
// Every market (name, number of its symbols), by name; a market without
// symbols counts 0.
QVector<QPair<QString, int>> marketSizes(Database& db);

// The symbols (market, type, ticker and name) whose name is LIKE `pattern`,
// or whose ticker is `ticker` whatever its case; by market, then ticker.
QVector<Symbol> symbolsNamedLike(Database& db, const QString& pattern);
QVector<Symbol> symbolsWithTicker(Database& db, const QString& ticker);

// The tickers that are in the database, in the order given; the others go
// to `unknown`.
QStringList knownTickers(Database& db, const QStringList& tickers, QStringList& unknown);

// The symbols to download for list n, or for several lists (each symbol
// once, however many of the lists hold it).
QVector<Symbol> symbolsForDownload(Database& db, int n);
QVector<Symbol> symbolsForDownload(Database& db, const QVector<int>& listNumbers);

int symbolCount(Database& db, int n);
// The number of symbols in the database, on a list or not.
int totalSymbolCount(Database& db);

}  // namespace lists

// Changes one symbol's list membership, or removes it, on a connection of
// its own held for the life of the instance.
class Lijstinvoeg {
public:
    Lijstinvoeg();  // throws DbError when the database cannot be opened
    ~Lijstinvoeg();

    // Sets `column` (a list column, "list1".."list16") of the symbol to
    // `value`; a ticker that is not in the database changes nothing.
    // Both return false when the user chose Abort in the error dialog.
    bool downloaden(const QString& ticker, bool value, const QString& column);
    bool remove(const QString& ticker);
    // Runs `work` (calls on this instance) as one transaction, so a selection
    // of thousands of symbols is written at once instead of row by row. What
    // was done before the user chose Abort is kept.
    void batch(const std::function<void()>& work);

private:
    std::unique_ptr<Database> db_;
};
