// Stockguru: one text file per symbol (base name, "D", YYMMDD, prices, "1").
#include "support/folders.h"
#include "writers/codecs/builtin.h"
#include "writers/codecs/text/textcodec.h"
#include "writers/formatregistry.h"

namespace {
const StockguruWriter kLayout;
const TextCodec kCodec(kLayout, QLatin1Char('S'));

// A first start takes the folder of a Stockguru installation, and switches
// the format on when it found one.
formatsettings::FirstStart firstStart()
{
    const QString probe = folders::stockguruProbe();
    return {probe, probe.indexOf(QLatin1String("stockguru"), 1, Qt::CaseInsensitive) > 0};
}
}  // namespace

namespace codecs {

// This format's registry entry.
ExportFormat stockguru()
{
    return {.letter = QLatin1Char('S'),
            .menuName = "menustockguru",
            .caption = "&Stockguru (PRN)",
            .columns = {.on = {.name = "selectstockguru", .place = 11, .listed = 15},
                        .folder = {.name = "stockguru", .place = 4, .listed = 4},
                        .longNames = {.name = "select3", .place = 16, .listed = 23},
                        .firstStart = firstStart},
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
