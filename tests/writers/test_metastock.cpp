// The MetaStock writer: the folder map, placing new symbols, one quote at a
// time and history blocks.
#include "testutil.h"

#include "database/db.h"
#include "database/startup.h"
#include "mslink/reader.h"
#include "mslink/writer.h"
#include "support/state.h"
#include "writers/classzoekmetastock.h"
#include "writers/metaclass.h"
#include "writers/metastockmap.h"
#include "writers/metastockrun.h"

#include <QDir>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

namespace {

struct FakePrompt : MetastockPrompt {
    QStringList answers;  // folders tried with OK, in turn; "" is Cancel
    QVector<bool> dontAsk;
    int asked = 0;
    QString askFolder(const QString&, const QString&, const QString&, const Place& place) override
    {
        ++asked;
        for (int i = 0; i < answers.size(); ++i) {
            if (answers[i].isEmpty())
                return {};
            bool reset = false;
            if (place(answers[i], dontAsk.value(i), &reset)) {
                const QString chosen = answers[i];
                answers = answers.mid(i + 1);
                return chosen;
            }
        }
        return {};
    }
    void showMapLoad(const CancelToken* run, const Scan& scan) override
    {
        scan([](int, int) {}, CancelToken(run));
    }
};

}  // namespace

class MetastockTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        root = path("ms/");
        QDir().mkpath(root);
        settings().format('M').folder = root;
        settings().format('M').on = true;
        msgs.shown.clear();
    }
    void TearDown() override
    {
        setMetastockPrompt(nullptr);
        run.reset();
        QuotarisTest::TearDown();
    }

    // A folder below the root holding `count` securities S0, S1, ...
    QString folderWith(const QString& name, int count)
    {
        const QString folder = root + name + QLatin1Char('/');
        mslink::Writer::createFolder(folder);
        mslink::Writer w;
        w.openFolder(folder);
        for (int n = 0; n < count; ++n)
            w.addSecurity(QStringLiteral("S%1").arg(n), QStringLiteral("Security %1").arg(n));
        return folder;
    }

    StepOutcome quote(const QString& ticker, qint32 date, double close, double volume, const QString& name = {})
    {
        metaclass m(*run);
        m.ticker(ticker);
        m.tname(name);
        m.tdate(date);
        m.topen(0);  // taken from the close
        m.thigh(close + 1);
        m.tlow(close - 1);
        m.tclose(close);
        m.tvolume(volume);
        return m.go();
    }

    mslink::RecordArrays stored(const QString& folder, const QString& ticker)
    {
        mslink::Reader r;
        r.openFolder(folder);
        EXPECT_TRUE(r.findSecurity(ticker)) << qPrintable(ticker);
        r.loadAllRecords();
        return r.arrays();
    }

    int count(const QString& folder)
    {
        mslink::Reader r;
        r.openFolder(folder);
        return r.securityCount();
    }

    QString root;
    // The writer's run; emplace() starts the next one.
    std::optional<MetastockRunState> run{std::in_place};
};

TEST_F(MetastockTest, HeadlessPlacementFillsFoldersUpToTheMaximum)
{
    settings().metaversion = 255;
    const QString a = folderWith("A", 254);
    const QString b = folderWith("B", 255);
    metastockmap::rebuildForRun(*run);

    // 254 securities with a maximum of 255: one more fits.
    ASSERT_EQ(quote("NEW1", 20240102, 10, 100), StepOutcome::Done);
    EXPECT_EQ(count(a), 255);
    // Now A and B are full: a new folder Q001, made with its first security.
    ASSERT_EQ(quote("NEW2", 20240102, 10, 100), StepOutcome::Done);
    EXPECT_EQ(count(b), 255);
    EXPECT_EQ(count(root + "Q001/"), 1);
    EXPECT_EQ(stored(root + "Q001/", "NEW2").size(), 1u);
    // The folder last chosen in this run takes the next one.
    ASSERT_EQ(quote("NEW3", 20240102, 10, 100), StepOutcome::Done);
    EXPECT_EQ(count(root + "Q001/"), 2);
    // A second quote of a symbol placed in this run finds it (no second entry).
    ASSERT_EQ(quote("NEW1", 20240103, 11, 100), StepOutcome::Done);
    EXPECT_EQ(count(a), 255);
    EXPECT_EQ(stored(a, "NEW1").size(), 2u);

    // The next run's map knows every one of them.
    run.emplace();
    const auto scan = metastockmap::rebuildForRun(*run);
    EXPECT_EQ(scan.securities, 254 + 1 + 255 + 2);
    EXPECT_EQ(metastockmap::folderOf(run->db(), "new3"), root + "Q001/");
}

