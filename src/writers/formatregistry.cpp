#include "writers/formatregistry.h"

#include "database/settingstable.h"
#include "support/messages.h"

namespace formats {

const QVector<ExportFormat>& all()
{
    using S = ProgramSettings;
    static const QVector<ExportFormat> table = {
        {QLatin1Char('A'), "menuamibroker", "&Amibroker", "selectamibroker", &S::selectamibroker, nullptr, nullptr,
         nullptr, nullptr, "Export to Amibroker-format", "", ""},
        {QLatin1Char('M'), "menumetastock", "&Metastock", "selectmetastock", &S::selectmetastock, "metastock",
         &S::metastock, nullptr, nullptr, "Export to Metastock-format", "Choose location of Metastock files", ""},
        {QLatin1Char('S'), "menustockguru", "&Stockguru (PRN)", "selectstockguru", &S::selectstockguru, "stockguru",
         &S::stockguru, "select3", &S::select3, "One PRN-file per Symbol", "Choose location of PRN-files", ".prn"},
        {QLatin1Char('P'), "MenuPRN", "&PRN-format", "selectprn", &S::selectprn, "prn", &S::prn, nullptr, nullptr,
         "One PRN-file for all Symbols", "Choose location of PRN-file", ""},
        {QLatin1Char('C'), "menuascii", "AS&CII-format (CSV)", "select1", &S::select1, "h1", &S::h1, "select5",
         &S::select5, "Export to ASCII-format", "Choose location of ASCII-files", ".asc"},
        {QLatin1Char('K'), "menukbf", "&KBF-format", "select2", &S::select2, "h2", &S::h2, "select6", &S::select6,
         "Export to KBF-format", "Choose location of KBF-files", ".kbf"},
        {QLatin1Char('E'), "menuexcel", "&Excel XLS", "selectexcel", &S::selectexcel, "excel", &S::excel, nullptr,
         nullptr, "Export to Excel-format", "Choose location of Excel-XLS files", ""},
        {QLatin1Char('V'), "menuVision", "&Vision2000", "select7", &S::select7, "h3", &S::h3, nullptr, nullptr,
         "Export to Vision2000-format", "Choose location of VSN-files", ""},
        {QLatin1Char('I'), "menuVikingen", "V&ikingen", "select8", &S::select8, "h5", &S::h5, nullptr, nullptr,
         "One TXT-file for all Symbols", "Choose location of TXT-file", ""},
        {QLatin1Char('D'), "menuGet", "A&dvanced Get", "select12", &S::select12, "h8", &S::h8, "select13",
         &S::select13, "One PRN-file per Symbol", "Choose location of PRN-files", ".prn"},
    };
    return table;
}

const ExportFormat* find(QChar letter)
{
    const QChar upper = letter.toUpper();
    for (const ExportFormat& f : all()) {
        if (f.letter == upper)
            return &f;
    }
    return nullptr;
}

bool anySelected()
{
    const ProgramSettings& s = settings();
    for (const ExportFormat& f : all()) {
        if (s.*f.selected)
            return true;
    }
    return false;
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
