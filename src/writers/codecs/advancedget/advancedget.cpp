// Advanced GET: one text file per symbol (MM/DD/YY, prices).
#include "writers/codecs/builtin.h"
#include "writers/codecs/text/textcodec.h"
#include "writers/formatregistry.h"

namespace {
const GetWriter kLayout;
const TextCodec kCodec(kLayout, QLatin1Char('D'));
}  // namespace

namespace codecs {

// This format's registry entry.
ExportFormat advancedGet()
{
    return {.letter = QLatin1Char('D'),
            .menuName = "menuGet",
            .caption = "A&dvanced Get",
            .columns = {.on = {.name = "select12", .place = 30, .added = true, .listed = 22},
                        .folder = {.name = "h8", .place = 35, .added = true, .listed = 10},
                        .longNames = {.name = "select13", .place = 31, .added = true, .listed = 26}},
            .title = "One PRN-file per Symbol",
            .folderPrompt = "Choose location of PRN-files",
            .extension = ".prn",
            .menuPosition = 9,
            .makeWriter = formatwriters::advancedGet,
            .makeFileWriter = [] { return std::unique_ptr<SymbolFileWriter>(new GetWriter); },
            .options = TailChecked,
            .stored = &kCodec,
            .shortName = "GET",
            .checkPosition = 3};
}

}  // namespace codecs
