// Vikingen: one text file of every quote of a run; see runfileformats.cpp.
#include "writers/codecs/builtin.h"
#include "writers/formatregistry.h"

namespace codecs {

// This format's registry entry.
ExportFormat vikingen()
{
    return {.letter = QLatin1Char('I'),
            .menuName = "menuVikingen",
            .caption = "V&ikingen",
            .selected = &ProgramSettings::select8,
            .folder = &ProgramSettings::h5,
            .title = "One TXT-file for all Symbols",
            .folderPrompt = "Choose location of TXT-file",
            .menuPosition = 8,
            .makeWriter = formatwriters::vikingen};
}

}  // namespace codecs
