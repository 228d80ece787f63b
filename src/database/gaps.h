#pragma once

#include "database/quotestore.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

// Missing sessions and provisional days, found in the quote store without a
// calendar of our own: an exchange's sessions are the days on which most of
// its symbols in the store have a final bar.
namespace gaps {

// Fewer symbols of an exchange in the store than this do not tell its
// sessions; its main index does, or nothing.
constexpr int kMinSymbols = 10;
// A day still missing this many sessions later is given up.
constexpr int kGiveUpAfter = 10;

struct SymbolGaps;

// What the store holds of one exchange's symbols from a day on, read once:
// its sessions, and each symbol's gaps among them.
class Exchange {
public:
    Exchange(QuoteStore& store, const QStringList& tickers, qint32 from);

    // The sessions from `from` on (YYYYMMDD, ascending): the days on which
    // more than half of the symbols whose stored history spans the day have a
    // final bar. Empty when fewer than kMinSymbols of them have bars.
    QVector<qint32> sessions() const;
    // As gaps::gapsOf, for one of the exchange's symbols.
    SymbolGaps gapsOf(const QString& ticker, const QVector<qint32>& sessions, qint32 dropped = 0) const;

private:
    struct Held {
        qint32 first = 0;  // the first stored day of all
        QVector<QuoteStore::DayFlags> days;
    };
    QuoteStore& store_;
    QHash<QString, Held> held_;
};

QVector<qint32> sessionsOf(QuoteStore& store, const QStringList& tickers, qint32 from);
// The sessions an index tells: the days of its final bars from `from` on.
QVector<qint32> sessionsOfIndex(QuoteStore& store, const QString& index, qint32 from);

struct SymbolGaps {
    QString ticker;
    QVector<qint32> missing;      // sessions the store lacks, to ask for
    QVector<qint32> provisional;  // days before the last session still provisional
    QVector<qint32> givenUp;      // missing for kGiveUpAfter sessions or more
    bool open() const { return !missing.isEmpty() || !provisional.isEmpty(); }
};

// The gaps of `ticker` among `sessions` (ascending). Its expected days run
// from its first stored day to the last session, or to `dropped` (YYYYMMDD)
// when the symbol was dropped. Days the provider's answer settled as without
// trading are no gaps.
SymbolGaps gapsOf(QuoteStore& store, const QString& ticker, const QVector<qint32>& sessions, qint32 dropped = 0);

// The sessions of the last `count` in `sessions`, from which gaps are
// looked for (all of them when `count` is 0).
QVector<qint32> lastSessions(const QVector<qint32>& sessions, int count);

}  // namespace gaps
