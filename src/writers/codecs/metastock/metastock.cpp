// MetaStock: securities in database folders below a root; written through
// metastockformat.cpp, read back through metastockcodec.cpp.
#include "writers/codecs/builtin.h"
#include "writers/codecs/metastock/metastockcodec.h"
#include "writers/formatregistry.h"

namespace {
const MetastockCodec kCodec;
}  // namespace

namespace codecs {

// This format's registry entry.
ExportFormat metastock()
{
    return {.letter = QLatin1Char('M'),
            .menuName = "menumetastock",
            .caption = "&Metastock",
            .columns = {.on = {.name = "selectmetastock", .place = 10, .listed = 14},
                        .folder = {.name = "metastock", .place = 2, .listed = 2, .early = true, .blankKept = true}},
            .title = "Export to Metastock-format",
            .folderPrompt = "Choose location of Metastock files",
            .menuPosition = 1,
            .makeWriter = formatwriters::metastock,
            .options = FolderMaximum,
            .stored = &kCodec,
            .shortName = "MetaStock",
            .checkPosition = 5};
}

}  // namespace codecs