TEST_F(MetastockTest, PromptRefusesOutsideRootAndFullFoldersThenDontAskAgain)
{
    settings().metaversion = 255;
    const QString full = folderWith("Full", 255);
    const QString open = folderWith("Open", 3);
    metastockmap::rebuildForRun(*run);
    FakePrompt prompt;
    prompt.answers = {path("elsewhere/"), full, open};
    prompt.dontAsk = {false, false, true};
    setMetastockPrompt(&prompt);

    ASSERT_EQ(quote("NEW1", 20240102, 10, 100, "New One"), StepOutcome::Done);
    EXPECT_EQ(msgs.texts(),
              QStringList({"This is not a subfolder of " + root, "The folder: " + full +
                                                                     "\r\nReached the maximum of 255 Symbols\r\n"
                                                                     "    Please select a new folder"}));
    EXPECT_EQ(count(open), 4);
    // "Don't ask again": the next new symbol goes to the same folder unasked.
    ASSERT_EQ(quote("NEW2", 20240102, 10, 100), StepOutcome::Done);
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(count(open), 5);
    // Cancel leaves a symbol unwritten for the run.
    run->dontAskAgain = false;
    prompt.answers = {QString()};
    EXPECT_EQ(quote("NEW3", 20240102, 10, 100), StepOutcome::Ignored);
    EXPECT_EQ(count(open), 5);
}

TEST_F(MetastockTest, OneQuoteAppendsOrChangesByVolumeAndCorrectsTheName)
{
    const QString f = folderWith("A", 0);
    ASSERT_EQ(quote("ABC", 20240102, 10, 500, "ABC Corp"), StepOutcome::Done);
    ASSERT_EQ(quote("ABC", 20240103, 11, 500, "ABC Corp"), StepOutcome::Done);
    // The same day again with less volume: the stored later quote stays.
    ASSERT_EQ(quote("ABC", 20240103, 99, 400, "ABC Corp"), StepOutcome::Done);
    mslink::RecordArrays a = stored(f, "ABC");
    ASSERT_EQ(a.dates, (std::vector<qint32>{20240102, 20240103}));
    EXPECT_EQ(a.closes[1], 11.0f);
    // With more (or equal) volume it is replaced; a missing open is the close.
    ASSERT_EQ(quote("ABC", 20240103, 12.5, 600, "ABC Corp"), StepOutcome::Done);
    a = stored(f, "ABC");
    EXPECT_EQ(a.closes[1], 12.5f);
    EXPECT_EQ(a.opens[1], 12.5f);
    EXPECT_EQ(a.volumes[1], 600.0f);

    mslink::Reader r;
    auto name = [&] {
        r.openFolder(f);
        r.findSecurity("ABC");
        return r.currentSecurityName();
    };
    // A name the stored one contains is left alone; another replaces it.
    ASSERT_EQ(quote("ABC", 20240104, 12, 600, "ABC"), StepOutcome::Done);
    EXPECT_EQ(name(), "ABC Corp");
    ASSERT_EQ(quote("ABC", 20240104, 12, 600, "Alpha Beta Gamma Holding"), StepOutcome::Done);
    EXPECT_EQ(name(), "Alpha Beta Gamma Holding");
}

