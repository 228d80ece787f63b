#pragma once

#include "support/formatsettings.h"
#include "support/state.h"

#include <QChar>
#include <QString>
#include <QVector>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class FormatWriter;
class StoredCodec;
class SymbolFileWriter;
struct LocationChoice;

// What a format lets the user set beside its switch, folder and long names.
enum FormatOption : unsigned {
    NoOptions = 0,
    RunFileLayout = 1,  // the run file's extension and open-interest column
    FolderMaximum = 2,  // securities per folder; a drive root is refused as folder
    ImportCommand = 4,  // the command that imports the staged quotes
    TailChecked = 8,    // a current run's integrity check reads the last stored day from its files
};

// The values a RunFileLayout format keeps beside its folder, by the keys of
// the columns it declares for them.
inline constexpr const char* kRunFileExtension = "h12";  // without the dot
inline constexpr const char* kOpenInterest = "h11";      // "1" with the column, "0" without

// One export format: letter, menu item, the settings it owns (the columns of
// the settings row it declares; the running values are settings().format()),
// the texts of the location window, and the writer a run makes of it.
struct ExportFormat {
    QChar letter;
    const char* menuName;
    const char* caption;
    // Its switch and, when it has them, its folder, "Export long names" and
    // values of its own.
    formatsettings::Columns columns;
    const char* title = "";         // Label1
    const char* folderPrompt = "";  // Label2
    const char* extension = "";     // per-symbol files; empty otherwise
    int menuPosition = 0;           // place in the Export format menu
    // The format's writer for one run.
    std::unique_ptr<FormatWriter> (*makeWriter)(const ExportFormat& format) = nullptr;
    // Per-symbol formats: the writer of one symbol's file; nullptr otherwise.
    std::unique_ptr<SymbolFileWriter> (*makeFileWriter)() = nullptr;
    unsigned options = NoOptions;  // FormatOption flags
    // Whether the format can be written with the folder and command chosen:
    // nullptr when it always can. `why` gets the reason when not.
    bool (*switchOnTest)(const LocationChoice& choice, QString* why) = nullptr;
    const char* refusal = "";      // the message shown when the test fails
    bool refusalCritical = false;  // with the critical icon
    // Reading back what the format keeps per symbol or per folder (status,
    // the chart, `check`); nullptr for a format that keeps neither.
    const StoredCodec* stored = nullptr;
    const char* shortName = "";  // the status column of the list grid
    int checkPosition = 0;       // place among the formats `check` reads; 0: behind them

    bool hasFolder() const { return columns.folder.declared(); }
    bool hasLongNames() const { return columns.longNames.declared(); }
    bool perSymbolFiles() const { return makeFileWriter != nullptr; }
    bool has(FormatOption option) const { return (options & option) != 0; }
    // The columns of the settings row that hold the switch, folder and long
    // names; nullptr for what the format has not.
    const char* selectedColumn() const { return columns.on.name; }
    const char* folderColumn() const { return columns.folder.name; }
    const char* longNamesColumn() const { return columns.longNames.name; }
    // Its settings as the program runs with them.
    FormatSettings& chosen() const { return settings().format(letter); }
    bool isOn() const;
    // The caption without its access key: "ASCII-format (CSV)".
    QString name() const;
};

using FormatList = std::vector<std::reference_wrapper<const ExportFormat>>;

// The export formats a program or a test works with: the ones the program is
// built with, and any added behind them. The program makes one and installs
// it (formats::Use); a test may make and install its own.
class FormatRegistry {
public:
    FormatRegistry();
    FormatRegistry(const FormatRegistry&) = delete;
    FormatRegistry& operator=(const FormatRegistry&) = delete;

    // Every format in the order the runs hand quotes to them.
    const std::deque<ExportFormat>& formats() const { return formats_; }
    // Every format, in the order of the Export format menu.
    const FormatList& menu() const { return menu_; }
    // The formats with a codec, in the order `check` names and tries them.
    const FormatList& checkOrder() const { return checked_; }
    // The formats with a codec in writer order, those that keep a folder as
    // one store behind the ones that keep files.
    FormatList storedOrder() const;
    // What each format keeps in the settings row, in writer order: what the
    // registry in use hands down to the settings.
    const std::vector<formatsettings::Declared>& declarations() const { return declared_; }
    // The format of `letter` (any case), or nullptr.
    const ExportFormat* find(QChar letter) const;

    // Adds a format behind the others, in the menu too. The letter must be new.
    void add(const ExportFormat& format);

private:
    void sort();

    std::deque<ExportFormat> formats_;
    FormatList menu_, checked_;
    std::vector<formatsettings::Declared> declared_;
};

namespace formats {

// The registry in use: the one installed last, else one of the formats the
// program is built with, which nothing changes.
const FormatRegistry& current();

// Installs a registry for its own lifetime, and with it the columns its
// formats declare for the settings; the one before is back after.
class Use {
public:
    explicit Use(const FormatRegistry& registry);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

private:
    const FormatRegistry* previous_;
    formatsettings::Use settings_;
};

// The functions below ask the registry in use.

// Every format in the order the runs hand quotes to them: Excel, AmiBroker
// and PRN (the staging files), MetaStock, Stockguru, Advanced GET, ASCII,
// KBF, Vision2000, Vikingen.
const std::deque<ExportFormat>& registry();

// Every format, in the order of the Export format menu.
const std::vector<std::reference_wrapper<const ExportFormat>>& all();

// The formats with a codec that reads their stored days back, in the
// order `check` names and tries them.
const std::vector<std::reference_wrapper<const ExportFormat>>& checkOrder();

// The formats with a codec in the registry's order, those that keep a
// folder as one store behind the ones that keep files: what status shows.
std::vector<std::reference_wrapper<const ExportFormat>> storedOrder();

// The letters of `list`, `separator` between them and `last` before the
// last one: letters(checkOrder(), ", ", " or ") is "C, S, D, K or M".
QString letters(const std::vector<std::reference_wrapper<const ExportFormat>>& list, const QString& separator,
                const QString& last);

// The format whose stored days the integrity check of a current run reads:
// the first one that is on and offers a cheap read of a file's last day;
// nullptr when none does.
const ExportFormat* tailChecked();

// The format of `letter` (any case), or nullptr.
const ExportFormat* find(QChar letter);

bool anySelected();

// Before a download run: false, with the message shown, when no format is on.
bool formatGuard();

}  // namespace formats
