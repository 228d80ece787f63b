#include "fakeservice.h"
#include "runwait.h"
#include "testutil.h"

#include "runs/helpupdate.h"
#include "runs/updates.h"
#include "support/desktop.h"
#include "support/help.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QSettings>

using Fault = FakeQuoteService::Fault;
using Reply = FakeQuoteService::Reply;

namespace {
// The update check as its callers take it: started, then waited for.
updates::Check check(updates::UpdateCheck::Answer answer = updates::UpdateCheck::Answer::Quiet)
{
    updates::UpdateCheck asking(answer);
    untilSignal(asking, &updates::UpdateCheck::finished, [&asking] { asking.start(); });
    EXPECT_FALSE(asking.running());
    return asking.result();
}
QString newerVersion()
{
    const updates::Check c = check();
    return c.outcome == updates::Check::Outcome::Newer ? c.offered : QString();
}
// With the offer to download a later version; true when there is one.
bool checkForUpdate() { return check(updates::UpdateCheck::Answer::Offer).outcome == updates::Check::Outcome::Newer; }
// As a run session takes it.
void checkForUpdateOnce()
{
    if (updates::updateCheckDue())
        checkForUpdate();
}
// The newer help version, asked and waited for.
int helpVersion()
{
    updates::HelpVersionCheck asking;
    untilSignal(asking, &updates::HelpVersionCheck::finished, [&asking] { asking.start(); });
    return asking.newer();
}
HelpFilesUpdate::Result runUpdate(HelpFilesUpdate& update)
{
    untilSignal(update, &HelpFilesUpdate::finished, [&update] { update.start(); });
    EXPECT_FALSE(update.running());
    return update.result();
}
}  // namespace

// A fake update and help server: the files it serves by path, 404 for others.
class UpdatesTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(fake.isListening());
        store::write(QStringLiteral("UpdateHost"), fake.host());
        store::write(QStringLiteral("HelpHost"), fake.host());
        settings().teller2 = 30;  // a test that needs the time-out sets its own
        fake.setResponder([this](const FakeQuoteService::Request& r) -> std::optional<Reply> {
            const auto it = files.constFind(r.path);
            if (it == files.constEnd())
                return Reply{404, "<html><body>Not Found</body></html>", "text/html"};
            return Reply{200, *it, "text/plain"};
        });
        desktop::setOpener([this](const QUrl& url) {
            opened << url;
            return true;
        });
    }
    void TearDown() override
    {
        desktop::setOpener({});
        QuotarisTest::TearDown();
    }

    QStringList paths() const
    {
        QStringList out;
        for (const auto& r : fake.requests())
            out << QString::fromLatin1(r.path);
        return out;
    }

    FakeQuoteService fake;
    QMap<QByteArray, QByteArray> files;
    QList<QUrl> opened;
};

TEST(VersionTest, NumbersAreComparedPartByPart)
{
    using updates::isNewer;
    EXPECT_FALSE(isNewer(QStringLiteral("2.28"), QStringLiteral("2.28")));
    EXPECT_TRUE(isNewer(QStringLiteral("2.29"), QStringLiteral("2.28")));
    EXPECT_FALSE(isNewer(QStringLiteral("2.27"), QStringLiteral("2.28")));
    EXPECT_TRUE(isNewer(QStringLiteral("1.10"), QStringLiteral("1.9")));
    EXPECT_TRUE(isNewer(QStringLiteral("1.0.1"), QStringLiteral("1.0.0")));
    EXPECT_TRUE(isNewer(QStringLiteral("2"), QStringLiteral("1.0.0")));
    EXPECT_FALSE(isNewer(QStringLiteral("1.0"), QStringLiteral("1.0.0")));
    EXPECT_FALSE(isNewer(QStringLiteral("1"), QStringLiteral("1.0.0")));
    EXPECT_FALSE(isNewer(QStringLiteral("0.99.9"), QStringLiteral("1.0.0")));

    using updates::leadingVersion;
    EXPECT_EQ(leadingVersion("  2.29\r\n"), QStringLiteral("2.29"));
    EXPECT_EQ(leadingVersion("1.0.3 (stable)"), QStringLiteral("1.0.3"));
    EXPECT_EQ(leadingVersion("3."), QStringLiteral("3"));
    EXPECT_TRUE(leadingVersion("<html>2.29</html>").isEmpty());
    EXPECT_TRUE(leadingVersion("version 2").isEmpty());
    EXPECT_TRUE(leadingVersion("").isEmpty());
}

