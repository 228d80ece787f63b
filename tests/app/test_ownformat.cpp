// A per-symbol format of the tests' own, registered here and nowhere in the
// program: both runs write it, and status, the chart and `check` read it
// back through its codec alone.
#include "fakeservice.h"
#include "historytable.h"
#include "runwait.h"
#include "tablecolumns.h"
#include "testutil.h"

#include "app/commands_check.h"
#include "app/headless.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/settingsrow.h"
#include "database/startup.h"
#include "runs/chartframe.h"
#include "runs/currentrun.h"
#include "runs/historyrun.h"
#include "runs/symbolstatus.h"
#include "support/paths.h"
#include "support/state.h"
#include "writers/checkfiles.h"
#include "writers/codecs/symbolfiles/symbolfiles.h"
#include "writers/codecs/text/textcodec.h"
#include "writers/formatregistry.h"
#include "writers/location.h"
#include "writers/storedfiles.h"
#include "writers/symbolwriter.h"

#include <QDir>

namespace {

// "YYYY-MM-DD,O,H,L,C,V" lines in ".tsq" files.
class TsqWriter final : public TextQuoteWriter {
public:
    QChar letter() const override { return QLatin1Char('Y'); }
    void appendLine(QByteArray& out, const QString&, const Quote& q) const override
    {
        quotetext::appendNumber(out, quotetext::year(q.date), 4);
        out += '-';
        quotetext::appendNumber(out, quotetext::month(q.date), 2);
        out += '-';
        quotetext::appendNumber(out, quotetext::day(q.date), 2);
        out += ',';
        appendPrices(out, q);
    }

protected:
    std::optional<qint32> parseDate(QByteArrayView line) const override
    {
        if (line.size() < 10 || line[4] != '-' || line[7] != '-')
            return std::nullopt;
        const QDate d = QDate::fromString(QString::fromLatin1(line.first(10)), QStringLiteral("yyyy-MM-dd"));
        if (!d.isValid())
            return std::nullopt;
        return d.year() * 10000 + d.month() * 100 + d.day();
    }
};

const TsqWriter kLayout;
const TextCodec kCodec(kLayout, QLatin1Char('Y'));

// Its switch, folder and long names are columns of its own in the settings
// row, which start-up adds to a file that lacks them.
const ExportFormat kTsq{
    .letter = QLatin1Char('Y'),
    .menuName = "menutsq",
    .caption = "&TSQ-format",
    .columns = {.on = {.name = "selecttsq"}, .folder = {.name = "tsq"}, .longNames = {.name = "selecttsqlong"}},
    .title = "Export to TSQ-format",
    .folderPrompt = "Choose location of TSQ-files",
    .extension = ".tsq",
    .makeWriter =
        [](const ExportFormat& f) {
            return formatwriters::perSymbol(f, {"Writing to TSQ", "End writing to TSQ", nullptr, "TSQ"});
        },
    .makeFileWriter = [] { return std::unique_ptr<SymbolFileWriter>(new TsqWriter); },
    .options = TailChecked,
    .stored = &kCodec,
    .shortName = "TSQ"};

}  // namespace

class OwnSymbolFormatTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        registry.add(kTsq);
        ASSERT_TRUE(runStartup().opened);
        ASSERT_TRUE(fake.isListening());
        fake.useForAllHosts();
        quickRuns(2);
        folder = formatOn('Y', QStringLiteral("tsq"));
        Database db(paths::databaseFile());
        // What start-up loads again for `check`.
        settingsrow::write(db,
                           {{QStringLiteral("selecttsq"), QStringLiteral("True")}, {QStringLiteral("tsq"), folder}});
        for (const char* t : {"AAA", "BBB.AS"}) {
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                                   "VALUES (1, ?, ?, 'Unknown', 1)"),
                    {QString::fromLatin1(t), QStringLiteral("Corp")});
        }
    }

    int check(const QStringList& args, QString* out, QString* err)
    {
        QTextStream o(out), e(err);
        HeadlessContext c{args, o, e};
        const int status = cmdCheck(c);
        o.flush();
        e.flush();
        return status;
    }

    // The test's own registry, in use while the test runs.
    FormatRegistry registry;
    formats::Use use{registry};
    FakeQuoteService fake;
    QString folder;
};

