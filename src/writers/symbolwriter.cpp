#include "writers/symbolwriter.h"

#include "support/paths.h"
#include "writers/filenames.h"
#include "writers/formatregistry.h"

void SymbolFileWriter::writeDays(const SymbolFile& file, const Quote& block, const QVector<core::Bar>& days)
{
    QVector<Quote> quotes;
    quotes.reserve(days.size());
    for (const core::Bar& d : days)
        quotes.append(quotetext::quoteOf(block.ticker, block.name, d));
    writeBlock(file, quotes);
}

std::unique_ptr<SymbolFileWriter> makeSymbolWriter(QChar letter)
{
    const ExportFormat* format = formats::find(letter);
    return format && format->perSymbolFiles() ? format->makeFileWriter() : nullptr;
}

SymbolFile symbolFile(QChar letter, const QString& ticker, const QString& tname)
{
    const ExportFormat* format = formats::find(letter);
    if (!format || !format->hasFolder() || !format->hasLongNames())
        return {};
    const FormatSettings& s = format->chosen();
    const QString base = s.longNames ? filenames::longBaseName(tname) : filenames::tickerBaseName(ticker);
    if (base.isEmpty())
        return {};
    QString folder = s.folder;
    if (folder.isEmpty())
        folder = paths::fallbackFolder();
    return {paths::withTrailingSlash(folder) + base + QLatin1String(format->extension), base};
}
