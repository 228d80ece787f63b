// Vision2000: one file of every quote of a run; see runfileformats.cpp.
#include "writers/codecs/builtin.h"
#include "writers/formatregistry.h"

namespace codecs {

// This format's registry entry.
ExportFormat vision()
{
    return {.letter = QLatin1Char('V'),
            .menuName = "menuVision",
            .caption = "&Vision2000",
            .columns = {.on = {.name = "select7", .place = 20, .listed = 20},
                        .folder = {.name = "h3", .place = 7, .listed = 7}},
            .title = "Export to Vision2000-format",
            .folderPrompt = "Choose location of VSN-files",
            .menuPosition = 7,
            .makeWriter = formatwriters::vision};
}

}  // namespace codecs
