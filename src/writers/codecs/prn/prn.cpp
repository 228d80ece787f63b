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
            .selected = &ProgramSettings::selectprn,
            .folder = &ProgramSettings::prn,
            .title = "One PRN-file for all Symbols",
            .folderPrompt = "Choose location of PRN-file",
            .menuPosition = 3,
            .makeWriter = formatwriters::prn,
            .options = RunFileLayout};
}

}  // namespace codecs
