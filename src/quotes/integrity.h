#pragma once

#include "core/bar.h"

#include <QString>
#include <QStringView>
#include <QVector>
#include <optional>

// The integrity check every quote passes before a writer sees it, and the
// repairs it can make without guessing. Pure code: a symbol's days and what
// is known around them in, findings (and repaired days) out.
namespace integrity {

enum class Kind { Bounds, Negative, Zero, Jump, UnitSwitch, Split, Repeat, Weekend, Outside, Stale };
// The stable short code a finding is stored and printed under ("bounds").
QString code(Kind kind);

// What the user wants done with a finding (store key IntegrityAction).
enum class Action { Flag, Repair, Skip };
QString actionName(Action action);                       // "flag", "repair", "skip"
std::optional<Action> actionFromName(QStringView name);  // any case
Action storedAction();                                   // the setting; Flag when unset or unknown

// The numbers of one day, what the check works on; a missing price is 0.
struct Bar {
    qint32 date = 0;  // YYYYMMDD
    double open = 0, high = 0, low = 0, close = 0, volume = 0;
};

// A split the provider reported: from `date` on one old share is `ratio`
// new ones (4 for a 4:1 split, 0.1 for a 1:10 reverse split).
struct SplitEvent {
    qint32 date = 0;
    double ratio = 1;
};

struct Context {
    QString ticker;
    qint32 first = 0, last = 0;  // the range asked, YYYYMMDD; 0 when open
    std::optional<Bar> stored;   // the latest day the user's files hold already
    bool stock = true;           // false for an index or a currency
    QVector<SplitEvent> splits;  // when the provider told
    Action action = Action::Flag;
};

// An index ("^...") or a currency ("...=X"): the symbols for which a day
// without volume, or a day like the one before, is normal.
bool isStock(QStringView ticker);

struct Finding {
    QString ticker;
    qint32 date = 0;  // the day, or the first day of a block
    Kind kind = Kind::Bounds;
    QString seen;  // what was wrong, in a few words
    QString done;  // "flagged", "repaired: ...", "skipped"
    // The days concerned, as indexes into the days checked.
    int first = 0, count = 1;
    bool repaired = false;

    // "TICKER yyyy-MM-dd kind: seen; done" (one report line).
    QString line() const;
};

// Checks `bars` (oldest first, one per date). With Action::Repair the
// unambiguous faults are repaired in place; every finding says what was
// done. Ambiguous ones are flagged whatever the action.
QVector<Finding> check(QVector<Bar>& bars, const Context& context);

// The same for days with their texts: a rewritten figure gets a text for its
// new value (see priceText; a volume as a whole number) and the number that
// text reads as, and its bar the Repaired flag.
QVector<Finding> check(QVector<core::Bar>& days, const Context& context);

// The same for a historical run's days; with Action::Skip the days of a
// finding are removed.
QVector<Finding> checkHistory(QVector<core::Bar>& days, const Context& context);

// One current quote (no range, no neighbours but `context.stored`). With
// Action::Skip a quote with a finding is marked core::Bar::Refused.
QVector<Finding> checkCurrent(core::Bar& quote, const Context& context);

// A price text as a number ("," as "."); 0 for an empty or unreadable text.
double number(QStringView text);
// A repaired price as text: rounded to ten significant digits, so that
// 12.34 * 100 prints as 1234.
QString priceText(double value);

}  // namespace integrity
