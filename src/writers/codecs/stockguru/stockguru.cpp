// Stockguru: one text file per symbol (base name, "D", YYMMDD, prices, "1").
#include "writers/codecs/builtin.h"
#include "writers/codecs/text/textcodec.h"
#include "writers/formatregistry.h"

namespace {
const StockguruWriter kLayout;
const TextCodec kCodec(kLayout, QLatin1Char('S'));
}  // namespace

namespace codecs {

// This format's registry entry.
ExportFormat stockguru()
{
    return {.letter = QLatin1Char('S'),
            .menuName = "menustockguru",
            .caption = "&Stockguru (PRN)",
            .selected = &ProgramSettings::selectstockguru,
            .folder = &ProgramSettings::stockguru,
            .longNames = &ProgramSettings::select3,
            .title = "One PRN-file per Symbol",
            .folderPrompt = "Choose location of PRN-files",
            .extension = ".prn",
            .menuPosition = 2,
            .makeWriter = formatwriters::stockguru,
            .makeFileWriter = [] { return std::unique_ptr<SymbolFileWriter>(new StockguruWriter); },
            .options = TailChecked,
            .stored = &kCodec,
            .shortName = "Stockguru",
            .checkPosition = 2};
}

}  // namespace codecs
