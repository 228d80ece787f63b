#pragma once

#include "database/bookkeeping.h"
#include "runs/findingsreport.h"

#include <QString>
#include <QStringList>
#include <QVector>

// What the latest current-quote run left in the bookkeeping tables, as the
// report shows it: failed, not-found, changed and rejected symbols, and
// the integrity check's findings. Reading
// and removing run under the standard error dialog; a table that cannot be
// read gives an empty list.
class CurrentReport {
public:
    struct Change {
        QString oldTicker;
        QString newTicker;
        bool operator==(const Change&) const = default;
    };

    // Reads the five tables, each in ticker order.
    void load();

    QStringList failed;                             // nietgelukt
    QStringList notFound;                           // vervallen
    QVector<Change> changed;                        // newtickers
    QStringList rejected;                           // verworpen
    QVector<bookkeeping::FindingRow> findings;      // findings of the integrity check
    QVector<findingsreport::RepairedDay> repaired;  // the days repaired, as sent and as written
    // The gap fill after the run as the run recorded it
    // (gapfill::GapFill::lines()): per symbol the days filled and the gaps
    // left ("S1.AS: filled 2004-03-02; still missing 2004-03-03"), the days
    // given up, and each market whose sessions are unknown.
    QStringList gaps;

    // The explanation beside each list, one sentence per element.
    static QStringList failedText();
    static QStringList notFoundText();
    static QStringList changedText();
    static QStringList rejectedText();
    // The heading of the gap lines.
    static QString gapsText();

    // Offers to delete the not-found symbols from the database ("Delete
    // Symbols?"); whatever the answer, the not-found and rejected tables are
    // emptied and notFound is cleared. Returns false when the user aborted
    // in the error dialog: the tables then keep their rows, so the removal
    // can be tried again.
    bool removeNotFound();
};