TEST_F(UpdatesTest, ALaterVersionIsOfferedAndYesOpensTheDownloadPage)
{
    // One step beyond our own version in its last number.
    QStringList next = updates::ownVersion().split(QLatin1Char('.'));
    next.last() = QString::number(next.last().toInt() + 1);
    files["/update/version.txt"] = next.join(QLatin1Char('.')).toLatin1() + "\r\n";

    EXPECT_EQ(newerVersion(), next.join(QLatin1Char('.')));
    msgs.queue(Answer::Yes);
    EXPECT_TRUE(checkForUpdate());
    ASSERT_EQ(msgs.shown.size(), 1);
    EXPECT_EQ(msgs.shown[0].text, QStringLiteral("There is a new version of Quotaris\r\nDownload now?"));
    EXPECT_EQ(msgs.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(opened, QList<QUrl>{updates::downloadPage()});

    // No, or an unattended run, opens nothing but still reports it.
    msgs.queue(Answer::No);
    EXPECT_TRUE(checkForUpdate());
    EXPECT_TRUE(checkForUpdate());
    EXPECT_EQ(opened.size(), 1);
    EXPECT_EQ(fake.requests().last().target, QByteArray("/update/version.txt"));
}

// The menu's check says what came of it, whatever it was.
TEST_F(UpdatesTest, TheMenusCheckSaysWhatTheServerAnswered)
{
    const auto tell = updates::UpdateCheck::Answer::Tell;
    files["/update/version.txt"] = updates::ownVersion().toLatin1();
    check(tell);
    files["/update/version.txt"] = "99999\r\n";
    msgs.queue(Answer::Yes);
    EXPECT_EQ(check(tell).offered, QStringLiteral("99999"));
    files.clear();
    check(tell);
    ASSERT_EQ(msgs.shown.size(), 3);
    EXPECT_EQ(msgs.shown[0].text, QStringLiteral("No Updates available yet"));
    EXPECT_EQ(msgs.shown[0].icon, Icon::Information);
    EXPECT_EQ(msgs.shown[1].text, QStringLiteral("There is a new version of Quotaris\r\nDownload now?"));
    EXPECT_EQ(opened, QList<QUrl>{updates::downloadPage()});
    const QString url = QStringLiteral("http://") + fake.host() + QStringLiteral("/update/version.txt");
    EXPECT_TRUE(msgs.shown[2].text.startsWith(QStringLiteral("The update server could not be asked: ") + url +
                                              QStringLiteral(": HTTP 404")))
        << qPrintable(msgs.shown[2].text);
    EXPECT_EQ(msgs.shown[2].icon, Icon::Warning);

    // A second start while the question is on its way asks nothing more and
    // ends once.
    fake.clearRequests();
    files["/update/version.txt"] = "0.1";
    updates::UpdateCheck asking;
    int ends = 0;
    QObject::connect(&asking, &updates::UpdateCheck::finished, [&ends] { ++ends; });
    untilSignal(asking, &updates::UpdateCheck::finished, [&asking] {
        asking.start();
        EXPECT_TRUE(asking.running());
        asking.start();
    });
    QCoreApplication::processEvents();
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(fake.requests().size(), 1);
    EXPECT_EQ(asking.result().outcome, updates::Check::Outcome::NothingNewer);
}

TEST_F(UpdatesTest, OurOwnOrAnOlderVersionOrAnErrorPageIsNothingNewer)
{
    const QList<QByteArray> answers = {updates::ownVersion().toLatin1(), "0.1", "", "<html>9.9</html>", "garbage"};
    for (const QByteArray& answer : answers) {
        files["/update/version.txt"] = answer;
        EXPECT_FALSE(checkForUpdate()) << answer.constData();
    }
    // A 404 whose page starts with a number is not a version either.
    files.clear();
    fake.setResponder([](const FakeQuoteService::Request&) -> std::optional<Reply> {
        return Reply{404, "99 problems", "text/plain"};
    });
    EXPECT_FALSE(checkForUpdate());
    EXPECT_TRUE(msgs.shown.isEmpty());
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(UpdatesTest, AnUnreachableOrSilentServerGivesUpWithinTheTimeOut)
{
    settings().teller2 = 1;
    fake.setFault(Fault::Hang);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(newerVersion().isEmpty());
    EXPECT_EQ(helpVersion(), 0);
    // Two requests of one second each. The margin is for a loaded machine;
    // the bound still tells the time-out from the 30 s one of the fixture.
    EXPECT_LT(clock.elapsed(), 2 * 1000 + 10000);

    store::write(QStringLiteral("UpdateHost"), QStringLiteral("127.0.0.1:1"));
    EXPECT_FALSE(checkForUpdate());

    // An empty host is never asked.
    fake.clearRequests();
    store::write(QStringLiteral("UpdateHost"), QString());
    store::write(QStringLiteral("HelpHost"), QString());
    EXPECT_FALSE(checkForUpdate());
    EXPECT_EQ(helpVersion(), 0);
    EXPECT_TRUE(fake.requests().isEmpty());
}

TEST_F(UpdatesTest, TheCheckTellsWhyItFoundNothing)
{
    using Outcome = updates::Check::Outcome;
    const QString url = QStringLiteral("http://") + fake.host() + QStringLiteral("/update/version.txt");

    files["/update/version.txt"] = updates::ownVersion().toLatin1();
    updates::Check c = check();
    EXPECT_EQ(c.outcome, Outcome::NothingNewer);
    EXPECT_EQ(c.offered, updates::ownVersion());
    EXPECT_TRUE(c.failure.isEmpty());

    // A page without a number, an empty answer, an error status.
    files["/update/version.txt"] = "<html><body>Moved</body></html>";
    c = check();
    EXPECT_EQ(c.outcome, Outcome::Failed);
    EXPECT_EQ(c.failure, url + QStringLiteral(": the answer holds no version number"));
    files["/update/version.txt"] = "";
    EXPECT_EQ(check().failure, url + QStringLiteral(": an empty answer"));
    files.clear();
    c = check();
    EXPECT_EQ(c.outcome, Outcome::Failed);
    EXPECT_TRUE(c.failure.startsWith(url + QStringLiteral(": HTTP 404"))) << qPrintable(c.failure);

    store::write(QStringLiteral("UpdateHost"), QStringLiteral("127.0.0.1:1"));
    c = check();
    EXPECT_EQ(c.outcome, Outcome::Failed);
    EXPECT_EQ(c.failure, QStringLiteral("http://127.0.0.1:1/update/version.txt: connection refused"));

    store::write(QStringLiteral("UpdateHost"), fake.host());
    settings().teller2 = 1;
    fake.setFault(Fault::Hang);
    EXPECT_EQ(check().failure, url + QStringLiteral(": no answer within 1 s"));
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(UpdatesTest, OnlyTheFirstRunOfAProcessChecks)
{
    files["/update/version.txt"] = "0.1";
    checkForUpdateOnce();
    checkForUpdateOnce();
    EXPECT_EQ(paths(), QStringList{QStringLiteral("/update/version.txt")});
}

TEST_F(UpdatesTest, HelpVersionIsOfferedOnlyWhenLaterThanTheInstalledOne)
{
    settings().helpversion = 3;
    files["/onlinehelp/help.txt"] = "3\r\n";
    EXPECT_EQ(helpVersion(), 0);
    files["/onlinehelp/help.txt"] = "3.9";  // stored as 3 after the update: not later
    EXPECT_EQ(helpVersion(), 0);
    files["/onlinehelp/help.txt"] = "4.7";
    EXPECT_EQ(helpVersion(), 4);
    files["/onlinehelp/help.txt"] = "<html>5</html>";
    EXPECT_EQ(helpVersion(), 0);
}

TEST_F(UpdatesTest, HelpFilesAreFetchedIntoTheDataFolderAndTakePrecedence)
{
    files["/onlinehelp/list.txt"] = "index.htm\r\n\r\nab\r\n  Support.htm  \r\nx\r\nhelp.txt\r\n";
    files["/onlinehelp/index.htm"] = "<html>new index</html>";
    files["/onlinehelp/Support.htm"] = "<html>new support</html>";
    files["/onlinehelp/help.txt"] = "7";
    const QString installed = path(QStringLiteral("installed"));
    writeFile(installed + QStringLiteral("/index.htm"), "<html>old</html>");
    writeFile(installed + QStringLiteral("/Ticker.htm"), "<html>old ticker</html>");
    help::setInstalledFolderOverride(installed);

    HelpFilesUpdate update;
    QStringList shown;
    update.status = [&shown](const QString& a, const QString& b) {
        shown << a + QLatin1Char(' ') + QFileInfo(b).fileName();
    };
    const HelpFilesUpdate::Result result = runUpdate(update);
    EXPECT_TRUE(result.ok) << qPrintable(result.failed);
    EXPECT_EQ(result.version, 7);
    EXPECT_EQ(settings().helpversion, 7);
    EXPECT_EQ(store::read(QStringLiteral("helpversion"), QString()), QStringLiteral("7"));
    // Blank lines and names of two characters or fewer are skipped.
    EXPECT_EQ(paths(),
              (QStringList{QStringLiteral("/onlinehelp/list.txt"), QStringLiteral("/onlinehelp/index.htm"),
                           QStringLiteral("/onlinehelp/Support.htm"), QStringLiteral("/onlinehelp/help.txt")}));
    EXPECT_EQ(shown.first(), QStringLiteral("Downloading List.txt"));
    const QString folder = dataFolder() + QStringLiteral("/help/");
    EXPECT_EQ(readAll(folder + QStringLiteral("index.htm")), QByteArray("<html>new index</html>"));
    // The updated page wins; a page the update did not bring comes from the installed ones.
    EXPECT_EQ(help::pageUrl(QString()), QUrl::fromLocalFile(folder + QStringLiteral("index.htm")));
    EXPECT_EQ(help::pageUrl(QStringLiteral("Ticker.htm")),
              QUrl::fromLocalFile(installed + QStringLiteral("/Ticker.htm")));
    EXPECT_TRUE(
        QDir(folder).entryList({QStringLiteral("*.tmp"), QStringLiteral("*~")}, QDir::Files | QDir::Hidden).isEmpty());
    help::setInstalledFolderOverride(QString());
}

TEST_F(UpdatesTest, AFailedHelpFileStopsTheUpdateAndKeepsTheVersion)
{
    settings().helpversion = 2;
    files["/onlinehelp/list.txt"] = "index.htm\r\nmissing.htm\r\nSupport.htm\r\nhelp.txt\r\n";
    files["/onlinehelp/index.htm"] = "<html>new index</html>";
    files["/onlinehelp/Support.htm"] = "<html>new support</html>";
    files["/onlinehelp/help.txt"] = "9";
    const QString folder = dataFolder() + QStringLiteral("/help/");
    writeFile(folder + QStringLiteral("missing.htm"), "kept");

    HelpFilesUpdate update;
    HelpFilesUpdate::Result result = runUpdate(update);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failed, QStringLiteral("missing.htm"));
    EXPECT_EQ(settings().helpversion, 2);
    EXPECT_EQ(readAll(folder + QStringLiteral("index.htm")), QByteArray("<html>new index</html>"));
    EXPECT_EQ(readAll(folder + QStringLiteral("missing.htm")), QByteArray("kept"));  // the 404 page is not written
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("Support.htm")));

    // A name that would leave the help folder is refused, not fetched.
    files["/onlinehelp/list.txt"] = "../../escape.htm\r\n";
    fake.clearRequests();
    result = runUpdate(update);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failed, QStringLiteral("../../escape.htm"));
    EXPECT_EQ(paths(), QStringList{QStringLiteral("/onlinehelp/list.txt")});
    EXPECT_FALSE(QFile::exists(dataFolder() + QStringLiteral("/../escape.htm")));

    // No list at all.
    files.clear();
    EXPECT_EQ(runUpdate(update).failed, QStringLiteral("list.txt"));
}

