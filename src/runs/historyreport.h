#pragma once

#include "database/bookkeeping.h"
#include "runs/findingsreport.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

// What the latest historical run recorded in the history table, as the
// report shows it: the ranges got, the ranges not got and the ranges that
// timed out, each in table order.
class HistoryReport {
public:
    struct Entry {
        QString ticker;
        QDate start, end;
        bool operator==(const Entry&) const = default;
    };

    // Reads the three lists; a table that cannot be read gives empty lists.
    void load();

    QVector<Entry> downloaded;                      // gelukt
    QVector<Entry> notDownloaded;                   // nietgelukt
    QVector<Entry> timedOut;                        // timeout
    QVector<bookkeeping::FindingRow> findings;      // findings of the integrity check
    QVector<findingsreport::RepairedDay> repaired;  // the days repaired, as sent and as written
    int unsuccessful = 0;                           // rows not got, what a retry downloads again

    // True when a retry has something to download.
    bool missing() const { return unsuccessful > 0; }

    // The explanation beside each list, one sentence per element.
    static QStringList downloadedText();
    static QStringList notDownloadedText();
    static QStringList timedOutText();
};
