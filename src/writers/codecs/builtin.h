#pragma once

#include <memory>

#include <QString>

class FormatWriter;
class SymbolFileWriter;
struct ExportFormat;
struct LocationChoice;

// The writers of the formats the program is built with, one class each;
// the registry makes them.
namespace formatwriters {

std::unique_ptr<FormatWriter> excel(const ExportFormat& format);
std::unique_ptr<FormatWriter> amibroker(const ExportFormat& format);
std::unique_ptr<FormatWriter> prn(const ExportFormat& format);
std::unique_ptr<FormatWriter> metastock(const ExportFormat& format);
std::unique_ptr<FormatWriter> stockguru(const ExportFormat& format);
std::unique_ptr<FormatWriter> advancedGet(const ExportFormat& format);
std::unique_ptr<FormatWriter> ascii(const ExportFormat& format);
std::unique_ptr<FormatWriter> kbf(const ExportFormat& format);
std::unique_ptr<FormatWriter> vision(const ExportFormat& format);
std::unique_ptr<FormatWriter> vikingen(const ExportFormat& format);

// The tests whether Excel (a writable folder) and AmiBroker (an import
// command whose program exists) can be switched on.
bool excelCanBeWritten(const LocationChoice& choice, QString* why);
bool amibrokerCanImport(const LocationChoice& choice, QString* why);

// The file writers of the per-symbol formats.
std::unique_ptr<SymbolFileWriter> stockguruFile();
std::unique_ptr<SymbolFileWriter> advancedGetFile();
std::unique_ptr<SymbolFileWriter> asciiFile();
std::unique_ptr<SymbolFileWriter> kbfFile();

}  // namespace formatwriters
