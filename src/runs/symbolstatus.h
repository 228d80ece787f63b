#pragma once

#include "database/lists.h"
#include "writers/storedfiles.h"

#include <QChar>
#include <QDate>
#include <QSet>
#include <QString>
#include <QVector>
#include <memory>
#include <vector>

class Database;
class QuoteStore;

// The state of every symbol of a list in the files of the formats that are
// on: the last stored day per format, whether the symbol's files are
// behind the others or missing, and the outcome of its last download as the
// bookkeeping tables record it. The list window and "quotaris status" show
// the same figures.
namespace symbolstatus {

enum class FileState { Ok, Behind, Missing };

// "ok", "behind", "missing".
QString stateText(FileState state);

// What marks a symbol whose last stored day is provisional: "provisional".
QString provisionalText();

// The last download as the bookkeeping tables have it: "failed" (not
// downloaded in the last current run), "not found", "rejected", "history
// failed" or "history timed out" (a range of the last historical run not
// got); else, from the files: "not downloaded" (no file holds a day of the
// symbol), "old session" (a file lacks the latest session of its format),
// and "ok" only when every file holds the latest session.
enum class Outcome { Ok, Failed, NotFound, Rejected, HistoryFailed, HistoryTimedOut, NotDownloaded, OldSession };
QString outcomeText(Outcome outcome);

// A symbol falls behind when its last day is more than this many trading
// days (Monday to Friday) older than the newest last day of the format.
constexpr int kBehindTradingDays = 3;

// Trading days after `from` up to and including `to`; 0 when `to` is not
// later.
int tradingDaysBetween(QDate from, QDate to);

struct FormatDate {
    QChar letter;
    QDate last;  // invalid: no file, or no dated day in it
    FileState state = FileState::Missing;
};

struct SymbolStatus {
    QString ticker;
    QVector<FormatDate> formats;  // one per format shown, in their order
    Outcome outcome = Outcome::Ok;
    // The symbol's last day in the quote store when the store holds it as
    // provisional (taken before its exchange closed); invalid otherwise.
    QDate provisional;
    // Open gaps of the symbol in the quote store (missing sessions and
    // earlier days still provisional) among its market's last kGapSessions
    // sessions; set by addGaps().
    int gaps = 0;

    // The worst state over the formats: missing, else behind, else ok.
    FileState worst() const;
};

// The formats that are on and whose files can be read back for a symbol,
// in the order of the formats' registry.
QVector<QChar> formatsShown();

// Reads the last days of one symbol after the other: the bookkeeping
// tables and the MetaStock master files once, then each symbol's text file
// from its end, and its last day in the quote store when there is one. The states are set by markBehind once every
// symbol is read.
class StatusReader {
public:
    StatusReader(Database& db, QVector<QChar> letters);
    ~StatusReader();

    const QVector<QChar>& letters() const { return letters_; }
    SymbolStatus read(const lists::Symbol& symbol) const;

private:
    QVector<QChar> letters_;
    std::vector<std::unique_ptr<StoredLookup>> lookups_;  // one per letter; nullptr for a letter of no format
    std::unique_ptr<QuoteStore> store_;                   // nullptr when there is none or it cannot be read
    QSet<QString> failed_, notFound_, rejected_, historyFailed_, historyTimedOut_;
};

// Sets every format's state: missing without a last day, behind when more
// than kBehindTradingDays older than the newest last day among `symbols`
// in that format, else ok. An "ok" outcome is kept only for a symbol whose
// every file holds that newest day.
void markBehind(QVector<SymbolStatus>& symbols);

// The sessions of a market over which addGaps() counts a symbol's gaps.
constexpr int kGapSessions = 30;

// Sets every symbol's open gaps from the gap fill's survey of the quote
// store (gapfill::survey); none without a store. Throws StoreError.
void addGaps(QVector<SymbolStatus>& symbols);

// The status of every symbol in the formats shown, states set.
QVector<SymbolStatus> statusOf(Database& db, const QVector<lists::Symbol>& symbols);

}  // namespace symbolstatus
