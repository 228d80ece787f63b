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
            .columns = {.on = {.name = "select8", .place = 21, .listed = 21},
                        .folder = {.name = "h5", .place = 8, .listed = 8}},
            .title = "One TXT-file for all Symbols",
            .folderPrompt = "Choose location of TXT-file",
            .menuPosition = 8,
            .makeWriter = formatwriters::vikingen};
}

}  // namespace codecs
