#include "fakeservice.h"
#include "runwait.h"
#include "testutil.h"

#include "database/compact.h"
#include "database/db.h"
#include "database/startup.h"
#include "support/desktop.h"
#include "support/help.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "windows/autodownload.h"
#include "windows/browser.h"
#include "windows/compact.h"
#include "windows/frmexport.h"
#include "windows/frmimport.h"
#include "windows/frmnames.h"
#include "windows/frmoptions.h"
#include "windows/helpfiles.h"
#include "windows/helpkey.h"
#include "windows/history.h"
#include "windows/historyreportform.h"
#include "windows/location.h"
#include "windows/maakfolder.h"
#include "windows/marketform.h"
#include "windows/msdatabaseload.h"
#include "windows/reportform.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>

class MaintenanceWindowsTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        msgs.shown.clear();
        help::setInstalledFolderOverride(path(QStringLiteral("installed")));
        writeFile(path(QStringLiteral("installed/index.htm")), "<html></html>");
        helpkey::install();
        desktop::setOpener([this](const QUrl& url) {
            opened << url.fileName();
            return true;
        });
    }
    void TearDown() override
    {
        desktop::setOpener({});
        help::setInstalledFolderOverride(QString());
        QuotarisTest::TearDown();
    }

    QStringList opened;
};

TEST_F(MaintenanceWindowsTest, F1InEveryWindowOpensItsOwnPage)
{
    store::write(QStringLiteral("HelpHost"), QStringLiteral("help.example"));
    const std::vector<std::pair<QString, std::function<QWidget*()>>> windows = {
        {QStringLiteral("Download_current_data.htm"), [] { return new Autodownload; }},
        {QStringLiteral("Download_options.htm"), [] { return new frmOptions; }},
        {QStringLiteral("Download_options.htm"), [] { return new frmListDownload; }},
        {QStringLiteral("export_symbols.htm"), [] { return new frmExport; }},
        {QStringLiteral("import_symbols.htm"), [] { return new frmImport; }},
        {QStringLiteral("listnames.htm"), [] { return new frmNames; }},
        {QStringLiteral("Exportformat.htm"), [] { return new location(QLatin1Char('C')); }},
        {QStringLiteral("Exportformat.htm"), [this] { return new Maakfolder(home()); }},
        {QStringLiteral("currentreport.htm"), [] { return new reportform; }},
        {QStringLiteral("Compact_Repair_Database.htm"), [] { return new compact; }},
        {QStringLiteral("index.htm"), [] { return new helpfiles; }},
        {QStringLiteral("Listmanagment.htm"), [] { return new marketform(false); }},
        {QStringLiteral("Ticker.htm"), [] { return new browser; }},
        {QStringLiteral("Download_historical_data.htm"), [] { return new history; }},
        {QStringLiteral("historyreport.htm"), [] { return new historyreportform; }},
        {QStringLiteral("Exportformat.htm"), [] { return new MSDatabaseload; }},
        {QStringLiteral("Download_daily_data.htm"),
         [] {
             auto* w = new Autodownload;
             w->chooseScheduledMode();
             return w;
         }},
    };
    for (const auto& [page, make] : windows) {
        std::unique_ptr<QWidget> window(make());
        window->show();
        // The key is typed into the innermost control, as a user would.
        QList<QWidget*> controls = window->findChildren<QWidget*>();
        QWidget* target = controls.isEmpty() ? window.get() : controls.last();
        opened.clear();
        QTest::keyClick(target, Qt::Key_F1);
        EXPECT_EQ(opened, QStringList{page}) << qPrintable(window->objectName());
        // Other keys are left to the window.
        QTest::keyClick(target, Qt::Key_F2);
        EXPECT_EQ(opened.size(), 1);
    }
    // A widget without a page of its own, and none above it, gets the index.
    QWidget plain;
    plain.show();
    opened.clear();
    QTest::keyClick(&plain, Qt::Key_F1);
    EXPECT_EQ(opened, QStringList{QStringLiteral("index.htm")});
}

