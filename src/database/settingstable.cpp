#include "database/settingstable.h"

#include "support/paths.h"
#include "support/textconv.h"

#include <algorithm>
#include <limits>

namespace settingstable {
namespace {

using S = ProgramSettings;

constexpr qint64 kInt16Min = std::numeric_limits<qint16>::min();
constexpr qint64 kInt16Max = std::numeric_limits<qint16>::max();

Column folder(const char* name, QString S::*member, Step step, int checkOrder)
{
    Column c{name, Kind::Folder, step};
    c.text = member;
    c.checkOrder = checkOrder;
    return c;
}

Column text(const char* name, QString S::*member, const char* fallback)
{
    Column c{name, Kind::Text, Step::FormatFiles};
    c.text = member;
    c.textDefault = fallback;
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

// The column's place in the file: new files and the upgrade keep the order
// the program has always created them in.
Column at(int schemaOrder, Column c)
{
    c.schemaOrder = schemaOrder;
    return c;
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
        s.*text = value.isEmpty() ? paths::fallbackFolder() : value;
        break;
    }
    case Kind::Text:
        s.*text = stored.isNull() ? QLatin1String(textDefault) : stored.toString();
        break;
    case Kind::Flag:
        s.*flag = !stored.isNull() && textconv::toBool(stored.toString()).value_or(false);
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
        return s.*text;
    case Kind::Flag:
        return textconv::fromBool(s.*flag);
    case Kind::Integer:
        return QString::number(s.*number);
    }
    return {};
}

const QVector<Column>& all()
{
    // clang-format off
    static const QVector<Column> table = {
        // Folders of the export formats; the last number is the place in the folder check.
        at( 1, folder("excel",     &S::excel,     Step::Folders,     5)),
        at( 2, folder("metastock", &S::metastock, Step::Folders,     4)),
        at( 3, folder("prn",       &S::prn,       Step::Folders,     3)),
        at( 4, folder("stockguru", &S::stockguru, Step::FormatFiles, 1)),
        at( 5, folder("h1",        &S::h1,        Step::FormatFiles, 2)),
        at( 6, folder("h2",        &S::h2,        Step::FormatFiles, 6)),
        at( 7, folder("h3",        &S::h3,        Step::FormatFiles, 7)),
        at( 8, folder("h5",        &S::h5,        Step::FormatFiles, 8)),
        at(33, added(spare("h6", Kind::Text))),
        at(34, added(folder("h7",  &S::h7,        Step::FormatFiles, 9))),  // kept and checked, not used
        at(35, added(folder("h8",  &S::h8,        Step::FormatFiles, 10))),
        at(36, added(spare("h9", Kind::Text))),
        at(37, added(spare("h10", Kind::Text))),
        // The PRN run file: open-interest column and extension.
        at(38, added(text("h11", &S::h11, "0"))),
        at(39, added(text("h12", &S::h12, "PRN"))),
        // Format switches, in the order of the Export format menu.
        at( 9, flag("selectamibroker", &S::selectamibroker)),
        at(10, flag("selectmetastock", &S::selectmetastock)),
        at(11, flag("selectstockguru", &S::selectstockguru)),
        at(12, flag("selectprn",       &S::selectprn)),
        at(14, flag("select1",         &S::select1)),
        at(15, flag("select2",         &S::select2)),
        at(13, flag("selectexcel",     &S::selectexcel)),
        at(20, flag("select7",         &S::select7)),
        at(21, flag("select8",         &S::select8)),
        at(30, added(flag("select12",  &S::select12))),
        // "Export long names" of S, C, K and D.
        at(16, flag("select3",         &S::select3)),
        at(18, flag("select5",         &S::select5)),
        at(19, flag("select6",         &S::select6)),
        at(31, added(flag("select13",  &S::select13))),
        // Kept and written back; no format reads them.
        at(17, flag("select4",         &S::select4)),
        at(22, flag("select9",         &S::select9)),
        at(28, added(flag("select10",  &S::select10))),
        at(29, added(flag("select11",  &S::select11))),
        at(32, added(spare("select14", Kind::Flag))),
        // The current list and the download options.
        at(23, integer("lijst",   &S::lijst,   Step::CurrentList, 1,  1, 16)),
        at(24, integer("teller2", &S::teller2, Step::Options,     10, kInt16Min, kInt16Max)),  // time-out, seconds
        at(25, integer("teller3", &S::teller3, Step::Options,     5,  kInt16Min, kInt16Max)),  // attempts
        at(26, integer("teller4", &S::teller4, Step::Options,     0,  kInt16Min, kInt16Max)),  // logging
        at(27, integer("teller5", &S::teller5, Step::Options,     1,  kInt16Min, kInt16Max)),  // euro conversion
    };
    // clang-format on
    return table;
}

const char* columnOf(bool ProgramSettings::*flag)
{
    for (const Column& c : all()) {
        if (c.flag && c.flag == flag)
            return c.name;
    }
    return nullptr;
}

const char* columnOf(QString ProgramSettings::*text)
{
    for (const Column& c : all()) {
        if (c.text && c.text == text)
            return c.name;
    }
    return nullptr;
}

QVector<const Column*> inSchemaOrder()
{
    QVector<const Column*> columns;
    for (const Column& c : all())
        columns.append(&c);
    std::sort(columns.begin(), columns.end(),
              [](const Column* a, const Column* b) { return a->schemaOrder < b->schemaOrder; });
    return columns;
}

QVector<QPair<const char*, QString ProgramSettings::*>> checkedFolders()
{
    // The MetaStock root is not among them: a root that is gone (a disk not
    // mounted) must not become the home folder, where placing new symbols
    // would make databases in the user's own folders. Its writer checks it
    // when a run begins and leaves MetaStock out of that run.
    QVector<const Column*> folders;
    for (const Column& c : all()) {
        if (c.kind == Kind::Folder && c.loaded() && c.text != &ProgramSettings::metastock)
            folders.append(&c);
    }
    std::sort(folders.begin(), folders.end(),
              [](const Column* a, const Column* b) { return a->checkOrder < b->checkOrder; });
    QVector<QPair<const char*, QString ProgramSettings::*>> out;
    for (const Column* c : folders)
        out.append({c->name, c->text});
    return out;
}

}  // namespace settingstable
