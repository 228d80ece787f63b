#include "writers/formatwriter.h"

#include "writers/formatregistry.h"

int WriteCounts::totalWritten() const
{
    int total = 0;
    for (int n : written)
        total += n;
    return total;
}

Quote CurrentBatch::quote(qsizetype i) const
{
    const CurrentQuote& q = quotes[i];
    return quotetext::quoteOf(q.ticker, q.name, q.bar);
}

void CurrentBatch::fillMissingPrices()
{
    for (CurrentQuote& q : quotes) {
        for (core::Figure* price : {&q.bar.open, &q.bar.high, &q.bar.low}) {
            if (price->text == QLatin1String("0"))
                *price = q.bar.close;
        }
    }
}

const QVector<Quote>& HistoryBlock::quotes(const QString& name) const
{
    if (!quotesBuilt_ || quotesName_ != name) {
        quotes_.clear();
        quotes_.reserve(days_.size());
        for (const core::Bar& d : days_)
            quotes_.append(quotetext::quoteOf(ticker_, name, d));
        quotesName_ = name;
        quotesBuilt_ = true;
    }
    return quotes_;
}

FormatWriter::~FormatWriter() = default;

QChar FormatWriter::letter() const { return format_.letter; }

bool FormatWriter::begin(ExportRun&) { return true; }

void FormatWriter::finish(ExportRun&) {}
