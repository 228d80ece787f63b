#pragma once

#include "core/bar.h"
#include "database/gaps.h"
#include "runs/historyrun.h"

#include <QDate>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

class QuoteStore;

// Finding the sessions the store lacks of a set of symbols and asking the
// provider for them again: a survey of the gaps, the history ranges that
// cover them, and what the answers tell about the days still lacking.
//
// A day the provider did not send is asked again only once its exchange has
// had a later session (once per session, symbol and day). What an answer
// tells about such a day:
//  - it holds the day: filled;
//  - its nearest days before and after the day both have volume 0: the
//    symbol did not trade around it; settled, never asked again;
//  - it covers days before and after the day, and the day is not lacking
//    from every answer of the same market that covers it (when two or more
//    do, a day none of them holds is a hole the provider fills later): the
//    symbol did not trade that day; settled;
//  - otherwise (the answer ends before the day, or the whole market lacks
//    it): the provider may still fill it; recorded with the session after
//    which it was asked and the number of tries. A day asked for that is
//    still missing kGiveUpAfter sessions later is given up.
namespace gapfill {

// A symbol's gaps and what to ask of them.
struct Plan {
    gaps::SymbolGaps gaps;
    QString market;
    qint32 lastSession = 0;   // its market's latest session
    QVector<qint32> ask;      // missing and provisional days to ask for now
    QVector<qint32> waiting;  // missing days already asked after the latest session
    QVector<qint32> givenUp;  // asked for and missing kGiveUpAfter sessions later
    QDate from, to;           // the request: the asked days and a session either side
    bool asks() const { return !ask.isEmpty(); }
    // Its open gaps: the missing and provisional days, and the days missing
    // longer than kGiveUpAfter sessions that were never asked for (found
    // late, so asked once).
    int open() const
    {
        return static_cast<int>(gaps.missing.size() + gaps.provisional.size() + gaps.givenUp.size() - givenUp.size());
    }
    // The missing days to list: the missing ones and those found late.
    QVector<qint32> missingDays() const;
};

// A market whose sessions the store does not tell: too few of its symbols
// and no index. Its symbols are not looked at.
struct Unknown {
    QString market;
    QStringList tickers;
};

// "market XX: sessions unknown (3 symbols, not checked)"
QString unknownText(const Unknown& unknown);

struct Survey {
    QVector<Plan> plans;  // the symbols with a gap of any kind, in the order given
    QVector<Unknown> unknown;
    int checked = 0;  // symbols whose gaps were looked for
};

// The market a ticker belongs to: its exchange's suffix ("AS"; "US" for
// none), or the suffix itself for an exchange the program does not know.
QString marketOf(const QString& ticker);

// The gaps of `tickers` in their markets' last `sessions` sessions (all
// when 0). Throws StoreError.
Survey survey(QuoteStore& store, const QStringList& tickers, int sessions);

// The open gaps (Plan::open()) of each surveyed symbol that has any, by
// ticker.
QHash<QString, int> openGaps(const Survey& survey);

// One history range per symbol that asks something, named from `names`.
QVector<HistoryRun::Range> ranges(const Survey& survey, const QHash<QString, QString>& names = {});

// What became of one symbol's asked days.
struct Outcome {
    QString ticker;
    QVector<qint32> filled;   // in the answer: now in the store and the files
    QVector<qint32> settled;  // no trading that day: not asked again
    QVector<qint32> lacking;  // still missing: asked again after a later session
};

// Collects a gap fill's answers (HistoryRun::symbolAnswered) and records
// what they tell in the store's gap table.
class Answers {
public:
    void add(const QString& ticker, const QVector<core::Bar>& days);
    // The outcome of every planned symbol that got an answer, in the
    // survey's order; the lacking and settled days go into the gap table.
    // Throws StoreError.
    QVector<Outcome> record(QuoteStore& store, const Survey& survey) const;

private:
    struct Day {
        qint32 date;
        bool traded;
    };
    QHash<QString, QVector<Day>> answers_;  // ascending
};

// A whole gap fill of a set of symbols: the survey, one history request per
// symbol from the network (a HistoryRun over the ranges, through the quote
// client and its pace, into the store and every format that is on), and
// the answers recorded. The current run starts one after its own quotes
// are written.
class GapFill : public QObject {
    Q_OBJECT
public:
    explicit GapFill(QObject* parent = nullptr);
    ~GapFill() override;

    // Surveys the last `sessions` sessions of `symbols`: false when there is
    // nothing to ask for or the store cannot be read.
    bool prepare(const QVector<HistoryRun::Range>& symbols, int sessions = 30);
    // Takes a survey already made (gapfill::survey), the requests named
    // from `names`: false when it asks for nothing.
    bool prepare(Survey survey, const QHash<QString, QString>& names);
    // Starts asking what prepare() found; `finished` follows.
    void start();
    void stop();
    bool running() const;

    const Survey& survey() const { return survey_; }
    // Of the symbols that got an answer, once finished.
    const QVector<Outcome>& outcomes() const { return outcomes_; }
    const HistoryRunSummary& summary() const;
    // Why the answers could not be recorded in the store's gap table, once
    // finished; empty when they were.
    const QString& storeError() const { return storeError_; }
    // One line per symbol with days filled, settled, still missing or
    // given up: "S1.AS: filled 2004-03-02; still missing 2004-03-03".
    QStringList lines() const;
    // What the report of a run lists: lines(), then a line per market whose
    // sessions are unknown (unknownText).
    QStringList reportLines() const;

signals:
    // One symbol's request ended: `text` says what it got (as
    // HistoryRun::symbolFinished).
    void progress(const QString& ticker, int finished, int total, const QString& text);
    void finished();

private:
    void runFinished();

    std::unique_ptr<HistoryRun> run_;
    QVector<HistoryRun::Range> asked_;
    Survey survey_;
    QVector<Outcome> outcomes_;
    QString storeError_;
    Answers answers_;
};

// "2004-03-02"
QString dateText(qint32 date);
// "2004-03-02 2004-03-05"
QString datesText(const QVector<qint32>& dates);

}  // namespace gapfill
