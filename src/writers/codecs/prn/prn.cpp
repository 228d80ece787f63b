// PRN: one file of every quote of a run; see stagingformats.cpp.
#include "writers/codecs/builtin.h"
#include "writers/formatregistry.h"

namespace codecs {

// This format's registry entry.
ExportFormat prn()
{
    return {.letter = QLatin1Char('P'),
            .menuName = "MenuPRN",
            .caption = "&PRN-format",
            .columns = {.on = {.name = "selectprn", .place = 12, .listed = 16},
                        .folder = {.name = "prn", .place = 3, .listed = 3, .early = true},
                        .values = {{.name = "h11", .place = 38, .added = true, .listed = 11, .fallback = "0"},
                                   {.name = "h12", .place = 39, .added = true, .listed = 12, .fallback = "PRN"}}},
            .title = "One PRN-file for all Symbols",
            .folderPrompt = "Choose location of PRN-file",
            .menuPosition = 3,
            .makeWriter = formatwriters::prn,
            .options = RunFileLayout};
}

}  // namespace codecs