TEST_F(MetastockTest, HistoryBlockMergesInEachOfTheThreeWays)
{
    const QString f = folderWith("A", 0);
    auto block = [](const QString& ticker, std::initializer_list<std::pair<qint32, int>> days) {
        QString text;
        for (const auto& [date, volume] : days)
            text += QStringLiteral("%1,%2,1.5,2,1,%3,%4\r\n").arg(ticker).arg(date).arg(volume / 100.0).arg(volume);
        return text;
    };
    auto write = [&](const QString& text) {
        metaclass m(*run);
        m.NaamHistorie("Hist Corp");
        m.GeefHistorieticker("HIS");
        m.raw(text);
        return m.goraw();
    };
    ASSERT_EQ(write(block("HIS", {{20240110, 100}, {20240111, 100}})), StepOutcome::Done);
    // After the stored days, then before them.
    ASSERT_EQ(write(block("HIS", {{20240115, 100}, {20240112, 100}})), StepOutcome::Done);
    ASSERT_EQ(write(block("HIS", {{20240102, 100}})), StepOutcome::Done);
    EXPECT_EQ(stored(f, "HIS").dates, (std::vector<qint32>{20240102, 20240110, 20240111, 20240112, 20240115}));
    // Overlapping: a new day is added, a stored day changes only when the new
    // volume is not smaller.
    ASSERT_EQ(write(block("HIS", {{20240111, 50}, {20240112, 300}, {20240113, 200}})), StepOutcome::Done);
    const mslink::RecordArrays a = stored(f, "HIS");
    EXPECT_EQ(a.dates, (std::vector<qint32>{20240102, 20240110, 20240111, 20240112, 20240113, 20240115}));
    EXPECT_EQ(a.volumes, (std::vector<float>{100, 100, 100, 300, 200, 100}));
    EXPECT_EQ(a.closes[3], 3.0f);
}

TEST_F(MetastockTest, MapBindsTickersAndKeepsRowsOfADamagedFolder)
{
    const QString a = folderWith("A", 0);
    {
        mslink::Writer w;
        w.openFolder(a);
        w.addSecurity("O'NEIL", "O'Neil & Co");
    }
    const QString bad = folderWith("B", 2);
    metastockmap::rebuildForRun(*run);
    EXPECT_EQ(metastockmap::folderOf(run->db(), "O'NEIL"), a);
    EXPECT_EQ(metastockmap::folderOf(run->db(), "S1"), bad);

    QFile master(bad + "MASTER");
    ASSERT_TRUE(master.open(QIODevice::ReadWrite));
    master.resize(60);
    master.close();
    run.emplace();
    const auto scan = metastockmap::rebuildForRun(*run);
    EXPECT_EQ(scan.damaged, QStringList{bad});
    EXPECT_EQ(scan.securities, 1);
    // The damaged folder's symbols keep their folder, so they are not placed
    // anew elsewhere; writing to it is skipped with one message.
    EXPECT_EQ(metastockmap::folderOf(run->db(), "S1"), bad);
    msgs.shown.clear();
    EXPECT_EQ(quote("S1", 20240102, 10, 100), StepOutcome::Ignored);
    EXPECT_EQ(quote("S0", 20240102, 10, 100), StepOutcome::Ignored);
    EXPECT_EQ(readAll(bad + "MASTER").size(), 60);
    EXPECT_TRUE(msgs.texts().isEmpty());  // reported once, by the scan
}

TEST_F(MetastockTest, FolderInUseAsksOkOrCancel)
{
    const QString f = folderWith("A", 1);
    metastockmap::rebuildForRun(*run);
    const int fd = ::open(QFile::encodeName(f + "MASTER").constData(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    msgs.queue(Answer::Ok);      // try again: still locked
    msgs.queue(Answer::Cancel);  // skip
    EXPECT_EQ(quote("S0", 20240102, 10, 100), StepOutcome::Ignored);
    ::close(fd);
    ASSERT_EQ(msgs.shown.size(), 2);
    EXPECT_EQ(msgs.shown[0].text, "The Metastock Database is in use by another program, please close it");
    EXPECT_EQ(msgs.shown[0].buttons, Buttons::OkCancel);
    EXPECT_EQ(stored(f, "S0").size(), 0u);
    EXPECT_EQ(quote("S0", 20240102, 10, 100), StepOutcome::Done);
}
