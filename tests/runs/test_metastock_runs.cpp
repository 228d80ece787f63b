// Current runs with MetaStock on, the folders checked by a reader of their
// own as well as the program's: long tickers, a root that is gone, a day's
// quote asked again.
#include "currentrunfixture.h"
#include "runwait.h"

#include "database/settingsrow.h"
#include "msreader.h"
#include "runs/currentrun.h"
#include "writers/metastockrun.h"

#include <QFileInfo>
#include <sys/stat.h>

namespace {

// The quotes of every asked symbol dated `date`, with `volume`.
auto answerWith(QByteArray date, QByteArray volume)
{
    return [date, volume](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        if (r.path != "/d/quotes.csv")
            return std::nullopt;
        QByteArray body;
        for (const QByteArray& s : r.symbols)
            body += FakeQuoteService::csvLine(
                {s, date, "4:00pm", "10.5", "11", "10", "10.75", volume, s + " CORP", "NYSE"}, r.query.value("f"));
        return FakeQuoteService::Reply{200, body, "text/plain"};
    };
}

qint64 inodeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? static_cast<qint64>(st.st_ino) : -1;
}

}  // namespace

class MetastockRunTest : public CurrentRunTest {
protected:
    void SetUp() override
    {
        CurrentRunTest::SetUp();
        root = path(QStringLiteral("ms/"));
        QDir().mkpath(root);
        settings().format('M').folder = root;
        settings().format('M').on = true;
    }
    // Every MetaStock folder below the root.
    QStringList folders() const
    {
        QStringList out;
        for (const QString& name : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            out << root + name + QLatin1Char('/');
        return out;
    }

    QString root;
};

// Two tickers that share their first 14 characters: the first keeps one
// security run after run, the second is never written and is reported.
TEST_F(MetastockRunTest, LongTickersKeepTheirOwnSecurityAndOneTheFolderCannotTellApartIsReported)
{
    addSymbols({QStringLiteral("ABCDEFGHIJKLMNO"), QStringLiteral("ABCDEFGHIJKLMNP"), QStringLiteral("SHORT")}, 1,
               false);
    const std::pair<QByteArray, QByteArray> answers[] = {
        {"12/1/2026", "1200"}, {"12/2/2026", "1300"}, {"12/2/2026", "1400"}};
    for (const auto& [date, volume] : answers) {
        fake.setResponder(answerWith(date, volume));
        CurrentRun run;
        ASSERT_TRUE(runToEnd(run));
        const CurrentRunSummary& sum = run.summary();
        EXPECT_EQ(sum.written.value(QLatin1Char('M')), 2) << date.constData();
        EXPECT_EQ(sum.notes, QStringList{"Metastock not written, a folder cannot tell them apart: ABCDEFGHIJKLMNP "
                                         "(as ABCDEFGHIJKLMN, held by ABCDEFGHIJKLMNO)"});
    }
    ASSERT_EQ(folders().size(), 1);
    const MsFolderRead other = readMsFolder(folders()[0]);
    ASSERT_TRUE(other.ran) << qPrintable(other.error);
    EXPECT_EQ(other.problems, QStringList());
    ASSERT_EQ(other.securities.size(), 2);
    EXPECT_EQ(other.count(QStringLiteral("ABCDEFGHIJKLMN")), 1);
    const MsSecurity* cut = other.find(QStringLiteral("ABCDEFGHIJKLMN"));
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(cut->name, QStringLiteral("ABCDEFGHIJKLMNO CORP"));
    ASSERT_EQ(cut->days.size(), 2);
    EXPECT_EQ(cut->days[0].date, 20261201);
    EXPECT_EQ(cut->days[1].date, 20261202);
    EXPECT_EQ(cut->days[1].volume, 1400);
    ASSERT_NE(other.find(QStringLiteral("SHORT")), nullptr);
    EXPECT_EQ(other.find(QStringLiteral("SHORT"))->days.size(), 2);

    // A map emptied (a new root chosen and the old one again): the cut
    // symbol's security is the long ticker's, which the map learns again.
    Database(paths::databaseFile()).exec(QStringLiteral("DELETE FROM metastock"));
    fake.setResponder(answerWith("12/3/2026", "1500"));
    CurrentRun again;
    ASSERT_TRUE(runToEnd(again));
    const MsFolderRead after = readMsFolder(folders()[0]);
    EXPECT_EQ(after.securities.size(), 2);
    ASSERT_NE(after.find(QStringLiteral("ABCDEFGHIJKLMN")), nullptr);
    EXPECT_EQ(after.find(QStringLiteral("ABCDEFGHIJKLMN"))->days.size(), 3);
    EXPECT_EQ(after.problems, QStringList());
}

// A root that is gone (a disk not mounted) leaves MetaStock out of the run
// with a message; the other formats are written, nothing is made elsewhere
// and the setting stays.
TEST_F(MetastockRunTest, AMissingRootLeavesMetastockOutOfTheRunAndKeepsTheSetting)
{
    addSymbols({QStringLiteral("AAA"), QStringLiteral("BBB")});
    settingsrow::write(*Database::openDefault(), {{QStringLiteral("metastock"), root}});
    ASSERT_TRUE(QDir(root).removeRecursively());
    QDir().mkpath(home() + QStringLiteral("Desktop"));
    CurrentRun run;
    ASSERT_TRUE(runToEnd(run));
    const CurrentRunSummary& sum = run.summary();
    EXPECT_EQ(sum.written.value(QLatin1Char('C')), 2);
    EXPECT_EQ(sum.written.value(QLatin1Char('M')), 0);
    EXPECT_EQ(sum.leftOut, QStringList{QStringLiteral("Metastock")});
    const QString text = QStringLiteral("Metastock not written: the folder ") + root +
                         QStringLiteral(" is missing (the setting is kept)");
    EXPECT_EQ(msgs.texts(), QStringList{text});
    EXPECT_EQ(sum.notes, QStringList{text});
    EXPECT_FALSE(QFileInfo::exists(root));
    EXPECT_EQ(QDir(home() + QStringLiteral("Desktop")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList());
    EXPECT_EQ(settings().format('M').folder, root);
    Database db(paths::databaseFile());
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT metastock FROM globaal")).toString(), root);
}

// Today's quote asked again through the day changes its record where it
// is: the data file is not replaced.
TEST_F(MetastockRunTest, ADaysQuoteAskedAgainIsChangedInPlace)
{
    addSymbols({QStringLiteral("AAA")}, 1, false);
    fake.setResponder(answerWith("12/1/2026", "1200"));
    {
        CurrentRun run;
        ASSERT_TRUE(runToEnd(run));
    }
    ASSERT_EQ(folders().size(), 1);
    const QString data = folders()[0] + QStringLiteral("F1.DAT");
    const qint64 inode = inodeOf(data);
    ASSERT_GT(inode, 0);
    fake.setResponder(answerWith("12/1/2026", "1900"));
    {
        CurrentRun run;
        ASSERT_TRUE(runToEnd(run));
        EXPECT_EQ(run.summary().written.value(QLatin1Char('M')), 1);
    }
    EXPECT_EQ(inodeOf(data), inode);
    const MsFolderRead other = readMsFolder(folders()[0]);
    ASSERT_TRUE(other.ran) << qPrintable(other.error);
    EXPECT_EQ(other.problems, QStringList());
    ASSERT_EQ(other.securities.size(), 1);
    ASSERT_EQ(other.securities[0].days.size(), 1);
    EXPECT_EQ(other.securities[0].days[0].volume, 1900);
}

// Closing the load window while the map is read stops the run before
// anything is asked or written: with the map incomplete, symbols the folders
// hold would be placed anew. The run after it goes on as usual.
TEST_F(MetastockRunTest, ClosingTheLoadWindowStopsTheRun)
{
    addSymbols({QStringLiteral("AAA"), QStringLiteral("BBB")});
    CurrentRun first;
    ASSERT_TRUE(runToEnd(first));
    ASSERT_EQ(first.summary().written.value(QLatin1Char('M')), 2);

    // Closed as soon as the scan reports where it starts.
    struct ClosingPrompt : MetastockPrompt {
        QString askFolder(const QString&, const QString&, const QString&, const Place&) override { return {}; }
        void showMapLoad(const CancelToken* run, const Scan& scan) override
        {
            CancelToken window(run);
            scan([&window](int, int) { window.cancel(); }, window);
        }
    } prompt;
    setMetastockPrompt(&prompt);
    fake.clearRequests();
    CurrentRun closed;
    EXPECT_FALSE(runToEnd(closed));
    setMetastockPrompt(nullptr);
    EXPECT_TRUE(closed.summary().aborted);
    EXPECT_TRUE(fake.requests().isEmpty());
    EXPECT_EQ(closed.summary().written.value(QLatin1Char('M')), 0);

    CurrentRun next;
    ASSERT_TRUE(runToEnd(next));
    EXPECT_EQ(next.summary().written.value(QLatin1Char('M')), 2);
    ASSERT_EQ(folders().size(), 1);
    const MsFolderRead folder = readMsFolder(folders().first());
    ASSERT_TRUE(folder.ran) << qPrintable(folder.error);
    EXPECT_EQ(folder.count(QStringLiteral("AAA")), 1);
    EXPECT_EQ(folder.count(QStringLiteral("BBB")), 1);
}

// What a run chose for new symbols ends with it: "Don't ask again" holds for
// the rest of that run, and the next run asks again.
TEST_F(MetastockRunTest, DontAskAgainHoldsForItsRunOnly)
{
    struct PlacingPrompt : MetastockPrompt {
        QString folder;
        int asked = 0;
        QString askFolder(const QString&, const QString&, const QString&, const Place& place) override
        {
            ++asked;
            bool resetToRoot = false;
            return place(folder, true, &resetToRoot) ? folder : QString();
        }
        void showMapLoad(const CancelToken* run, const Scan& scan) override
        {
            scan([](int, int) {}, CancelToken(run));
        }
    } prompt;
    prompt.folder = root + QStringLiteral("A/");
    QDir().mkpath(prompt.folder);
    setMetastockPrompt(&prompt);
    struct Uninstall {
        ~Uninstall() { setMetastockPrompt(nullptr); }
    } uninstall;
    fake.setResponder(answerWith("12/1/2026", "1200"));

    addSymbols({QStringLiteral("NEW1"), QStringLiteral("NEW2")}, 1, false);
    CurrentRun first;
    ASSERT_TRUE(runToEnd(first));
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(first.summary().written.value(QLatin1Char('M')), 2);

    addSymbols({QStringLiteral("NEW3")}, 1, false);
    CurrentRun second;
    ASSERT_TRUE(runToEnd(second));
    EXPECT_EQ(prompt.asked, 2);
    EXPECT_EQ(second.summary().written.value(QLatin1Char('M')), 3);
    const MsFolderRead read = readMsFolder(prompt.folder);
    ASSERT_TRUE(read.ran) << qPrintable(read.error);
    EXPECT_EQ(read.securities.size(), 3);
}
