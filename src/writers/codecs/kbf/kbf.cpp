// KBF: one file of 14-byte records per symbol.
#include "writers/codecs/builtin.h"
#include "writers/codecs/kbf/kbfcodec.h"
#include "writers/codecs/kbf/kbfwriter.h"
#include "writers/formatregistry.h"

namespace {
const KbfCodec kCodec(QLatin1Char('K'));
}  // namespace

namespace codecs {

// This format's registry entry.
ExportFormat kbf()
{
    return {.letter = QLatin1Char('K'),
            .menuName = "menukbf",
            .caption = "&KBF-format",
            .columns = {.on = {.name = "select2", .place = 15, .listed = 18},
                        .folder = {.name = "h2", .place = 6, .listed = 6},
                        .longNames = {.name = "select6", .place = 19, .listed = 25}},
            .title = "Export to KBF-format",
            .folderPrompt = "Choose location of KBF-files",
            .extension = ".kbf",
            .menuPosition = 5,
            .makeWriter = formatwriters::kbf,
            .makeFileWriter = [] { return std::unique_ptr<SymbolFileWriter>(new KbfWriter); },
            .stored = &kCodec,
            .shortName = "KBF",
            .checkPosition = 4};
}

}  // namespace codecs
