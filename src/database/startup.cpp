#include "database/startup.h"

#include "database/db.h"
#include "database/schema.h"
#include "database/settingsrow.h"
#include "database/settingstable.h"
#include "support/formatsettings.h"
#include "support/messages.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"

#include <QFileInfo>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr qint64 kInt16Min = std::numeric_limits<qint16>::min();
constexpr qint64 kInt16Max = std::numeric_limits<qint16>::max();
constexpr qint64 kInt32Min = std::numeric_limits<qint32>::min();
constexpr qint64 kInt32Max = std::numeric_limits<qint32>::max();

// Opens the database, creating it on the first start. Throws DbError when
// the file cannot be used; a file that exists is never written by a failed
// open.
std::unique_ptr<Database> openOrCreate(bool* created)
{
    const QString file = paths::databaseFile();
    QString error;
    if (!paths::ensureDataFolder(&error))
        throw DbError(14 /* SQLITE_CANTOPEN */, error);
    if (QFileInfo::exists(file)) {
        auto db = std::make_unique<Database>(file, Database::Mode::OpenExisting);
        const QString check = db->scalar(QStringLiteral("PRAGMA quick_check")).toString();
        if (check != QLatin1String("ok"))
            throw DbError(11 /* SQLITE_CORRUPT */, QStringLiteral("The database is damaged: ") + check);
        return db;
    }
    auto db = std::make_unique<Database>(file, Database::Mode::CreateIfMissing);
    try {
        schema::createTables(*db);
    } catch (...) {
        db.reset();
        QFile::remove(file);  // our own half-made file, not a user's
        throw;
    }
    *created = true;
    return db;
}

// Loads the columns of one start-up step from the row; a Text column that
// is Null gets its default, written back into the row.
void loadStep(Database& db, const QVariantMap& row, settingstable::Step step)
{
    ProgramSettings& s = settings();
    settingsrow::Columns defaults;
    for (const settingstable::Column& c : settingstable::all()) {
        if (c.step != step)
            continue;
        const QVariant stored = row.value(QLatin1String(c.name));
        c.load(s, stored);
        if (c.kind == settingstable::Kind::Text && stored.isNull())
            defaults.append({QLatin1String(c.name), c.show(s)});
    }
    settingsrow::write(db, defaults);
}

// Runs the steps in order under the error dialog; stops on Abort.
bool runSteps(const std::vector<std::function<void()>>& steps)
{
    for (const auto& step : steps) {
        if (guarded(step) == StepOutcome::Aborted)
            return false;
    }
    return true;
}

void readStore()
{
    ProgramSettings& s = settings();
    for (int n = 1; n <= 16; ++n) {
        // A list has the name the user gave it, none before.
        s.listNames[n] = store::read(QStringLiteral("List%1").arg(n), QString()).trimmed();
    }
    const QTime now = QTime::currentTime();
    for (int n = 1; n <= 16; ++n) {
        s.dList[n] =
            textconv::toBool(store::read(QStringLiteral("DList%1").arg(n), QStringLiteral("False"))).value_or(false);
        s.sList[n] =
            textconv::toBool(store::read(QStringLiteral("SList%1").arg(n), QStringLiteral("False"))).value_or(false);
        const QString start = store::read(QStringLiteral("TList%1").arg(n), textconv::fromTime(now));
        s.tList[n] = textconv::toTime(start).value_or(now);
        s.eList[n] = textconv::toTime(store::read(QStringLiteral("EList%1").arg(n), start)).value_or(s.tList[n]);
        s.iList[n] =
            textconv::toTime(store::read(QStringLiteral("IList%1").arg(n), QStringLiteral("0"))).value_or(QTime(0, 0));
    }
    auto integer = [](const char* key, const char* fallback, int def, qint64 min, qint64 max) {
        return static_cast<int>(
            textconv::toInteger(store::read(QLatin1String(key), QLatin1String(fallback)), min, max).value_or(def));
    };
    s.split = integer("split", "0", 0, kInt16Min, kInt16Max);
    s.metaversion = integer("Metaversion", "2000", 2000, 1, kInt32Max);
    s.multiplelists =
        textconv::toBool(store::read(QStringLiteral("Multiplelists"), QStringLiteral("False"))).value_or(false);
    const auto interval =
        textconv::leadingNumber(store::read(QStringLiteral("IntervalDownload"), QStringLiteral(" 1500")));
    s.intervalDownload = interval && *interval >= 0 && *interval <= kInt32Max ? static_cast<int>(*interval) : 1500;
    s.isdelay = textconv::toBool(store::read(QStringLiteral("Isdelay"), QStringLiteral("True"))).value_or(true);
    s.helpversion = integer("helpversion", "0", 0, kInt32Min, kInt32Max);
    s.dcurrent = integer("dcurrent", "0", 0, kInt16Min, kInt16Max);
    const ProgramSettings defaults;
    auto host = [](const char* key, const QString& fallback) {
        const QString text = store::read(QLatin1String(key), fallback).trimmed();
        return text.isEmpty() ? fallback : text;
    };
    s.quoteHost = host("QuoteHost", defaults.quoteHost);
    s.quoteHostAU = host("QuoteHostAU", defaults.quoteHostAU);
    s.quoteHostSG = host("QuoteHostSG", defaults.quoteHostSG);
    s.chartHost = host("ChartHost", defaults.chartHost);
}

}  // namespace

