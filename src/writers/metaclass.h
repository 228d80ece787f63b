#pragma once

#include "core/bar.h"
#include "mslink/records.h"
#include "support/cancel.h"
#include "support/errors.h"
#include "writers/quote.h"

#include <QString>
#include <map>

struct MetastockRunState;

// Writes quotes into the MetaStock folder of their symbol (found or placed
// by classzoekmetastock). Set the properties (or setBar), then go() for one
// quote; or NaamHistorie, GeefHistorieticker, days() (or raw()) and goraw()
// for a history block.
//
// go(): a new date is appended; a date already stored is changed unless the
// stored volume is larger. goraw(): the block is merged with the stored
// records (a new record replaces a stored one of its date unless its volume
// is smaller). Outcome Done when the quote or block is in the folder,
// Ignored when it was skipped (no folder, Cancel, a failure), Aborted when
// the user chose Abort in the error dialog.
class metaclass {
public:
    // `run` outlives the writer.
    explicit metaclass(MetastockRunState& run) : run_(run) {}

    void NaamHistorie(const QString& name);
    void GeefHistorieticker(const QString& ticker);
    void islaatste(bool last) { islaatste_ = last; }
    bool islaatste() const { return islaatste_; }
    // The run's Stop: a quote or block not begun is left out.
    void cancelWith(const CancelToken* token) { cancel_ = token; }

    void ticker(const QString& value);
    void tdate(qint32 value);
    void topen(double value);
    void thigh(double value);
    void tlow(double value);
    void tclose(double value);
    void tvolume(double value);
    void tname(const QString& value);
    // All of the above from a quote of the text writers.
    void setQuote(const Quote& quote);
    // All of the above from a bar: its numbers.
    void setBar(const QString& ticker, const QString& name, const core::Bar& bar);

    StepOutcome go();

    // A history block: lines "TICKER,YYYYMMDD,OPEN,HIGH,LOW,CLOSE,VOLUME"
    // separated by CR LF (or LF). Lines that do not read are left out.
    void raw(const QString& block);
    // A history block as bars; days dated before 1900 are left out.
    void days(const QVector<core::Bar>& days);
    StepOutcome goraw();

    // The records of the block, ascending by date.
    const mslink::RecordArrays& block() const { return block_; }

private:
    void setBlock(const std::map<qint32, mslink::Record>& byDate);

    MetastockRunState& run_;
    const CancelToken* cancel_ = nullptr;
    QString ticker_, name_, historyTicker_, historyName_;
    qint32 date_ = 0;
    float open_ = 0, high_ = 0, low_ = 0, close_ = 0, volume_ = 0;
    mslink::RecordArrays block_;
    qint32 lowest_ = 0, highest_ = 0;
    bool islaatste_ = false;
};

// The history merge of goraw(): the stored records with the new ones, in
// date order.
mslink::RecordArrays mergeHistory(const mslink::RecordArrays& stored, const mslink::RecordArrays& fresh);
