#pragma once

#include "support/state.h"

#include <QChar>
#include <QString>
#include <QVector>

// The ten export formats: letter, menu item, the settings they own and the
// texts of the location window.
struct ExportFormat {
    QChar letter;
    const char* menuName;
    const char* caption;
    const char* selectedColumn;
    bool ProgramSettings::*selected;
    const char* folderColumn;              // nullptr: the format has no folder
    QString ProgramSettings::*folder;
    const char* longNamesColumn;           // nullptr: no "Export long names"
    bool ProgramSettings::*longNames;
    const char* title;                     // Label1
    const char* folderPrompt;              // Label2
    const char* extension;                 // per-symbol files; empty otherwise

    bool hasFolder() const { return folder != nullptr; }
    bool hasLongNames() const { return longNames != nullptr; }
};

namespace formats {

// Every format, in the order of the Export format menu.
const QVector<ExportFormat>& all();

// The format of `letter` (any case), or nullptr.
const ExportFormat* find(QChar letter);

bool anySelected();

// Before a download run: false, with the message shown, when no format is on.
bool formatGuard();

// The folder columns of the settings row with their values, in the order the
// folder check walks them (h7 included: it is kept and checked, not used).
QVector<QPair<const char*, QString ProgramSettings::*>> folderColumns();

}  // namespace formats
