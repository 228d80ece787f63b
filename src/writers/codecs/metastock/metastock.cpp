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
            .selected = &ProgramSettings::selectmetastock,
            .folder = &ProgramSettings::metastock,
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