TEST_F(MaintenanceWindowsTest, CompactWindowCompactsAndItsHelpButtonOpensThePage)
{
    {
        Database db(paths::databaseFile());
        db.exec(QStringLiteral(
            "INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo) VALUES (1, 'KEEP.AS', 'Keep', 'Stock')"));
    }
    store::write(QStringLiteral("HelpHost"), QStringLiteral("help.example"));
    compact w;
    w.show();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Compact/Repair Database"));
    auto* label1 = w.findChild<QLabel*>(QStringLiteral("Label1"));
    ASSERT_NE(label1, nullptr);
    EXPECT_FALSE(label1->isVisible());
    w.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    EXPECT_EQ(opened, QStringList{QStringLiteral("Compact_Repair_Database.htm")});

    untilSignal(w, &compact::compacted, [&w] { w.findChild<QPushButton*>(QStringLiteral("Command1"))->click(); });
    EXPECT_EQ(msgs.texts(), QStringList{QStringLiteral("Database Compact/Repair Succeeded")})
        << qPrintable(msgs.texts().join(QLatin1Char('\n')));
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(label1->isVisibleTo(&w));
    EXPECT_TRUE(w.isEnabled());
    Database db(paths::databaseFile());
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT naamyahoo FROM fondsen WHERE codeyahoo = 'KEEP.AS'")).toString(),
              QStringLiteral("Keep"));
}

// Start returns at once: the compaction goes on while the window's event loop
// turns, the window disabled and not to be closed; its end, a failure here,
// is shown afterwards.
TEST_F(MaintenanceWindowsTest, CompactWindowStaysAliveWhileItWorksAndShowsAFailure)
{
    compact w;
    w.show();
    int ends = 0;
    bool ok = true;
    QObject::connect(&w, &compact::compacted, [&](bool result) {
        ++ends;
        ok = result;
    });
    // A copy left from a compaction that was killed is refused.
    writeFile(compaction::targetFile(), "left over");
    untilSignal(w, &compact::compacted, [&] {
        w.start();
        EXPECT_TRUE(w.running());
        EXPECT_FALSE(w.isEnabled());
        EXPECT_TRUE(w.findChild<QLabel*>(QStringLiteral("Label1"))->isVisible());
        w.reject();  // Escape
        EXPECT_TRUE(w.isVisible());
        w.start();  // ignored while one runs: a single end follows
        EXPECT_TRUE(msgs.shown.isEmpty());
    });
    QApplication::processEvents();
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(ok);
    ASSERT_EQ(msgs.shown.size(), 1);
    EXPECT_TRUE(msgs.shown[0].text.contains(compaction::targetFile())) << qPrintable(msgs.shown[0].text);
    EXPECT_EQ(msgs.shown[0].icon, Icon::Warning);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(w.running());
    EXPECT_EQ(readAll(compaction::targetFile()), QByteArray("left over"));
}

TEST_F(MaintenanceWindowsTest, HelpFilesWindowReportsAFailedFileAndOffersYesAgain)
{
    FakeQuoteService fake;
    store::write(QStringLiteral("HelpHost"), fake.host());
    settings().teller2 = 30;  // every answer comes at once: far from the time-out
    fake.setResponder([](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        if (r.path == "/onlinehelp/list.txt")
            return FakeQuoteService::Reply{200, "index.htm\r\nhelp.txt\r\n", "text/plain"};
        if (r.path == "/onlinehelp/index.htm")
            return FakeQuoteService::Reply{200, "<html>new</html>", "text/html"};
        return FakeQuoteService::Reply{404, "<html>gone</html>", "text/html"};
    });
    helpfiles w;
    w.show();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Quotaris System message"));
    auto* yes = w.findChild<QPushButton*>(QStringLiteral("Command1"));
    auto* no = w.findChild<QPushButton*>(QStringLiteral("Command2"));
    untilSignal(w, &helpfiles::downloaded, [yes] { yes->click(); });
    EXPECT_EQ(msgs.texts(), QStringList{QStringLiteral("Download file help.txt failed")});
    EXPECT_TRUE(yes->isEnabled());
    EXPECT_TRUE(no->isEnabled());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("Panel1"))->text(), QStringLiteral("Downloading"));

    fake.setResponder([](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        if (r.path == "/onlinehelp/list.txt")
            return FakeQuoteService::Reply{200, "index.htm\r\nhelp.txt\r\n", "text/plain"};
        return FakeQuoteService::Reply{200, r.path == "/onlinehelp/help.txt" ? "5" : "<html>new</html>", "text/html"};
    });
    msgs.shown.clear();
    untilSignal(w, &helpfiles::downloaded, [yes] { yes->click(); });
    EXPECT_EQ(msgs.texts(), QStringList{QStringLiteral("Helpfiles are updated")});
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(settings().helpversion, 5);
}
