#include "writers/formatregistry.h"

#include "database/settingstable.h"
#include "support/messages.h"
#include "writers/formats/formats.h"
#include "writers/formatwriter.h"
#include "writers/symbolwriter.h"

#include <algorithm>

namespace formats {
namespace {

// The formats the program is built with, in writer order.
std::deque<ExportFormat> builtIn()
{
    using S = ProgramSettings;
    namespace w = formatwriters;
    return {
        {QLatin1Char('E'), "menuexcel", "&Excel XLS", "selectexcel", &S::selectexcel, "excel", &S::excel, nullptr,
         nullptr, "Export to Excel-format", "Choose location of Excel-XLS files", "", 6, w::excel, nullptr, NoOptions,
         w::excelCanBeWritten, "Unable to write Excel-format", false},
        {QLatin1Char('A'), "menuamibroker", "&Amibroker", "selectamibroker", &S::selectamibroker, nullptr, nullptr,
         nullptr, nullptr, "Export to Amibroker-format", "", "", 0, w::amibroker, nullptr, ImportCommand,
         w::amibrokerCanImport, "Unable to write Amibroker-format\r\nAmibroker must be installed on this computer", true},
        {QLatin1Char('P'), "MenuPRN", "&PRN-format", "selectprn", &S::selectprn, "prn", &S::prn, nullptr, nullptr,
         "One PRN-file for all Symbols", "Choose location of PRN-file", "", 3, w::prn, nullptr, RunFileLayout, nullptr, nullptr, false},
        {QLatin1Char('M'), "menumetastock", "&Metastock", "selectmetastock", &S::selectmetastock, "metastock",
         &S::metastock, nullptr, nullptr, "Export to Metastock-format", "Choose location of Metastock files", "", 1,
         w::metastock, nullptr, FolderMaximum, nullptr, nullptr, false},
        {QLatin1Char('S'), "menustockguru", "&Stockguru (PRN)", "selectstockguru", &S::selectstockguru, "stockguru",
         &S::stockguru, "select3", &S::select3, "One PRN-file per Symbol", "Choose location of PRN-files", ".prn", 2,
         w::stockguru, w::stockguruFile, NoOptions, nullptr, nullptr, false},
        {QLatin1Char('D'), "menuGet", "A&dvanced Get", "select12", &S::select12, "h8", &S::h8, "select13",
         &S::select13, "One PRN-file per Symbol", "Choose location of PRN-files", ".prn", 9, w::advancedGet,
         w::advancedGetFile, NoOptions, nullptr, nullptr, false},
        {QLatin1Char('C'), "menuascii", "AS&CII-format (CSV)", "select1", &S::select1, "h1", &S::h1, "select5",
         &S::select5, "Export to ASCII-format", "Choose location of ASCII-files", ".asc", 4, w::ascii, w::asciiFile, NoOptions, nullptr,
         nullptr, false},
        {QLatin1Char('K'), "menukbf", "&KBF-format", "select2", &S::select2, "h2", &S::h2, "select6", &S::select6,
         "Export to KBF-format", "Choose location of KBF-files", ".kbf", 5, w::kbf, w::kbfFile, NoOptions, nullptr, nullptr, false},
        {QLatin1Char('V'), "menuVision", "&Vision2000", "select7", &S::select7, "h3", &S::h3, nullptr, nullptr,
         "Export to Vision2000-format", "Choose location of VSN-files", "", 7, w::vision, nullptr, NoOptions, nullptr, nullptr, false},
        {QLatin1Char('I'), "menuVikingen", "V&ikingen", "select8", &S::select8, "h5", &S::h5, nullptr, nullptr,
         "One TXT-file for all Symbols", "Choose location of TXT-file", "", 8, w::vikingen, nullptr, NoOptions, nullptr, nullptr, false},
    };
}

struct Registry {
    std::deque<ExportFormat> formats = builtIn();
    std::vector<std::reference_wrapper<const ExportFormat>> menu;

    Registry() { sortMenu(); }
    void sortMenu()
    {
        menu.assign(formats.begin(), formats.end());
        std::stable_sort(menu.begin(), menu.end(), [](const ExportFormat& a, const ExportFormat& b) {
            return a.menuPosition < b.menuPosition;
        });
    }
};

Registry& theRegistry()
{
    static Registry r;
    return r;
}

}  // namespace

const std::deque<ExportFormat>& registry()
{
    return theRegistry().formats;
}

const std::vector<std::reference_wrapper<const ExportFormat>>& all()
{
    return theRegistry().menu;
}

const ExportFormat* find(QChar letter)
{
    const QChar upper = letter.toUpper();
    for (const ExportFormat& f : registry()) {
        if (f.letter == upper)
            return &f;
    }
    return nullptr;
}

void add(const ExportFormat& format)
{
    Q_ASSERT(!find(format.letter));
    Registry& r = theRegistry();
    r.formats.push_back(format);
    r.formats.back().menuPosition = static_cast<int>(r.formats.size());
    r.sortMenu();
}

void resetRegistry()
{
    Registry& r = theRegistry();
    const size_t builtInCount = builtIn().size();
    while (r.formats.size() > builtInCount)
        r.formats.pop_back();
    r.sortMenu();
}

bool anySelected()
{
    return std::any_of(registry().begin(), registry().end(), [](const ExportFormat& f) { return f.isOn(); });
}

bool formatGuard()
{
    if (anySelected())
        return true;
    msgBox(QStringLiteral("No Export format selected\r\nSelect a format in the menu Export format"));
    return false;
}

QVector<QPair<const char*, QString ProgramSettings::*>> folderColumns()
{
    return settingstable::checkedFolders();
}

}  // namespace formats

bool ExportFormat::isOn() const
{
    return selected && settings().*selected;
}
