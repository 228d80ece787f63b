#include "writers/formatwriter.h"

#include "writers/formatregistry.h"

int WriteCounts::totalWritten() const
{
    int total = 0;
    for (int n : written)
        total += n;
    return total;
}

void CurrentBatch::fillMissingPrices()
{
    for (Quote& q : quotes) {
        for (QString* price : {&q.open, &q.high, &q.low}) {
            if (*price == QLatin1String("0"))
                *price = q.close;
        }
    }
}

const QString& HistoryBlock::lines() const
{
    if (!linesBuilt_) {
        for (const HistoryRecord& r : days_)
            lines_ += r.line() + QStringLiteral("\r\n");
        linesBuilt_ = true;
    }
    return lines_;
}

const QVector<Quote>& HistoryBlock::quotes(const QString& name) const
{
    if (!quotesBuilt_ || quotesName_ != name) {
        quotes_.clear();
        quotes_.reserve(days_.size());
        for (const HistoryRecord& r : days_)
            quotes_.append({r.ticker, name, r.date, r.open, r.high, r.low, r.close, r.volume});
        quotesName_ = name;
        quotesBuilt_ = true;
    }
    return quotes_;
}

FormatWriter::~FormatWriter() = default;

QChar FormatWriter::letter() const { return format_.letter; }

bool FormatWriter::begin(ExportRun&) { return true; }

void FormatWriter::finish(ExportRun&) {}
