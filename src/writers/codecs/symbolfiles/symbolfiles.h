#pragma once

#include <memory>

class FormatWriter;
struct ExportFormat;

// The run writer every format with one file per symbol shares: each quote
// merged into its file through clsschrijfstock and the format's file writer.
namespace formatwriters {

// The lines the writer logs and shows for one format.
struct SymbolFormatTexts {
    const char* startLog;
    const char* endLog;
    const char* currentEndLog;  // a current run's end line where it differs; nullptr: endLog
    const char* panelName;      // "Writing ... quotes to <panelName>..."
};

std::unique_ptr<FormatWriter> perSymbol(const ExportFormat& format, const SymbolFormatTexts& texts);

}  // namespace formatwriters
