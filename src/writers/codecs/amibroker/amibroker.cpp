// AmiBroker: the run's quotes staged and imported at its end; see
// stagingformats.cpp.
#include "writers/codecs/builtin.h"
#include "writers/formatregistry.h"

namespace codecs {

// This format's registry entry.
ExportFormat amibroker()
{
    return {.letter = QLatin1Char('A'),
            .menuName = "menuamibroker",
            .caption = "&Amibroker",
            .columns = {.on = {.name = "selectamibroker", .place = 9, .listed = 13}},
            .title = "Export to Amibroker-format",
            .menuPosition = 0,
            .makeWriter = formatwriters::amibroker,
            .options = ImportCommand,
            .switchOnTest = formatwriters::amibrokerCanImport,
            .refusal = "Unable to write Amibroker-format\r\nAmibroker must be installed on this computer",
            .refusalCritical = true};
}

}  // namespace codecs
