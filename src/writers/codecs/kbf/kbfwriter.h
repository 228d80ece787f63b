#pragma once

#include "writers/symbolwriter.h"

#include <QByteArray>

// KBF: a file of 14-byte records, one per date, no header. The open price is
// not stored. A file whose size is not a multiple of 14 counts as corrupt.
class KbfWriter : public SymbolFileWriter {
public:
    static constexpr int kRecordSize = 14;

    QChar letter() const override { return QLatin1Char('K'); }
    void write(const SymbolFile& file, const Quote& quote) override;
    void writeBlock(const SymbolFile& file, const QVector<Quote>& quotes) override;
    void writeDays(const SymbolFile& file, const Quote& block, const QVector<core::Bar>& days) override;

    // The record of a quote.
    static QByteArray record(const Quote& quote);
    // The date of a record as YYYYMMDD (two-digit years below 50 are 20xx).
    static qint32 recordDate(const char* record);
    // A price as three bytes: integer part low, high, fraction in 1/256.
    static void priceBytes(double price, unsigned char* out);
    // The price of three such bytes, to the cent it was written with.
    static double bytesPrice(const unsigned char* bytes);
    // The volume of a record.
    static qint64 recordVolume(const char* record);
};
