#pragma once

#include "support/cancel.h"
#include "support/errors.h"
#include "writers/quote.h"
#include "writers/symbolwriter.h"

#include <QString>
#include <QVector>

namespace textio {
class KeptTails;
}

// Writes quotes into the per-symbol files of one format: Stockguru (no
// switch set), Advanced GET (schrijfGET), ASCII (schrijfascii) or KBF
// (schrijfkbf). Set the properties, then call go() for one quote, or raw()
// and goraw() for a history block. A file that cannot be read is reported as
// "The file ... is corrupt", one that cannot be rewritten with the system's
// reason; either is left as it was. A failed append goes to the error
// dialog, whose Abort the outcome passes on.
class clsschrijfstock {
public:
    StepOutcome go();
    void raw(const QString& block);
    // The same block as quotes, for a caller that has them already decoded.
    void raw(const QVector<Quote>& block);
    // The same block as the days of `ticker`, each a quote of it with this
    // name (tname): written as raw() of those quotes writes them, without
    // making them.
    void days(const QString& ticker, const QVector<core::Bar>& days);
    StepOutcome goraw();
    // The run's Stop ends a block between its quotes.
    void cancelWith(const CancelToken* token) { cancel_ = token; }
    // The ends of files the run read ahead, for go() to take over.
    void takeTailsFrom(textio::KeptTails* kept) { kept_ = kept; }

    void ticker(const QString& value);
    void tdate(qint32 value);
    void tdate(const QString& value);
    void topen(const QString& value);
    void thigh(const QString& value);
    void tlow(const QString& value);
    void tclose(const QString& value);
    void tvolume(const QString& value);
    void tname(const QString& value);
    // All of the above from one quote.
    void setQuote(const Quote& quote);
    void schrijfascii(bool on) { ascii_ = on; }
    void schrijfkbf(bool on) { kbf_ = on; }
    void schrijfGET(bool on) { get_ = on; }
    // Any per-symbol format by its letter, in place of the switches.
    void useFormat(QChar letter) { format_ = letter; }

    const Quote& quote() const { return quote_; }
    // Quotes of the last go() or goraw() that reached their file; a quote
    // without a valid date or a usable file name, or one whose file is
    // corrupt, did not.
    int written() const { return written_; }
    // Why the last go() or goraw() could not write a file, "" when it could.
    QString failure() const { return failure_; }
    // That failure holds for every file of the folder (a full disk, a
    // read-only folder): writing more of this format is pointless.
    bool folderFailed() const { return folderFailed_; }
    // The format letter: the one given to useFormat(), else the one the
    // switches choose: C, K, D or S.
    QChar letter() const;

private:
    const CancelToken* cancel_ = nullptr;
    textio::KeptTails* kept_ = nullptr;
    StepOutcome write(const QVector<Quote>& quotes, bool block);
    StepOutcome writeDays();
    // One file's part of the quotes, written by `work`: its failures
    // reported, its quotes counted when it was written.
    template <class Work>
    StepOutcome writeFile(const SymbolFile& file, int quotes, const Work& work);
    static void reportCorrupt(const QString& file);

    Quote quote_;
    QVector<Quote> block_;
    // A block of days (days()) in place of block_.
    bool hasDays_ = false;
    QString daysTicker_;
    QVector<core::Bar> days_;
    bool ascii_ = false, kbf_ = false, get_ = false;
    QChar format_;
    int written_ = 0;
    QString failure_;
    bool folderFailed_ = false;
};