StartupResult runStartup()
{
    StartupResult result;
    BusyPointer busy;
    ProgramSettings& s = settings();

    const QString server = store::read(QStringLiteral("server"), QStringLiteral("U")).trimmed();
    s.server = server.isEmpty() ? QLatin1Char('U') : server.at(0);
    s.reject = textconv::toBool(store::read(QStringLiteral("reject"), QStringLiteral("True"))).value_or(true);

    std::unique_ptr<Database> db;
    try {
        db = openOrCreate(&result.created);
    } catch (const DbError&) {
        msgBox(QStringLiteral("unable to open database"));
        return result;
    }

    // Upgrade: a statement the database refuses as already done is skipped.
    for (const QString& statement : schema::upgradeStatements()) {
        const StepOutcome outcome = guarded([&] {
            try {
                db->exec(statement);
            } catch (const DbError& e) {
                if (!e.commandRefused())
                    throw;
            }
        });
        if (outcome == StepOutcome::Aborted) {
            result.aborted = true;
            return result;
        }
    }

    // The row's values, read once; every later step works on this copy.
    QVariantMap row;
    const bool rowRead = runSteps({[&] {
        if (db->scalar(QStringLiteral("SELECT count(*) FROM globaal")).toLongLong() == 0)
            db->exec(QStringLiteral("INSERT INTO globaal (lijst) VALUES (NULL)"));
        Statement st =
            db->prepare(QStringLiteral("SELECT * FROM globaal WHERE rowid = (SELECT min(rowid) FROM globaal)"));
        st.next();
        for (int i = 0; i < st.columnCount(); ++i)
            row.insert(st.columnName(i).toLower(), st.value(i));
    }});
    if (!rowRead) {
        result.aborted = true;
        return result;
    }
    result.opened = true;
    state().databaseOpened = true;

    using settingstable::Step;
    const bool completed = runSteps({
        [&] { loadStep(*db, row, Step::Folders); },
        [&] {
            // A first start asks each format that has a probe for its folder.
            if (!result.created)
                return;
            settingsrow::Columns columns;
            for (const formatsettings::Declared& f : formatsettings::declared()) {
                const formatsettings::Columns& d = f.columns;
                if (!d.firstStart || !d.folder.declared())
                    continue;
                const formatsettings::FirstStart found = d.firstStart();
                row[QLatin1String(d.folder.name)] = found.folder;
                columns.append({QLatin1String(d.folder.name), found.folder});
                if (found.on) {
                    row[QLatin1String(d.on.name)] = 1;
                    columns.append({QLatin1String(d.on.name), 1});
                }
            }
            settingsrow::write(*db, columns);
        },
        [&] { loadStep(*db, row, Step::FormatFiles); },
        [&] { loadStep(*db, row, Step::Switches); },
        [&] { loadStep(*db, row, Step::CurrentList); },
        [&] {
            // An empty folder counts as the fallback folder, in the row too.
            // A folder that is set stays as it is, also when it is gone for
            // a while: the runs leave its format out until it is back.
            settingsrow::Columns columns;
            for (const settingstable::Column& c : settingstable::checkedFolders()) {
                if (!row.value(QLatin1String(c.name)).toString().trimmed().isEmpty())
                    continue;
                columns.append({QLatin1String(c.name), c.show(settings())});
            }
            settingsrow::write(*db, columns);
        },
        [&] { loadStep(*db, row, Step::Options); },
    });
    db.reset();
    if (!completed) {
        result.aborted = true;
        return result;
    }
    readStore();
    return result;
}
