#include "fakeservice.h"
#include "runwait.h"
#include "testutil.h"

#include "app/hoofdform.h"
#include "database/compact.h"
#include "database/db.h"
#include "database/startup.h"
#include "runs/updates.h"
#include "support/desktop.h"
#include "support/help.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "windows/compact.h"
#include "windows/helpkey.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {
const QString kBuiltHelp =
    QFileInfo(QStringLiteral(QUOTARIS_BINARY)).absolutePath() + QStringLiteral("/share/quotaris/help");

// Holds a graphical session's variables away from the program under test,
// so that no browser is started.
class NoSession {
public:
    NoSession() : display_(qgetenv("DISPLAY")), wayland_(qgetenv("WAYLAND_DISPLAY"))
    {
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
    }
    ~NoSession()
    {
        if (!display_.isEmpty())
            qputenv("DISPLAY", display_);
        if (!wayland_.isEmpty())
            qputenv("WAYLAND_DISPLAY", wayland_);
    }

private:
    QByteArray display_, wayland_;
};

// A document window that refuses to close, as a running download does.
class Refusing : public QWidget {
public:
    bool refuse = true;

protected:
    void closeEvent(QCloseEvent* e) override { e->setAccepted(!refuse); }
};

// Closes the compaction window as soon as it shows; tells whether it did.
bool compactWindowShownBy(QAction* item)
{
    bool shown = false;
    QTimer::singleShot(0, item, [&shown] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* c = qobject_cast<compact*>(top); c && c->isVisible()) {
                shown = true;
                c->reject();
            }
        }
    });
    item->trigger();
    QApplication::processEvents();
    return shown;
}
}  // namespace

class MaintenanceTest : public QuotarisTest {
protected:
    void TearDown() override
    {
        desktop::setOpener({});
        QuotarisTest::TearDown();
    }
    // A database of `count` symbols on list 1, written by the start-up routine.
    void makeDatabase(int count)
    {
        ASSERT_TRUE(runStartup().opened);
        Database db(paths::databaseFile());
        Transaction t(db);
        for (int i = 0; i < count; ++i)
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                                   "VALUES (1, ?, ?, 'Stock', 1)"),
                    {QStringLiteral("S%1").arg(i), QStringLiteral("A rather long company name, number %1").arg(i)});
        t.commit();
    }
    qint64 symbolCount()
    {
        Database db(paths::databaseFile());
        return db.scalar(QStringLiteral("SELECT count(*) FROM fondsen WHERE codeyahoo LIKE 'S%'")).toLongLong();
    }
};