TEST_F(OwnSymbolFormatTest, TheRegistryOffersItWhereTheBuiltInOnesAre)
{
    EXPECT_EQ(formats::find(QLatin1Char('y')), &registry.formats().back());
    {
        // Another registry in use knows only the built-in formats.
        FormatRegistry other;
        const formats::Use inner(other);
        EXPECT_FALSE(formats::find(QLatin1Char('Y')));
        EXPECT_EQ(formats::letters(formats::checkOrder(), QStringLiteral(""), QStringLiteral("")),
                  QStringLiteral("CSDKM"));
    }
    EXPECT_EQ(formats::letters(formats::checkOrder(), QStringLiteral(", "), QStringLiteral(" or ")),
              QStringLiteral("C, S, D, K, M or Y"));
    EXPECT_EQ(symbolstatus::formatsShown(), QVector<QChar>{QLatin1Char('Y')});
    ASSERT_TRUE(formats::tailChecked());
    EXPECT_EQ(formats::tailChecked()->letter, QLatin1Char('Y'));
    // A format that is on earlier in the registry gives the stored days.
    settings().format('C').on = true;
    EXPECT_EQ(formats::tailChecked()->letter, QLatin1Char('C'));
}

TEST_F(OwnSymbolFormatTest, ACurrentRunAppendsToItsFilesAndReadsTheirLastDay)
{
    writeFile(folder + "AAA.tsq", "2026-11-30,10,10.5,9.5,10.25,900\r\n");
    for (const char* t : {"AAA", "BBB.AS"})
        fake.addQuote({t, "12/1/2026", "4:00pm", "10.5", "11", "10", "10.75", "1200", "Corp", "NYSE"});

    CurrentRun run;
    EXPECT_TRUE(runToEnd(run));
    EXPECT_EQ(run.summary().written, (QMap<QChar, int>{{QLatin1Char('Y'), 2}}));
    EXPECT_EQ(readAll(folder + "AAA.tsq"),
              QByteArray("2026-11-30,10,10.5,9.5,10.25,900\r\n2026-12-01,10.5,11,10,10.75,1200\r\n"));
    const QString bbb = symbolFile(QLatin1Char('Y'), QStringLiteral("BBB.AS"), QString()).path;
    EXPECT_TRUE(bbb.startsWith(folder));
    EXPECT_EQ(readAll(bbb), QByteArray("2026-12-01,10.5,11,10,10.75,1200\r\n"));
    // No file of a built-in format was made.
    EXPECT_FALSE(QFile::exists(paths::fallbackFolder() + QStringLiteral("AAA.asc")));

    // The integrity check's read of the last stored day.
    const std::optional<integrity::Bar> last = checkfiles::lastDay(folder + "AAA.tsq", QLatin1Char('Y'));
    ASSERT_TRUE(last);
    EXPECT_EQ(last->date, 20261201);
    EXPECT_EQ(last->close, 10.75);
    EXPECT_EQ(storedfiles::lastDate(folder + "AAA.tsq", QLatin1Char('Y')), QDate(2026, 12, 1));
}

