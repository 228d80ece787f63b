#include "database/settingstable.h"

#include "support/formatsettings.h"
#include "support/paths.h"
#include "support/textconv.h"

#include <algorithm>
#include <climits>
#include <limits>

namespace settingstable {
namespace {

using S = ProgramSettings;

constexpr qint64 kInt16Min = std::numeric_limits<qint16>::min();
constexpr qint64 kInt16Max = std::numeric_limits<qint16>::max();

Column folder(const char* name, QString S::*member, Step step)
{
    Column c{name, Kind::Folder, step};
    c.text = member;
    c.folderChecked = true;
    return c;
}

Column flag(const char* name, bool S::*member)
{
    Column c{name, Kind::Flag, Step::Switches};
    c.flag = member;
    return c;
}

Column integer(const char* name, int S::*member, Step step, int fallback, qint64 min, qint64 max)
{
    Column c{name, Kind::Integer, step};
    c.number = member;
    c.numberDefault = fallback;
    c.min = min;
    c.max = max;
    return c;
}

// A column no setting reads.
Column spare(const char* name, Kind kind) { return Column{name, kind, Step::None}; }

Column added(Column c)
{
    c.upgrade = true;
    return c;
}

// The column's place in the file and in the "info" listing: new files and
// the upgrade keep the order the program has always created them in.
Column at(int schemaOrder, int listOrder, Column c)
{
    c.schemaOrder = schemaOrder;
    c.listOrder = listOrder;
    return c;
}

// The columns of the row that belong to no format.
const QVector<Column>& ownColumns()
{
    // clang-format off
    static const QVector<Column> table = {
        at(33,  0, added(spare("h6", Kind::Text))),
        at(34,  9, added(folder("h7", &S::h7, Step::FormatFiles))),  // kept and checked, not used
        at(36,  0, added(spare("h9", Kind::Text))),
        at(37,  0, added(spare("h10", Kind::Text))),
        // Kept and written back; no format reads them.
        at(17, 27, flag("select4",        &S::select4)),
        at(22, 28, flag("select9",        &S::select9)),
        at(28, 29, added(flag("select10", &S::select10))),
        at(29, 30, added(flag("select11", &S::select11))),
        at(32,  0, added(spare("select14", Kind::Flag))),
        // The current list and the download options.
        at(23, 31, integer("lijst",   &S::lijst,   Step::CurrentList, 1,  1, 16)),
        at(24, 32, integer("teller2", &S::teller2, Step::Options,     10, kInt16Min, kInt16Max)),  // time-out, seconds
        at(25, 33, integer("teller3", &S::teller3, Step::Options,     5,  kInt16Min, kInt16Max)),  // attempts
        at(26, 34, integer("teller4", &S::teller4, Step::Options,     0,  kInt16Min, kInt16Max)),  // logging
        at(27, 35, integer("teller5", &S::teller5, Step::Options,     1,  kInt16Min, kInt16Max)),  // euro conversion
    };
    // clang-format on
    return table;
}

// One column a format declares.
Column declared(QChar letter, Part part, const formatsettings::Column& d)
{
    Column c{d.name, Kind::Flag, Step::Switches, d.addedByUpgrade()};
    c.part = part;
    c.format = letter;
    c.schemaOrder = d.place;
    c.listOrder = d.listed;
    if (part == Part::Folder) {
        c.kind = Kind::Folder;
        c.step = d.early ? Step::Folders : Step::FormatFiles;
        c.folderChecked = !d.blankKept;
    } else if (part == Part::Value) {
        c.kind = Kind::Text;
        c.step = Step::FormatFiles;
        c.textDefault = d.fallback;
    }
    return c;
}

// Sorted by `order`, those at 0 behind the others in the order they come.
QVector<Column> sortedBy(QVector<Column> columns, int Column::*order)
{
    const auto key = [order](const Column& c) { return c.*order > 0 ? c.*order : INT_MAX; };
    std::stable_sort(columns.begin(), columns.end(),
                     [&key](const Column& a, const Column& b) { return key(a) < key(b); });
    return columns;
}

QString* textIn(S& s, const Column& c)
{
    switch (c.part) {
    case Part::Folder:
        return &s.format(c.format).folder;
    case Part::Value:
        return &s.format(c.format).value(c.name);
    default:
        return &(s.*c.text);
    }
}

bool* flagIn(S& s, const Column& c)
{
    switch (c.part) {
    case Part::On:
        return &s.format(c.format).on;
    case Part::LongNames:
        return &s.format(c.format).longNames;
    default:
        return &(s.*c.flag);
    }
}

QString textOf(const S& s, const Column& c)
{
    switch (c.part) {
    case Part::Folder:
        return s.format(c.format).folder;
    case Part::Value:
        return s.format(c.format).value(c.name);
    default:
        return s.*c.text;
    }
}

bool flagOf(const S& s, const Column& c)
{
    switch (c.part) {
    case Part::On:
        return s.format(c.format).on;
    case Part::LongNames:
        return s.format(c.format).longNames;
    default:
        return s.*c.flag;
    }
}

}  // namespace

QString Column::sqlType() const
{
    if (kind == Kind::Flag || kind == Kind::Integer)
        return QStringLiteral("INTEGER");
    return upgrade ? QStringLiteral("VARCHAR(200)") : QStringLiteral("TEXT");
}

void Column::load(ProgramSettings& s, const QVariant& stored) const
{
    switch (kind) {
    case Kind::Folder: {
        const QString value = stored.isNull() ? QString() : stored.toString().trimmed();
        *textIn(s, *this) = value.isEmpty() ? paths::fallbackFolder() : value;
        break;
    }
    case Kind::Text:
        *textIn(s, *this) = stored.isNull() ? QLatin1String(textDefault) : stored.toString();
        break;
    case Kind::Flag:
        *flagIn(s, *this) = !stored.isNull() && textconv::toBool(stored.toString()).value_or(false);
        break;
    case Kind::Integer:
        s.*number = stored.isNull()
                        ? numberDefault
                        : static_cast<int>(textconv::toInteger(stored.toString(), min, max).value_or(numberDefault));
        break;
    }
}

QString Column::show(const ProgramSettings& s) const
{
    switch (kind) {
    case Kind::Folder:
    case Kind::Text:
        return textOf(s, *this);
    case Kind::Flag:
        return textconv::fromBool(flagOf(s, *this));
    case Kind::Integer:
        return QString::number(s.*number);
    }
    return {};
}

QVector<Column> all()
{
    QVector<Column> columns = ownColumns();
    for (const formatsettings::Declared& f : formatsettings::declared()) {
        const formatsettings::Columns& d = f.columns;
        columns.append(declared(f.letter, Part::On, d.on));
        if (d.folder.declared())
            columns.append(declared(f.letter, Part::Folder, d.folder));
        if (d.longNames.declared())
            columns.append(declared(f.letter, Part::LongNames, d.longNames));
        for (const formatsettings::Column& v : d.values)
            columns.append(declared(f.letter, Part::Value, v));
    }
    return sortedBy(columns, &Column::listOrder);
}

QVector<Column> inSchemaOrder() { return sortedBy(all(), &Column::schemaOrder); }

QVector<Column> checkedFolders()
{
    QVector<Column> folders;
    for (const Column& c : all()) {
        if (c.kind == Kind::Folder && c.loaded() && c.folderChecked)
            folders.append(c);
    }
    return folders;
}

}  // namespace settingstable
