#pragma once

#include "database/lists.h"

#include <QString>
#include <QStringList>
#include <QVector>

// What the list management window does to the lists and the database, run
// the same way by its buttons, its right-click menus and the headless
// commands. Every operation opens its own connections, asks its questions
// through the message interface and runs its statements under the error
// dialog. `n` is the current list; tickers are the chosen rows in grid order.
namespace listedit {

// The columns of the two grids, by title.
enum class Column { Market, Symbol, Name, Type };

// The order of the list grid and of the market grid when sorted by `column`.
// The market grid has no market column; sorting it by market keeps the
// symbol order.
QVector<lists::SortKey> listOrder(Column column);
QVector<lists::SortKey> marketOrder(Column column);

// Each returns false when nothing was done: an empty selection, a question
// answered No, or Abort in the error dialog before the first change.

// Puts the symbols on list n.
bool addSelected(const QStringList& tickers, int n);
// Puts every symbol of the market on list n; market 0 (none chosen) does
// nothing.
bool addAll(int marketId, int n);
// Takes every symbol off list n after asking; an empty list is not asked
// about.
bool removeAll(int n);
// Takes the symbols off list n.
bool removeSelected(const QStringList& tickers, int n);
// Deletes the symbols from the database (and so from every list) after the
// question of the "Remove from database" button.
bool removeFromDatabase(const QStringList& tickers);
// Copies the symbols of list n to list m, or moves them (off list n). A copy
// or move onto the list itself does nothing.
bool kopieernaarlijst(const QStringList& tickers, int m, bool move, int n);
// Deletes the symbols from the database after the question of the market
// grid's right-click menu.
bool verwijdervandatabase(const QStringList& tickers);

}  // namespace listedit
