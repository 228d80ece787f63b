#pragma once

#include <QChar>
#include <QMap>
#include <QString>
#include <vector>

// The settings of one export format as the program runs with them: its
// switch, its folder, its "Export long names" and the values of its own
// (the PRN run file's extension and open-interest column), by key.
struct FormatSettings {
    bool on = false;
    QString folder{};  // ends with "/"
    bool longNames = false;
    QMap<QString, QString> extra{};  // by key: the column the value is stored in

    QString& value(const char* key) { return extra[QLatin1String(key)]; }
    QString value(const char* key) const { return extra.value(QLatin1String(key)); }
};

// What a format keeps in the settings row: each format's registry entry
// declares its columns, the registry in use installs the declarations, and
// the settings table and the settings values are built from them. Nothing
// below the registry names a format's column.
namespace formatsettings {

// One column of the settings row that holds a setting of a format.
struct Column {
    const char* name = nullptr;  // nullptr: the format has no such setting
    // Its place among the row's columns, from 1, where every file has had
    // it; 0 for a column of a format of its own, which goes behind them.
    int place = 0;
    // Added by the start-up upgrade: the oldest files lack it. A column at
    // place 0 always is.
    bool added = false;
    // Its place in the "info" listing, from 1; 0: behind the others.
    int listed = 0;
    // A value of its own: the text a Null column means, which start-up
    // writes back.
    const char* fallback = "";
    // A folder: loaded before the first-start probe.
    bool early = false;
    // A folder: start-up leaves a blank column blank instead of writing the
    // fallback folder into it (the MetaStock root: a root that is gone must
    // not become the home folder).
    bool blankKept = false;

    bool declared() const { return name != nullptr; }
    bool addedByUpgrade() const { return added || place == 0; }
};

// The folder a first start of a fresh installation finds for a format, and
// whether that switches it on.
struct FirstStart {
    QString folder{};
    bool on = false;
};

// The columns of one format.
struct Columns {
    Column on{};                   // the switch
    Column folder{};               // the folder, or none
    Column longNames{};            // "Export long names", or none
    std::vector<Column> values{};  // values of its own, by column name
    // The first start's probe for the format's folder; nullptr for none.
    FirstStart (*firstStart)() = nullptr;
};

struct Declared {
    QChar letter{};
    Columns columns{};
};

// The declarations of the formats in use: the installed ones, else the
// built-in formats', else none.
const std::vector<Declared>& declared();
// The declaration of `letter` (any case), or nullptr.
const Declared* find(QChar letter);

// A format's settings before anything is loaded: off, the fallback folder,
// no long names, each value of its own at its fallback.
FormatSettings defaults(QChar letter);

// The built-in formats' declarations, in use when none is installed; the
// format registry sets them once.
void setBuiltIn(const std::vector<Declared>* list);

// Installs `list` (the registry in use keeps it up to date) for its own
// lifetime; the one before is back after.
class Use {
public:
    explicit Use(const std::vector<Declared>& list);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

private:
    const std::vector<Declared>* previous_;
};

}  // namespace formatsettings
