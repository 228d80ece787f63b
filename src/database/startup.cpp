#include "database/startup.h"

#include "database/db.h"
#include "database/schema.h"
#include "database/settingsrow.h"
#include "support/folders.h"
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

QString folderValue(const QVariant& v)
{
    const QString text = v.isNull() ? QString() : v.toString().trimmed();
    return text.isEmpty() ? paths::fallbackFolder() : text;
}

bool flagValue(const QVariant& v)
{
    if (v.isNull())
        return false;
    return textconv::toBool(v.toString()).value_or(false);
}

int intValue(const QVariant& v, int fallback, qint64 min, qint64 max)
{
    if (v.isNull())
        return fallback;
    return static_cast<int>(textconv::toInteger(v.toString(), min, max).value_or(fallback));
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
        const QString fallback = n == 1 ? QStringLiteral("International Indices") : QString();
        s.listNames[n] = store::read(QStringLiteral("List%1").arg(n), fallback).trimmed();
    }
    const QTime now = QTime::currentTime();
    for (int n = 1; n <= 16; ++n) {
        s.dList[n] = textconv::toBool(store::read(QStringLiteral("DList%1").arg(n), QStringLiteral("False"))).value_or(false);
        s.sList[n] = textconv::toBool(store::read(QStringLiteral("SList%1").arg(n), QStringLiteral("False"))).value_or(false);
        const QString start = store::read(QStringLiteral("TList%1").arg(n), textconv::fromTime(now));
        s.tList[n] = textconv::toTime(start).value_or(now);
        s.eList[n] = textconv::toTime(store::read(QStringLiteral("EList%1").arg(n), start)).value_or(s.tList[n]);
        s.iList[n] = textconv::toTime(store::read(QStringLiteral("IList%1").arg(n), QStringLiteral("0"))).value_or(QTime(0, 0));
    }
    auto integer = [](const char* key, const char* fallback, int def, qint64 min, qint64 max) {
        return static_cast<int>(
            textconv::toInteger(store::read(QLatin1String(key), QLatin1String(fallback)), min, max).value_or(def));
    };
    s.split = integer("split", "0", 0, kInt16Min, kInt16Max);
    s.metaversion = integer("Metaversion", "2000", 2000, 1, kInt32Max);
    s.multiplelists = textconv::toBool(store::read(QStringLiteral("Multiplelists"), QStringLiteral("False"))).value_or(false);
    const auto interval = textconv::leadingNumber(store::read(QStringLiteral("IntervalDownload"), QStringLiteral(" 1500")));
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
        Statement st = db->prepare(QStringLiteral("SELECT * FROM globaal WHERE rowid = (SELECT min(rowid) FROM globaal)"));
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

    const bool completed = runSteps({
        [&] {
            s.excel = folderValue(row.value(QStringLiteral("excel")));
            s.metastock = folderValue(row.value(QStringLiteral("metastock")));
            s.prn = folderValue(row.value(QStringLiteral("prn")));
        },
        [&] {
            if (!result.created)
                return;
            const QString probe = folders::stockguruProbe();
            row[QStringLiteral("stockguru")] = probe;
            const bool guru = probe.indexOf(QLatin1String("stockguru"), 1, Qt::CaseInsensitive) > 0;
            settingsrow::Columns columns{{QStringLiteral("stockguru"), probe}};
            if (guru) {
                row[QStringLiteral("selectstockguru")] = 1;
                columns.append({QStringLiteral("selectstockguru"), 1});
            }
            settingsrow::write(*db, columns);
        },
        [&] {
            s.stockguru = folderValue(row.value(QStringLiteral("stockguru")));
            s.h1 = folderValue(row.value(QStringLiteral("h1")));
            s.h2 = folderValue(row.value(QStringLiteral("h2")));
            s.h3 = folderValue(row.value(QStringLiteral("h3")));
            s.h5 = folderValue(row.value(QStringLiteral("h5")));
            s.h7 = folderValue(row.value(QStringLiteral("h7")));
            s.h8 = folderValue(row.value(QStringLiteral("h8")));
            settingsrow::Columns columns;
            const QVariant h11 = row.value(QStringLiteral("h11"));
            const QVariant h12 = row.value(QStringLiteral("h12"));
            s.h11 = h11.isNull() ? QStringLiteral("0") : h11.toString();
            s.h12 = h12.isNull() ? QStringLiteral("PRN") : h12.toString();
            if (h11.isNull())
                columns.append({QStringLiteral("h11"), s.h11});
            if (h12.isNull())
                columns.append({QStringLiteral("h12"), s.h12});
            settingsrow::write(*db, columns);
        },
        [&] {
            auto f = [&row](const char* column) { return flagValue(row.value(QLatin1String(column))); };
            s.selectexcel = f("selectexcel");
            s.selectmetastock = f("selectmetastock");
            s.selectamibroker = f("selectamibroker");
            s.selectprn = f("selectprn");
            s.selectstockguru = f("selectstockguru");
            s.select1 = f("select1");
            s.select2 = f("select2");
            s.select7 = f("select7");
            s.select8 = f("select8");
            s.select10 = f("select10");
            s.select12 = f("select12");
            s.select4 = f("select4");
            s.select3 = f("select3");
            s.select5 = f("select5");
            s.select6 = f("select6");
            s.select9 = f("select9");
            s.select11 = f("select11");
            s.select13 = f("select13");
        },
        [&] { s.lijst = intValue(row.value(QStringLiteral("lijst")), 1, 1, 16); },
        [&] {
            s.stockguru = folders::folderCheck(s.stockguru);
            s.h1 = folders::folderCheck(s.h1);
            s.prn = folders::folderCheck(s.prn);
            s.metastock = folders::folderCheck(s.metastock);
            s.excel = folders::folderCheck(s.excel);
            s.h2 = folders::folderCheck(s.h2);
            s.h3 = folders::folderCheck(s.h3);
            s.h5 = folders::folderCheck(s.h5);
            s.h7 = folders::folderCheck(s.h7);
            s.h8 = folders::folderCheck(s.h8);
            settingsrow::write(*db, {{QStringLiteral("excel"), s.excel},
                                     {QStringLiteral("metastock"), s.metastock},
                                     {QStringLiteral("prn"), s.prn},
                                     {QStringLiteral("stockguru"), s.stockguru},
                                     {QStringLiteral("h2"), s.h2},
                                     {QStringLiteral("h1"), s.h1},
                                     {QStringLiteral("h3"), s.h3},
                                     {QStringLiteral("h5"), s.h5},
                                     {QStringLiteral("h7"), s.h7},
                                     {QStringLiteral("h8"), s.h8}});
        },
        [&] {
            s.teller2 = intValue(row.value(QStringLiteral("teller2")), 10, kInt16Min, kInt16Max);
            s.teller3 = intValue(row.value(QStringLiteral("teller3")), 5, kInt16Min, kInt16Max);
            s.teller4 = intValue(row.value(QStringLiteral("teller4")), 0, kInt16Min, kInt16Max);
            s.teller5 = intValue(row.value(QStringLiteral("teller5")), 1, kInt16Min, kInt16Max);
        },
    });
    db.reset();
    if (!completed) {
        result.aborted = true;
        return result;
    }
    readStore();
    return result;
}
