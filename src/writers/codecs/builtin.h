#pragma once

#include <deque>
#include <memory>

#include <QString>

class FormatWriter;
struct ExportFormat;
struct LocationChoice;

// The run writers of the formats the program is built with; their entries
// make them.
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

}  // namespace formatwriters

// The registry entries of the formats the program is built with, in the
// order the runs hand quotes to them; each from its folder below codecs/.
namespace codecs {

std::deque<ExportFormat> builtIn();

}  // namespace codecs
