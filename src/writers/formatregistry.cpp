#include "writers/formatregistry.h"

#include "database/settingstable.h"
#include "support/messages.h"
#include "writers/codecs/builtin.h"
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
        {.letter = QLatin1Char('E'),
         .menuName = "menuexcel",
         .caption = "&Excel XLS",
         .selected = &S::selectexcel,
         .folder = &S::excel,
         .title = "Export to Excel-format",
         .folderPrompt = "Choose location of Excel-XLS files",
         .menuPosition = 6,
         .makeWriter = w::excel,
         .switchOnTest = w::excelCanBeWritten,
         .refusal = "Unable to write Excel-format"},
        {.letter = QLatin1Char('A'),
         .menuName = "menuamibroker",
         .caption = "&Amibroker",
         .selected = &S::selectamibroker,
         .title = "Export to Amibroker-format",
         .menuPosition = 0,
         .makeWriter = w::amibroker,
         .options = ImportCommand,
         .switchOnTest = w::amibrokerCanImport,
         .refusal = "Unable to write Amibroker-format\r\nAmibroker must be installed on this computer",
         .refusalCritical = true},
        {.letter = QLatin1Char('P'),
         .menuName = "MenuPRN",
         .caption = "&PRN-format",
         .selected = &S::selectprn,
         .folder = &S::prn,
         .title = "One PRN-file for all Symbols",
         .folderPrompt = "Choose location of PRN-file",
         .menuPosition = 3,
         .makeWriter = w::prn,
         .options = RunFileLayout},
        {.letter = QLatin1Char('M'),
         .menuName = "menumetastock",
         .caption = "&Metastock",
         .selected = &S::selectmetastock,
         .folder = &S::metastock,
         .title = "Export to Metastock-format",
         .folderPrompt = "Choose location of Metastock files",
         .menuPosition = 1,
         .makeWriter = w::metastock,
         .options = FolderMaximum},
        {.letter = QLatin1Char('S'),
         .menuName = "menustockguru",
         .caption = "&Stockguru (PRN)",
         .selected = &S::selectstockguru,
         .folder = &S::stockguru,
         .longNames = &S::select3,
         .title = "One PRN-file per Symbol",
         .folderPrompt = "Choose location of PRN-files",
         .extension = ".prn",
         .menuPosition = 2,
         .makeWriter = w::stockguru,
         .makeFileWriter = w::stockguruFile},
        {.letter = QLatin1Char('D'),
         .menuName = "menuGet",
         .caption = "A&dvanced Get",
         .selected = &S::select12,
         .folder = &S::h8,
         .longNames = &S::select13,
         .title = "One PRN-file per Symbol",
         .folderPrompt = "Choose location of PRN-files",
         .extension = ".prn",
         .menuPosition = 9,
         .makeWriter = w::advancedGet,
         .makeFileWriter = w::advancedGetFile},
        {.letter = QLatin1Char('C'),
         .menuName = "menuascii",
         .caption = "AS&CII-format (CSV)",
         .selected = &S::select1,
         .folder = &S::h1,
         .longNames = &S::select5,
         .title = "Export to ASCII-format",
         .folderPrompt = "Choose location of ASCII-files",
         .extension = ".asc",
         .menuPosition = 4,
         .makeWriter = w::ascii,
         .makeFileWriter = w::asciiFile},
        {.letter = QLatin1Char('K'),
         .menuName = "menukbf",
         .caption = "&KBF-format",
         .selected = &S::select2,
         .folder = &S::h2,
         .longNames = &S::select6,
         .title = "Export to KBF-format",
         .folderPrompt = "Choose location of KBF-files",
         .extension = ".kbf",
         .menuPosition = 5,
         .makeWriter = w::kbf,
         .makeFileWriter = w::kbfFile},
        {.letter = QLatin1Char('V'),
         .menuName = "menuVision",
         .caption = "&Vision2000",
         .selected = &S::select7,
         .folder = &S::h3,
         .title = "Export to Vision2000-format",
         .folderPrompt = "Choose location of VSN-files",
         .menuPosition = 7,
         .makeWriter = w::vision},
        {.letter = QLatin1Char('I'),
         .menuName = "menuVikingen",
         .caption = "V&ikingen",
         .selected = &S::select8,
         .folder = &S::h5,
         .title = "One TXT-file for all Symbols",
         .folderPrompt = "Choose location of TXT-file",
         .menuPosition = 8,
         .makeWriter = w::vikingen},
    };
}

struct Registry {
    std::deque<ExportFormat> formats = builtIn();
    std::vector<std::reference_wrapper<const ExportFormat>> menu;

    Registry() { sortMenu(); }
    void sortMenu()
    {
        menu.assign(formats.begin(), formats.end());
        std::stable_sort(menu.begin(), menu.end(),
                         [](const ExportFormat& a, const ExportFormat& b) { return a.menuPosition < b.menuPosition; });
    }
};

Registry& theRegistry()
{
    static Registry r;
    return r;
}

}  // namespace

const std::deque<ExportFormat>& registry() { return theRegistry().formats; }

const std::vector<std::reference_wrapper<const ExportFormat>>& all() { return theRegistry().menu; }

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

}  // namespace formats

const char* ExportFormat::selectedColumn() const { return settingstable::columnOf(selected); }

const char* ExportFormat::folderColumn() const { return folder ? settingstable::columnOf(folder) : nullptr; }

const char* ExportFormat::longNamesColumn() const { return longNames ? settingstable::columnOf(longNames) : nullptr; }

bool ExportFormat::isOn() const { return selected && settings().*selected; }

QString ExportFormat::name() const { return QString::fromLatin1(caption).remove(QLatin1Char('&')); }
