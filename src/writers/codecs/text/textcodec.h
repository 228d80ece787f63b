#pragma once

#include "writers/codecs/codec.h"
#include "writers/codecs/text/textformats.h"

// Reading back the files of a per-symbol text layout (Stockguru, Advanced
// GET, ASCII): one reader of the layout's lines for the chart, status,
// `check` and the integrity check.
class TextCodec final : public StoredCodec {
public:
    TextCodec(const TextQuoteWriter& layout, QChar letter) : layout_(layout), letter_(letter) {}

    std::unique_ptr<StoredLookup> lookup(Database& db, const ExportFormat& format) const override;
    StoredBars readFile(const QString& path) const override;
    storedfiles::Series readSeries(const QString& path) const override;
    QDate lastDate(const QString& path) const override;
    std::optional<checkfiles::StoredFile> parse(const QByteArray& content) const override;
    bool isOwnContent(const QByteArray& content) const override;
    QByteArray fieldBytes(const Quote& now, int field, checkfiles::StoredFile::Place place) const override;
    std::optional<integrity::Bar> lastDay(const QString& path, textio::KeptTails* kept) const override;

private:
    const TextQuoteWriter& layout_;
    QChar letter_;
};
