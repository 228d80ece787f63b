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
            .selected = &ProgramSettings::select12,
            .folder = &ProgramSettings::h8,
            .longNames = &ProgramSettings::select13,
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
