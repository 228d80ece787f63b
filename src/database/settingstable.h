#pragma once

#include "support/state.h"

#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

// The columns of the settings row `globaal`: the setting each one loads
// into, what a Null or unreadable value means, and where the column comes
// from in the file. Start-up loading, the "info" listing, the folder check
// and the schema all go by this one table.
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
    FormatFiles,  // after it, which may have set the Stockguru folder
    Switches,
    CurrentList,
    Options,
};

struct Column {
    const char* name;
    Kind kind;
    Step step;
    bool upgrade = false;  // added by the start-up upgrade; the oldest files lack it

    QString ProgramSettings::*text = nullptr;  // Folder, Text
    bool ProgramSettings::*flag = nullptr;     // Flag
    int ProgramSettings::*number = nullptr;    // Integer

    const char* textDefault = "";  // Text
    int numberDefault = 0;         // Integer, with its range
    qint64 min = 0, max = 0;
    int checkOrder = 0;   // Folder: its place in the folder check, from 1
    int schemaOrder = 0;  // its place among the columns of the file, from 1

    bool loaded() const { return step != Step::None; }
    // The declared type: INTEGER, TEXT, or VARCHAR(200) for a text the
    // upgrade adds.
    QString sqlType() const;
    // Sets the column's setting from the stored value (Null: invalid).
    void load(ProgramSettings& s, const QVariant& stored) const;
    // The setting as the "info" listing shows it.
    QString show(const ProgramSettings& s) const;
};

// Every column, in the order of the "info" listing.
const QVector<Column>& all();
// Every column in the order of the file: a new file gets the columns
// without `upgrade` in this order, and the upgrade adds the others in it.
QVector<const Column*> inSchemaOrder();

// The column a setting is stored in; nullptr when none is.
const char* columnOf(bool ProgramSettings::*flag);
const char* columnOf(QString ProgramSettings::*text);

// The loaded folder columns in the order of the folder check.
QVector<QPair<const char*, QString ProgramSettings::*>> checkedFolders();

}  // namespace settingstable