TEST_F(OwnSymbolFormatTest, AHistoricalRunMergesEverySymbolAndStatusAndChartReadIt)
{
    writeFile(folder + "AAA.tsq", "2004-01-06,1,1,1,1,1\r\n");  // replaced by the run's day
    fake.setResponder(fakehistory::responder());
    HistoryRun run;
    run.startDate = QDate(2004, 1, 5);
    run.endDate = QDate(2004, 9, 10);
    EXPECT_TRUE(runToEnd(run));
    const int days = run.summary().quotesReceived;
    ASSERT_GT(days, 300);
    EXPECT_EQ(run.summary().written.value(QLatin1Char('Y')), days);

    const storedfiles::Series aaa = storedfiles::readDays(folder + "AAA.tsq", QLatin1Char('Y'));
    ASSERT_FALSE(aaa.days.isEmpty());
    EXPECT_EQ(aaa.skipped, 0);
    EXPECT_TRUE(std::is_sorted(aaa.days.begin(), aaa.days.end(),
                               [](const storedfiles::Day& a, const storedfiles::Day& b) { return a.date <= b.date; }));
    EXPECT_NE(aaa.days.front().close, 1.0);  // the old day is the run's now
    const QDate lastAaa = aaa.days.back().date;

    Database db(paths::databaseFile());
    QVector<lists::Symbol> symbols(2);
    symbols[0].ticker = QStringLiteral("AAA");
    symbols[1].ticker = QStringLiteral("NONE");
    const QVector<symbolstatus::SymbolStatus> status = symbolstatus::statusOf(db, symbols);
    ASSERT_EQ(status.size(), 2);
    ASSERT_EQ(status[0].formats.size(), 1);
    EXPECT_EQ(status[0].formats[0].letter, QLatin1Char('Y'));
    EXPECT_EQ(status[0].formats[0].last, lastAaa);
    EXPECT_EQ(status[0].formats[0].state, symbolstatus::FileState::Ok);
    EXPECT_EQ(status[1].formats[0].state, symbolstatus::FileState::Missing);

    const chartsource::Loaded chart = chartsource::load(db, QLatin1Char('Y'), QStringLiteral("AAA"));
    EXPECT_EQ(chart.where, folder + "AAA.tsq");
    ASSERT_EQ(chart.series.days.size(), aaa.days.size());
    EXPECT_EQ(chart.series.days.back().close, aaa.days.back().close);
    EXPECT_TRUE(chartsource::load(db, QLatin1Char('Y'), QStringLiteral("NONE")).where.isEmpty());
}

TEST_F(OwnSymbolFormatTest, CheckTellsItsFilesAndReadsThem)
{
    const QByteArray days = "2024-01-05,10,11,9,10.5,100\r\n2024-01-06,10.5,11,10,10.6,100\r\nnot a day\r\n";
    EXPECT_EQ(checkfiles::formatOf(days), QLatin1Char('Y'));
    EXPECT_EQ(checkfiles::formatOf("20240105,10,11,9,10.5,100\r\n"), QLatin1Char('C'));

    // By the folder the settings give the format.
    writeFile(folder + "GET.tsq", days);
    writeFile(folder + "notes.txt", "not a quote file\r\n");
    QString out, err;
    EXPECT_EQ(check({folder}, &out, &err), kExitCheckFindings) << qPrintable(err);
    EXPECT_TRUE(out.contains(QStringLiteral("GET 2024-01-06 weekend: Saturday; flagged\n"))) << qPrintable(out);
    EXPECT_TRUE(out.contains(QStringLiteral("GET.tsq line 3: unreadable: no date where the layout has one")))
        << qPrintable(out);
    EXPECT_TRUE(err.endsWith(QStringLiteral("checked 1 file, 2 findings, 1 other files left alone\n")))
        << qPrintable(err);

    // Elsewhere by the content, or named.
    const QString elsewhere = path(QStringLiteral("elsewhere/"));
    QDir().mkpath(elsewhere);
    writeFile(elsewhere + "ONE.txt", "2024-01-04,10,11,9,10.5,100\r\n2024-01-05,10.5,11.2,10.1,10.8,140\r\n");
    out.clear();
    err.clear();
    EXPECT_EQ(check({elsewhere + "ONE.txt"}, &out, &err), 0) << qPrintable(out);
    EXPECT_EQ(check({elsewhere + "ONE.txt", "--format", "y"}, &out, &err), 0) << qPrintable(err);
    EXPECT_TRUE(out.isEmpty());

    err.clear();
    EXPECT_EQ(check({elsewhere + "ONE.txt", "--format", "Q"}, &out, &err), 2);
    EXPECT_EQ(err, QStringLiteral("--format takes C, S, D, K, M or Y\n"));
    err.clear();
    EXPECT_EQ(check({}, &out, &err), 2);
    EXPECT_EQ(err, QStringLiteral("usage: check FOLDER|FILE [--format C|S|D|K|M|Y] [--repair]\n"));
}

