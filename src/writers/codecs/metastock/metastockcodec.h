#pragma once

#include "writers/codecs/codec.h"

// Reading back MetaStock: a folder is one database of securities, found
// through the ticker-to-folder map and the folders below the root.
class MetastockCodec final : public StoredCodec {
public:
    std::unique_ptr<StoredLookup> lookup(Database& db, const ExportFormat& format) const override;
    bool keepsFolders() const override { return true; }
    bool isOwnFolder(const QString& folder) const override;
};
