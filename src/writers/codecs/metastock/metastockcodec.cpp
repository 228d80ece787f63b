#include "writers/codecs/metastock/metastockcodec.h"

#include "mslink/reader.h"
#include "writers/metastockrun.h"
#include "writers/storedfiles.h"

namespace {

class MetastockLookup final : public StoredLookup {
public:
    MetastockLookup(Database& db) : index_(db, metastock::root()) {}

    QDate lastDate(const QString& ticker, const QString&) const override
    {
        const storedfiles::MetastockIndex::Entry* e = index_.find(ticker);
        return e ? e->last : QDate();
    }

    StoredSymbol read(const QString& ticker, const QString&) const override
    {
        StoredSymbol out;
        if (const storedfiles::MetastockIndex::Entry* entry = index_.find(ticker)) {
            out.where = entry->folder + entry->dataFile;
            out.series = storedfiles::readMetastock(*entry);
        }
        return out;
    }

private:
    storedfiles::MetastockIndex index_;
};

}  // namespace

std::unique_ptr<StoredLookup> MetastockCodec::lookup(Database& db, const ExportFormat&) const
{
    return std::make_unique<MetastockLookup>(db);
}

bool MetastockCodec::isOwnFolder(const QString& folder) const { return mslink::Reader::databasePresent(folder); }