// The format's settings live in columns of its own: a database the program
// made without the format gets them behind every other at the next start,
// and the format's switch, folder and long names are saved and loaded as a
// built-in format's are.
class OwnFormatSettingsTest : public QuotarisTest {};

TEST_F(OwnFormatSettingsTest, ItsColumnsAreAddedToAnExistingDatabaseAndItsChoiceIsKept)
{
    QStringList builtInColumns;
    {
        // The database as the program without the format leaves it.
        FormatRegistry builtIn;
        const formats::Use use(builtIn);
        resetProcessState();
        ASSERT_TRUE(runStartup().opened);
        Database db(paths::databaseFile());
        builtInColumns = columnsOf(db, QStringLiteral("globaal"));
    }
    ASSERT_FALSE(builtInColumns.contains(QStringLiteral("selecttsq")));

    FormatRegistry registry;
    registry.add(kTsq);
    const formats::Use use(registry);
    resetProcessState();
    ASSERT_TRUE(runStartup().opened);
    EXPECT_TRUE(msgs.shown.isEmpty()) << qPrintable(msgs.texts().join(QLatin1Char('|')));
    {
        Database db(paths::databaseFile());
        EXPECT_EQ(columnsOf(db, QStringLiteral("globaal")),
                  builtInColumns + QStringList({"selecttsq", "tsq", "selecttsqlong"}));
        // A blank folder is the fallback folder, in the row too.
        EXPECT_EQ(settingsrow::read(db, QStringLiteral("tsq")).toString(), home());
    }
    EXPECT_FALSE(settings().format('Y').on);
    EXPECT_EQ(settings().format('Y').folder, home());
    EXPECT_FALSE(settings().format('Y').longNames);

    // Saved as the location window saves a built-in format's choice.
    const QString folder = path(QStringLiteral("tsq/"));
    QDir().mkpath(folder);
    LocationChoice choice;
    choice.selected = true;
    choice.folder = folder;
    choice.longNames = true;
    ASSERT_TRUE(FormatLocation(QLatin1Char('Y')).accept(choice));
    {
        Database db(paths::databaseFile());
        EXPECT_EQ(settingsrow::read(db, QStringLiteral("selecttsq")).toInt(), 1);
        EXPECT_EQ(settingsrow::read(db, QStringLiteral("tsq")).toString(), folder);
        EXPECT_EQ(settingsrow::read(db, QStringLiteral("selecttsqlong")).toInt(), 1);
        // No column of the program's is borrowed.
        EXPECT_TRUE(settingsrow::read(db, QStringLiteral("select4")).isNull());
        EXPECT_TRUE(settingsrow::read(db, QStringLiteral("select9")).isNull());
    }

    // Loaded by the next start, and listed by `info` behind the row's own
    // settings.
    resetProcessState();
    ASSERT_TRUE(runStartup().opened);
    EXPECT_TRUE(settings().format('Y').on);
    EXPECT_EQ(settings().format('Y').folder, folder);
    EXPECT_TRUE(settings().format('Y').longNames);
    EXPECT_FALSE(settings().select4);
    const QVector<QPair<QString, QString>> info = settingsrow::describe();
    const qsizetype last = info.indexOf({QStringLiteral("teller5"), QStringLiteral("1")});
    ASSERT_GE(last, 0);
    EXPECT_EQ(info.mid(last + 1, 4),
              (QVector<QPair<QString, QString>>{
                  {"selecttsq", "True"}, {"tsq", folder}, {"selecttsqlong", "True"}, {"server", "U"}}));

    // The program without the format opens the file as before.
    FormatRegistry builtIn;
    const formats::Use withoutIt(builtIn);
    resetProcessState();
    ASSERT_TRUE(runStartup().opened);
    EXPECT_TRUE(msgs.shown.isEmpty()) << qPrintable(msgs.texts().join(QLatin1Char('|')));
    EXPECT_FALSE(formats::find(QLatin1Char('Y')));
}
