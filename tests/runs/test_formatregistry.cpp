#include "fakeservice.h"
#include "historytable.h"
#include "runwait.h"
#include "testutil.h"

#include "database/db.h"
#include "database/startup.h"
#include "runs/currentrun.h"
#include "runs/historyrun.h"
#include "support/paths.h"
#include "support/state.h"
#include "writers/formatregistry.h"
#include "writers/formatwriter.h"
#include "writers/runfiles.h"

#include <QDir>

namespace {

// What the test format saw, in the order it saw it.
QStringList& calls()
{
    static QStringList c;
    return c;
}

// A format of the tests' own: one text file per run in its folder, a line
// per quote. Its switch and folder are columns of its own in the settings
// row, so nothing of the program knows it.
class TickFormat final : public FormatWriter {
public:
    using FormatWriter::FormatWriter;

    bool begin(ExportRun& run) override
    {
        calls() << QStringLiteral("begin %1").arg(run.historical() ? "history" : "current");
        file_ = run.files().create(
            [](bool historical, const QDate&) {
                const QString name = settings().format('X').folder + (historical ? "history.tick" : "current.tick");
                writeFile(name, "TICK\r\n");
                return name;
            },
            &aborted_);
        return !aborted_;
    }

    bool writeBatch(CurrentBatch& batch, ExportRun& run) override
    {
        calls() << QStringLiteral("batch %1").arg(batch.quotes.size());
        for (const CurrentQuote& q : batch.quotes)
            append(q.ticker, q.bar.date, q.bar.close.text, run);
        return true;
    }

    bool writeHistory(const HistoryBlock& block, ExportRun& run) override
    {
        calls() << QStringLiteral("history %1 %2").arg(block.ticker()).arg(block.size());
        for (const core::Bar& r : block.days())
            append(block.ticker(), r.date, r.close.text, run);
        return true;
    }

    void finish(ExportRun& run) override
    {
        calls() << QStringLiteral("finish");
        run.counts().notes << QStringLiteral("tick file written");
    }

private:
    void append(const QString& ticker, qint32 date, const QString& close, ExportRun& run)
    {
        file_->write(
            (ticker + QLatin1Char(';') + QString::number(date) + QLatin1Char(';') + close + "\r\n").toLatin1());
        run.wrote(letter(), 1);
    }

    AppendFile* file_ = nullptr;
    bool aborted_ = false;
};

std::unique_ptr<FormatWriter> makeTick(const ExportFormat& format) { return std::make_unique<TickFormat>(format); }

const ExportFormat kTick{.letter = QLatin1Char('X'),
                         .menuName = "menutick",
                         .caption = "&Tick",
                         .columns = {.on = {.name = "selecttick"}, .folder = {.name = "tick"}},
                         .title = "Export to Tick-format",
                         .folderPrompt = "Choose location of TICK-files",
                         .makeWriter = makeTick};

}  // namespace

// A format the program does not know, switched on alone, is written by both
// runs through the registry: no other format, no change elsewhere.
class RegisteredFormatTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        registry.add(kTick);
        ASSERT_TRUE(runStartup().opened);
        ASSERT_TRUE(fake.isListening());
        fake.useForAllHosts();
        calls().clear();
        quickRuns(2);
        formatOn('X', QStringLiteral("tick"));
        Database db(paths::databaseFile());
        for (const char* t : {"AAA", "BBB.AS"}) {
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                                   "VALUES (1, ?, ?, 'Unknown', 1)"),
                    {QString::fromLatin1(t), QStringLiteral("Corp")});
        }
    }
    QStringList tickLines(const char* name) const
    {
        return QString::fromLatin1(readAll(settings().format('X').folder + QLatin1String(name)))
            .split("\r\n", Qt::SkipEmptyParts);
    }

    FakeQuoteService fake;
    // The test's own registry, in use while the test runs.
    FormatRegistry registry;
    formats::Use use{registry};
};

TEST_F(RegisteredFormatTest, ACurrentRunWritesIt)
{
    for (const char* t : {"AAA", "BBB.AS"})
        fake.addQuote({t, "12/1/2026", "4:00pm", "10.5", "11", "10", "10.75", "1200", "Corp", "NYSE"});
    EXPECT_TRUE(formats::find(QLatin1Char('x')));
    EXPECT_EQ(formats::all().back().get().letter, QLatin1Char('X'));  // last in the menu too

    CurrentRun run;
    EXPECT_TRUE(runToEnd(run));
    EXPECT_EQ(calls(), QStringList({"begin current", "batch 2", "finish"}));
    QStringList lines = tickLines("current.tick");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("TICK"));
    lines.removeFirst();
    lines.sort();
    EXPECT_EQ(lines, QStringList({"AAA;20261201;10.75", "BBB.AS;20261201;10.75"}));
    EXPECT_EQ(run.summary().written, (QMap<QChar, int>{{QLatin1Char('X'), 2}}));
    EXPECT_EQ(run.summary().notes, QStringList({"tick file written"}));
    EXPECT_EQ(run.summary().outcome(), QStringLiteral("Download finished: 2 of 2 written"));
    // No file of another format was made.
    EXPECT_FALSE(QFile::exists(paths::fallbackFolder() + QStringLiteral("AAA.asc")));
}

TEST_F(RegisteredFormatTest, AHistoricalRunWritesEachSymbolOnce)
{
    fake.setResponder(fakehistory::responder());
    const QDate from(2004, 1, 5), to(2004, 9, 10);  // two ranges for BBB.AS
    HistoryRun run;
    run.startDate = from;
    run.endDate = to;
    EXPECT_TRUE(runToEnd(run));

    ASSERT_EQ(calls().size(), 4) << qPrintable(calls().join(QLatin1Char('|')));
    EXPECT_EQ(calls()[0], QStringLiteral("begin history"));
    // Symbols are in flight together: each is written once, in the order
    // they are complete.
    QStringList symbols{calls()[1].section(QLatin1Char(' '), 0, 1), calls()[2].section(QLatin1Char(' '), 0, 1)};
    symbols.sort();
    EXPECT_EQ(symbols, QStringList({"history AAA", "history BBB.AS"}));
    EXPECT_EQ(calls()[3], QStringLiteral("finish"));
    const int days = run.summary().quotesReceived;
    EXPECT_GT(days, 300);
    EXPECT_EQ(tickLines("history.tick").size(), days + 1);
    EXPECT_EQ(run.summary().written.value(QLatin1Char('X')), days);
    EXPECT_EQ(run.summary().writeFailures, 0);
}
