#pragma once

#include "support/state.h"

#include <QString>
#include <QVariant>
#include <QVector>

// The columns of the settings row `globaal`: the setting each one loads
// into, what a Null or unreadable value means, and where the column comes
// from in the file. Start-up loading, the "info" listing, the folder check
// and the schema all go by this one table. The columns of the export
// formats come from what their registry entries declare.
namespace settingstable {

enum class Kind {
    Folder,   // a folder; Null or blank: the fallback folder
    Text,     // a text as stored; Null: the default, which start-up writes back
    Flag,     // yes or no; Null or no yes/no value: no
    Integer,  // a whole number; Null, no number or outside [min, max]: the default
};

// The start-up step that loads a column; each step runs under the error
// dialog, in this order, with the first-start probe after Folders and the
// folder check before Options.
enum class Step {
    None,         // not loaded: no setting reads it, old files keep it
    Folders,      // before the first-start probe
    FormatFiles,  // after it, which may have set a format's folder
    Switches,
    CurrentList,
    Options,
};

// Where a column's setting lives: a member of the settings values, or one of
// a format's settings.
enum class Part {
    Member,
    On,         // the format's switch
    Folder,     // its folder
    LongNames,  // its "Export long names"
    Value,      // a value of its own, kept under the column's name
};

struct Column {
    const char* name;
    Kind kind;
    Step step;
    bool upgrade = false;  // added by the start-up upgrade; the oldest files lack it

    // Part::Member: the setting.
    QString ProgramSettings::*text = nullptr;  // Folder, Text
    bool ProgramSettings::*flag = nullptr;     // Flag
    int ProgramSettings::*number = nullptr;    // Integer
    // Otherwise: the format's letter.
    Part part = Part::Member;
    QChar format{};

    const char* textDefault = "";  // Text
    int numberDefault = 0;         // Integer, with its range
    qint64 min = 0, max = 0;
    bool folderChecked = false;  // Folder: a blank column gets the fallback folder written into it
    int schemaOrder = 0;         // its place among the columns of the file, from 1; 0: behind them
    int listOrder = 0;           // its place in the "info" listing, from 1; 0: behind them

    bool loaded() const { return step != Step::None; }
    // The declared type: INTEGER, TEXT, or VARCHAR(200) for a text the
    // upgrade adds.
    QString sqlType() const;
    // Sets the column's setting from the stored value (Null: invalid).
    void load(ProgramSettings& s, const QVariant& stored) const;
    // The setting as the "info" listing shows it.
    QString show(const ProgramSettings& s) const;
};

// Every column, in the order of the "info" listing: the row's own and those
// the formats in use declare (formatsettings::declared()).
QVector<Column> all();
// Every column in the order of the file: a new file gets the columns
// without `upgrade` in this order, and the upgrade adds the others in it,
// a format's own new columns last.
QVector<Column> inSchemaOrder();

// The loaded folder columns whose blank value start-up replaces by the
// fallback folder, in the row too.
QVector<Column> checkedFolders();

}  // namespace settingstable
