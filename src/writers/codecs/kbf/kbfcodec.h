#pragma once

#include "writers/codecs/codec.h"

// Reading back KBF files: records of 14 bytes, no open.
class KbfCodec final : public StoredCodec {
public:
    explicit KbfCodec(QChar letter) : letter_(letter) {}

    std::unique_ptr<StoredLookup> lookup(Database& db, const ExportFormat& format) const override;
    bool binary() const override { return true; }
    StoredBars readFile(const QString& path) const override;
    storedfiles::Series readSeries(const QString& path) const override;
    QDate lastDate(const QString& path) const override;
    std::optional<checkfiles::StoredFile> parse(const QByteArray& content) const override;
    // Whole records of valid dates in ascending order, and not text.
    bool isOwnContent(const QByteArray& content) const override;
    QByteArray fieldBytes(const Quote& now, int field, checkfiles::StoredFile::Place place) const override;

private:
    QChar letter_;
};
