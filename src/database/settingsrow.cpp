#include "database/settingsrow.h"

#include "database/db.h"
#include "database/settingstable.h"
#include "support/folders.h"
#include "support/messages.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"

#include <QStringList>

namespace settingsrow {
namespace {
const QString kFirstRow = QStringLiteral("(SELECT min(rowid) FROM globaal)");
}

void write(Database& db, const Columns& columns)
{
    if (columns.isEmpty())
        return;
    QStringList assignments;
    for (const auto& column : columns)
        assignments << column.first + QStringLiteral(" = ?");
    Statement st = db.prepare(QStringLiteral("UPDATE globaal SET ") + assignments.join(QStringLiteral(", ")) +
                              QStringLiteral(" WHERE rowid = ") + kFirstRow);
    int index = 1;
    for (const auto& column : columns)
        st.bind(index++, column.second);
    st.run();
}

QVariant read(Database& db, const QString& column)
{
    return db.scalar(QStringLiteral("SELECT ") + column + QStringLiteral(" FROM globaal WHERE rowid = ") + kFirstRow);
}

void saveCurrentList()
{
    BusyPointer busy;
    guarded([] {
        auto db = Database::openDefault();
        write(*db, {{QStringLiteral("lijst"), settings().lijst}});
    });
}

void saveOptions(Database& db)
{
    const ProgramSettings& s = settings();
    write(db, {{QStringLiteral("teller2"), s.teller2},
               {QStringLiteral("teller3"), s.teller3},
               {QStringLiteral("teller4"), s.teller4},
               {QStringLiteral("teller5"), s.teller5}});
    store::write(QStringLiteral("split"), QString::number(s.split));
    store::write(QStringLiteral("dcurrent"), QString::number(s.dcurrent));
}

QVector<QPair<QString, QString>> describe()
{
    const ProgramSettings& s = settings();
    QVector<QPair<QString, QString>> out;
    auto add = [&out](const char* name, const QString& value) { out.append({QLatin1String(name), value}); };
    auto flag = [&add](const char* name, bool value) { add(name, textconv::fromBool(value)); };
    auto num = [&add](const char* name, qint64 value) { add(name, QString::number(value)); };

    // The settings row, then the settings store.
    for (const settingstable::Column& c : settingstable::all()) {
        if (c.loaded())
            out.append({QLatin1String(c.name), c.show(s)});
    }
    add("server", QString(s.server));
    flag("reject", s.reject);
    for (int n = 1; n <= 16; ++n)
        out.append({QStringLiteral("List%1").arg(n), s.listNames[n]});
    for (int n = 1; n <= 16; ++n) {
        out.append({QStringLiteral("DList%1").arg(n), textconv::fromBool(s.dList[n])});
        out.append({QStringLiteral("SList%1").arg(n), textconv::fromBool(s.sList[n])});
        out.append({QStringLiteral("TList%1").arg(n), textconv::fromTime(s.tList[n])});
        out.append({QStringLiteral("EList%1").arg(n), textconv::fromTime(s.eList[n])});
        out.append({QStringLiteral("IList%1").arg(n), textconv::fromTime(s.iList[n])});
    }
    num("split", s.split);
    num("Metaversion", s.metaversion);
    flag("Multiplelists", s.multiplelists);
    num("IntervalDownload", s.intervalDownload);
    flag("Isdelay", s.isdelay);
    num("helpversion", s.helpversion);
    num("dcurrent", s.dcurrent);
    add("QuoteHost", s.quoteHost);
    add("QuoteHostAU", s.quoteHostAU);
    add("QuoteHostSG", s.quoteHostSG);
    add("ChartHost", s.chartHost);
    return out;
}

}  // namespace settingsrow
