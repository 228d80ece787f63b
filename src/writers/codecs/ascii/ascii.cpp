// ASCII: one text file per symbol (YYYYMMDD, prices).
#include "writers/codecs/builtin.h"
#include "writers/codecs/text/textcodec.h"
#include "writers/formatregistry.h"

namespace {
const AsciiWriter kLayout;
const TextCodec kCodec(kLayout, QLatin1Char('C'));
}  // namespace

namespace codecs {

// This format's registry entry.
ExportFormat ascii()
{
    return {.letter = QLatin1Char('C'),
            .menuName = "menuascii",
            .caption = "AS&CII-format (CSV)",
            .columns = {.on = {.name = "select1", .place = 14, .listed = 17},
                        .folder = {.name = "h1", .place = 5, .listed = 5},
                        .longNames = {.name = "select5", .place = 18, .listed = 24}},
            .title = "Export to ASCII-format",
            .folderPrompt = "Choose location of ASCII-files",
            .extension = ".asc",
            .menuPosition = 4,
            .makeWriter = formatwriters::ascii,
            .makeFileWriter = [] { return std::unique_ptr<SymbolFileWriter>(new AsciiWriter); },
            .options = TailChecked,
            .stored = &kCodec,
            .shortName = "ASCII",
            .checkPosition = 1};
}

}  // namespace codecs