// Out of the box no update or help server is set: nothing is asked, and a
// newer version has nowhere to be downloaded from.
class UpdateDefaultsTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        store::close();
        QSettings file(paths::settingsFile(), QSettings::IniFormat);
        file.beginGroup(QStringLiteral("Settings"));
        file.remove(QStringLiteral("UpdateHost"));
        file.remove(QStringLiteral("HelpHost"));
    }
};

TEST_F(UpdateDefaultsTest, NoServerIsSetAndNoneIsAsked)
{
    ASSERT_EQ(store::read(QStringLiteral("UpdateHost"), QStringLiteral("unset")), QStringLiteral("unset"));
    EXPECT_TRUE(updates::versionUrl().isEmpty());
    EXPECT_TRUE(updates::downloadPage().isEmpty());
    EXPECT_TRUE(help::onlineBase().isEmpty());
    EXPECT_EQ(check().outcome, updates::Check::Outcome::NoServer);
    EXPECT_FALSE(checkForUpdate());
    EXPECT_EQ(helpVersion(), 0);
    // A help page that is not installed has no online copy either.
    help::setInstalledFolderOverride(path(QStringLiteral("none")));
    EXPECT_TRUE(help::pageUrl(QStringLiteral("Support.htm")).isEmpty());
    help::setInstalledFolderOverride(QString());
    EXPECT_TRUE(msgs.shown.isEmpty());
}
