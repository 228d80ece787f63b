// Excel: one workbook per run; see excelformat.cpp.
#include "writers/codecs/builtin.h"
#include "writers/formatregistry.h"

namespace codecs {

// This format's registry entry.
ExportFormat excel()
{
    return {.letter = QLatin1Char('E'),
            .menuName = "menuexcel",
            .caption = "&Excel XLS",
            .columns = {.on = {.name = "selectexcel", .place = 13, .listed = 19},
                        .folder = {.name = "excel", .place = 1, .listed = 1, .early = true}},
            .title = "Export to Excel-format",
            .folderPrompt = "Choose location of Excel-XLS files",
            .menuPosition = 6,
            .makeWriter = formatwriters::excel,
            .switchOnTest = formatwriters::excelCanBeWritten,
            .refusal = "Unable to write Excel-format"};
}

}  // namespace codecs