TEST_F(MaintenanceTest, HeadlessCompactAndItsFailure)
{
    makeDatabase(2000);
    ProgramRun r = runQuotaris({QStringLiteral("compact")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("Database Compact/Repair Succeeded\n"));
    EXPECT_EQ(symbolCount(), 2000);

    writeFile(compaction::targetFile(), "leftover");
    r = runQuotaris({QStringLiteral("compact")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(compaction::targetFile())) << qPrintable(r.err);
}

// A process with a connection open keeps another process's compaction out;
// its own compaction goes ahead, and its connection is still counted after.
TEST_F(MaintenanceTest, CompactionWaitsForEveryOtherProcessToCloseTheDatabase)
{
    makeDatabase(50);
    auto held = std::make_unique<Database>(paths::databaseFile());
    const QDateTime before = QFileInfo(paths::databaseFile()).lastModified();
    ProgramRun r = runQuotaris({QStringLiteral("compact")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("The database is in use by another Quotaris process")))
        << qPrintable(r.err);
    EXPECT_EQ(QFileInfo(paths::databaseFile()).lastModified(), before);
    EXPECT_FALSE(QFile::exists(compaction::targetFile()));

    EXPECT_TRUE(compaction::compactDatabase()) << qPrintable(msgs.texts().join(QLatin1Char('\n')));
    EXPECT_EQ(runQuotaris({QStringLiteral("compact")}).status, 1);  // the connection still counts
    held.reset();
    EXPECT_EQ(runQuotaris({QStringLiteral("compact")}).status, 0);
    EXPECT_EQ(symbolCount(), 50);
}

TEST_F(MaintenanceTest, ACompactionKilledAtAnyMomentLeavesTheDatabaseWhole)
{
    makeDatabase(60000);
    // One compaction's length, to spread the kills over it.
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(runQuotaris({QStringLiteral("compact")}).status, 0);
    const qint64 span = std::max<qint64>(clock.elapsed(), 50);

    for (int step = 0; step < 8; ++step) {
        QProcess p;
        p.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        p.start(QStringLiteral(QUOTARIS_BINARY), {QStringLiteral("compact")});
        ASSERT_TRUE(p.waitForStarted());
        QTest::qWait(static_cast<int>(span * step / 8));
        p.kill();
        p.waitForFinished();
        ASSERT_TRUE(QFile::exists(paths::databaseFile())) << "step " << step;
        EXPECT_EQ(symbolCount(), 60000) << "step " << step;
        // What a killed compaction leaves is refused next time until removed.
        if (QFile::exists(compaction::targetFile())) {
            EXPECT_EQ(runQuotaris({QStringLiteral("compact")}).status, 1);
            QFile::remove(compaction::targetFile());
            QFile::remove(compaction::targetFile() + QStringLiteral("-journal"));
        }
    }
}

TEST_F(MaintenanceTest, HeadlessHelpPrintsTheBuiltPageAndRefusesUnknownNames)
{
    NoSession noBrowser;
    ProgramRun r = runQuotaris({QStringLiteral("help")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(QFileInfo(r.out.trimmed()), QFileInfo(kBuiltHelp + QStringLiteral("/index.htm")));
    EXPECT_TRUE(QFile::exists(r.out.trimmed()));

    r = runQuotaris({QStringLiteral("help"), QStringLiteral("listmanagment")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.trimmed().endsWith(QStringLiteral("/Listmanagment.htm")));

    // Updated pages in the data folder come first.
    writeFile(dataFolder() + QStringLiteral("/help/Support.htm"), "<html>updated</html>");
    r = runQuotaris({QStringLiteral("help"), QStringLiteral("Support.htm")});
    EXPECT_EQ(r.out.trimmed(), dataFolder() + QStringLiteral("/help/Support.htm"));

    r = runQuotaris({QStringLiteral("help"), QStringLiteral("Nowhere.htm")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Unknown help page: Nowhere.htm")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("FAQ_Overview.htm")));
}

TEST_F(MaintenanceTest, HeadlessCheckUpdateAgainstTheServer)
{
    FakeQuoteService fake;
    QByteArray version = "0.0.1";
    fake.setResponder([&version](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        if (r.path == "/update/version.txt")
            return FakeQuoteService::Reply{200, version, "text/plain"};
        return std::nullopt;
    });
    store::write(QStringLiteral("UpdateHost"), fake.host());
    store::sync();
    ProgramRun r = runQuotaris({QStringLiteral("check-update")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("No Updates available yet\n"));

    version = "999.1";
    r = runQuotaris({QStringLiteral("check-update")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("There is a new version of Quotaris: 999.1\n"));
    EXPECT_EQ(fake.requests().size(), 2);

    // An error page or a server that is not there: the reason, and a failure.
    version = "<html><body>Service Unavailable</body></html>";
    r = runQuotaris({QStringLiteral("check-update")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty()) << qPrintable(r.out);
    EXPECT_EQ(r.err, QStringLiteral("The update server could not be asked: http://") + fake.host() +
                         QStringLiteral("/update/version.txt: the answer holds no version number\n"));
    store::write(QStringLiteral("UpdateHost"), QStringLiteral("127.0.0.1:1"));
    store::sync();
    r = runQuotaris({QStringLiteral("check-update")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.endsWith(QStringLiteral("127.0.0.1:1/update/version.txt: connection refused\n")))
        << qPrintable(r.err);
}

TEST_F(MaintenanceTest, HeadlessChecksWithoutAServerAskNothing)
{
    ProgramRun r = runQuotaris({QStringLiteral("check-update")});
    EXPECT_EQ(r.status, 3) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("No update server is set (UpdateHost in ") + paths::settingsFile() +
                         QStringLiteral(")\n"));
    r = runQuotaris({QStringLiteral("help-update")});
    EXPECT_EQ(r.status, 3) << qPrintable(r.err);
    EXPECT_EQ(r.out,
              QStringLiteral("No help server is set (HelpHost in ") + paths::settingsFile() + QStringLiteral(")\n"));
    EXPECT_TRUE(r.err.isEmpty()) << qPrintable(r.err);
    EXPECT_FALSE(QFile::exists(dataFolder() + QStringLiteral("/help")));
}

TEST_F(MaintenanceTest, HelpMenuUpdateItemAndF1OfTheMainWindow)
{
    QStringList opened;
    desktop::setOpener([&opened](const QUrl& url) {
        opened << url.fileName();
        return true;
    });
    help::setInstalledFolderOverride(QString());
    store::write(QStringLiteral("HelpHost"), QStringLiteral("help.example"));
    Hoofdform w;
    w.show();
    for (const char* item : {"menuhelpcontents", "menuhelpfaq", "menuhelpsupport", "toolHelp"})
        w.action(QLatin1String(item))->trigger();
    EXPECT_EQ(opened, (QStringList{QStringLiteral("index.htm"), QStringLiteral("FAQ_Overview.htm"),
                                   QStringLiteral("Support.htm"), QStringLiteral("index.htm")}));

    // F1 in a document window opens its page; elsewhere the index.
    opened.clear();
    auto* child = new QLineEdit;
    helpkey::setPage(child, QStringLiteral("listnames.htm"));
    w.showChild(child);
    QTest::keyClick(child, Qt::Key_F1);
    QTest::keyClick(&w, Qt::Key_F1);
    EXPECT_EQ(opened, (QStringList{QStringLiteral("listnames.htm"), QStringLiteral("index.htm")}));

    // No update server: the menu says so, as the command line does.
    w.action(QStringLiteral("menucheck"))->trigger();
    w.action(QStringLiteral("mnuHelpfiles"))->trigger();
    // The help server is asked in the background; its end comes by a signal.
    if (auto* asking = w.findChild<updates::HelpVersionCheck*>(); asking && asking->running())
        untilSignal(*asking, &updates::HelpVersionCheck::finished, [] {});
    EXPECT_EQ(msgs.texts(),
              (QStringList{QStringLiteral("No update server is set (UpdateHost in %1)").arg(paths::settingsFile()),
                           QStringLiteral("There are no newer helpfiles available")}));
}

TEST_F(MaintenanceTest, CompactClosesEveryOtherWindowFirstUnlessOneRefuses)
{
    ASSERT_TRUE(runStartup().opened);
    Hoofdform w;
    w.show();
    QAction* item = w.action(QStringLiteral("menuCompact"));
    auto* download = new Refusing;
    w.showChild(download);
    w.showChild(new QLineEdit);
    EXPECT_FALSE(compactWindowShownBy(item));
    EXPECT_EQ(w.mdiArea()->subWindowList().size(), 1);  // the refusing one stays

    download->refuse = false;
    w.showChild(new QLineEdit);
    EXPECT_TRUE(compactWindowShownBy(item));
    EXPECT_TRUE(w.mdiArea()->subWindowList().isEmpty());
}
