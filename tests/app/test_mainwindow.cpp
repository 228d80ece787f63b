#include "fakeservice.h"
#include "historytable.h"
#include "runwait.h"
#include "testutil.h"

#include "app/hoofdform.h"
#include "app/singleinstance.h"
#include "app/splash.h"
#include "app/startpage.h"
#include "database/db.h"
#include "database/quotestore.h"
#include "database/settingsrow.h"
#include "database/startup.h"
#include "runs/gapcount.h"
#include "runs/schedule.h"
#include "runs/scheduler.h"
#include "support/changes.h"
#include "support/paths.h"
#include "support/state.h"
#include "windows/autodownload.h"
#include "windows/history.h"
#include "windows/runrecord.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTimeEdit>
#include <QTimer>

namespace {
// A child window that refuses to close while "running", as a download does.
class BusyChild : public QWidget {
public:
    bool running = true;

protected:
    void closeEvent(QCloseEvent* e) override
    {
        if (running) {
            state().refusedToClose = true;
            e->ignore();
        } else {
            e->accept();
        }
    }
};
}  // namespace

class MainWindowTest : public QuotarisTest {};

TEST_F(MainWindowTest, MenusCarryTheirCaptions)
{
    Hoofdform w;
    const QList<QPair<const char*, const char*>> items = {
        {"menustocklistopen", "&List management..."},
        {"menuNames", "List &names..."},
        {"menuExport", "&Export Symbols..."},
        {"menuImport", "&Import Symbols..."},
        {"menucheck", "&Check for Quotaris Update"},
        {"mnuHelpfiles", "Check for &Help files Update"},
        {"menuexit", "E&xit"},
        {"menuTickersearch", "&Search Symbol"},
        {"menuView", "&View components of index"},
        {"menuCompact", "&Compact/Repair Database"},
        {"menuamibroker", "&Amibroker"},
        {"menumetastock", "&Metastock"},
        {"menustockguru", "&Stockguru (PRN)"},
        {"MenuPRN", "&PRN-format"},
        {"menuascii", "AS&CII-format (CSV)"},
        {"menukbf", "&KBF-format"},
        {"menuexcel", "&Excel XLS"},
        {"menuVision", "&Vision2000"},
        {"menuVikingen", "V&ikingen"},
        {"menuGet", "A&dvanced Get"},
        {"menudownloadnow", "&Current"},
        {"menuhistory", "&Historical"},
        {"Daily", "&Daily"},
        {"menuOptions", "&Options..."},
        {"menuhelpcontents", "&Contents"},
        {"menuhelpfaq", "&Faq"},
        {"menuhelpsupport", "&Support..."},
        {"menuquotarishomepage", "&Quotaris Homepage"},
        {"menuhelpabout", "&About Quotaris..."},
    };
    for (const auto& [name, caption] : items) {
        QAction* a = w.action(QLatin1String(name));
        ASSERT_NE(a, nullptr) << name;
        EXPECT_EQ(a->text(), QLatin1String(caption)) << name;
    }
    QStringList menus;
    for (QAction* a : w.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, QStringList({"&File", "&Edit", "E&xport format", "&Download", "&Window", "&Help"}));
    EXPECT_TRUE(w.action(QStringLiteral("menuexit"))->isEnabled());
    EXPECT_TRUE(w.action(QStringLiteral("menuhelpabout"))->isEnabled());
}

// Within one menu, and along the menu bar, no two items share an access key.
TEST_F(MainWindowTest, AccessKeysAreUniqueAndTheUsualShortcutsWork)
{
    Hoofdform w;
    const auto keyOf = [](const QString& text) {
        const qsizetype at = text.indexOf(QLatin1Char('&'));
        return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toLower() : QChar();
    };
    QList<QMenu*> menus;
    QSet<QChar> barKeys;
    for (QAction* a : w.menuBar()->actions()) {
        EXPECT_FALSE(barKeys.contains(keyOf(a->text()))) << qPrintable(a->text());
        barKeys.insert(keyOf(a->text()));
        if (a->menu())
            menus << a->menu();
    }
    for (QMenu* menu : menus) {
        QSet<QChar> keys;
        for (QAction* a : menu->actions()) {
            const QChar key = keyOf(a->text());
            if (key.isNull() || a->property("openWindow").toBool())
                continue;
            EXPECT_FALSE(keys.contains(key)) << qPrintable(menu->title() + QStringLiteral(": ") + a->text());
            keys.insert(key);
        }
    }
    EXPECT_TRUE(w.action(QStringLiteral("menuexit"))->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
    EXPECT_TRUE(w.action(QStringLiteral("menuWindowClose"))->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_F4)));

    // Escape that no control takes closes the window; Ctrl+F4 the active one.
    w.show();
    auto* area = w.findChild<QMdiArea*>(QStringLiteral("Picture1"));
    ASSERT_NE(area, nullptr);
    auto* first = new QWidget;
    auto* second = new QWidget;
    w.showChild(first);
    w.showChild(second);
    ASSERT_EQ(area->subWindowList().size(), 2);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(area->activeSubWindow(), &escape);
    QApplication::processEvents();
    EXPECT_EQ(area->subWindowList().size(), 1);
    w.action(QStringLiteral("menuWindowClose"))->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(area->subWindowList().isEmpty());
}

// Size and maximised state come back at the next start.
TEST_F(MainWindowTest, TheMainWindowKeepsItsSize)
{
    {
        Hoofdform w;
        w.resize(913, 611);
        w.show();
        QApplication::processEvents();
        EXPECT_TRUE(w.close());
    }
    Hoofdform again;
    again.setSplashDelay(0);
    again.load();
    EXPECT_EQ(again.size(), QSize(913, 611));
}

TEST_F(MainWindowTest, LoadClosesTheSplashAndSetsFormatChecks)
{
    runStartup();
    {
        Database db(paths::databaseFile());
        settingsrow::write(db, {{QStringLiteral("select2"), 1}, {QStringLiteral("selectexcel"), 1}});
    }
    resetProcessState();

    Hoofdform w;
    w.setSplashDelay(50);
    // Looked at in the splash's own event loop: it is up, held by the
    // splash timer with the delay that was set.
    bool splashUp = false;
    int held = -1;
    QTimer::singleShot(0, [&] {
        auto* splash = qobject_cast<frmSplash*>(QApplication::activeModalWidget());
        splashUp = splash && splash->isVisible();
        const auto* timer = w.findChild<QTimer*>(QStringLiteral("Timer1"));
        held = timer && timer->isActive() ? timer->interval() : -1;
    });
    // load() returns when the splash timer has closed the splash; the rest
    // of the start-up follows from the event loop.
    untilSignal(w, &Hoofdform::loaded, [&w] { w.load(); });
    EXPECT_TRUE(splashUp);
    EXPECT_EQ(held, 50);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.action(QStringLiteral("menukbf"))->isChecked());
    EXPECT_TRUE(w.action(QStringLiteral("menuexcel"))->isChecked());
    EXPECT_FALSE(w.action(QStringLiteral("menuascii"))->isChecked());
    EXPECT_EQ(state().historyStartDate, history::defaultRange(QDate::currentDate()).first);
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(MainWindowTest, AfterTheSplashTheStartUpFollowsFromTheEventLoop)
{
    runStartup();
    resetProcessState();
    Hoofdform w;
    w.setSplashDelay(20);
    int loadedSignals = 0;
    QObject::connect(&w, &Hoofdform::loaded, [&] { ++loadedSignals; });
    w.load();
    // The splash has closed, but the window waits for the event loop.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(loadedSignals, 0);
    untilSignal(w, &Hoofdform::loaded, [] {});
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(loadedSignals, 1);
}

TEST_F(MainWindowTest, AboutBoxShowsTheVersionAndClosesWithItsButton)
{
    Hoofdform w;
    QString version;
    QTimer::singleShot(0, [&version] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        version = box->findChild<QLabel*>(QStringLiteral("lblVersion"))->text();
        box->findChild<QWidget*>(QStringLiteral("Command1"))
            ->metaObject()
            ->invokeMethod(box->findChild<QWidget*>(QStringLiteral("Command1")), "click");
    });
    w.action(QStringLiteral("menuhelpabout"))->trigger();
    EXPECT_EQ(version, QStringLiteral("Version ") + QStringLiteral(QUOTARIS_VERSION));
}

TEST_F(MainWindowTest, ARunningChildKeepsTheProgramOpen)
{
    Hoofdform w;
    w.show();
    auto* child = new BusyChild;
    w.showChild(child);
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(state().refusedToClose);
    EXPECT_TRUE(w.isVisible());

    child->running = false;
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(state().refusedToClose);
    EXPECT_TRUE(w.mdiArea()->subWindowList().isEmpty() || !w.isVisible());
}

TEST_F(MainWindowTest, CurrentDownloadOpensOnce)
{
    runStartup();
    Hoofdform w;
    w.show();
    w.action(QStringLiteral("menudownloadnow"))->trigger();
    w.action(QStringLiteral("menudownloadnow"))->trigger();
    ASSERT_EQ(w.mdiArea()->subWindowList().size(), 1);
    QWidget* window = w.mdiArea()->subWindowList()[0]->widget();
    EXPECT_EQ(window->objectName(), QStringLiteral("Autodownload"));
    // Daily brings the same window forward in scheduled mode.
    auto* scheduled = window->findChild<QRadioButton*>(QStringLiteral("Option6"));
    ASSERT_NE(scheduled, nullptr);
    EXPECT_FALSE(scheduled->isChecked());
    w.action(QStringLiteral("Daily"))->trigger();
    EXPECT_EQ(w.mdiArea()->subWindowList().size(), 1);
    EXPECT_TRUE(scheduled->isChecked());
    EXPECT_TRUE(w.close());
}

TEST_F(MainWindowTest, WindowsOpenAtTheirSizeAndTheWindowMenuListsThem)
{
    runStartup();
    Hoofdform w;
    w.resize(1100, 800);
    w.show();
    w.action(QStringLiteral("menudownloadnow"))->trigger();
    w.action(QStringLiteral("menuhistory"))->trigger();
    const QList<QMdiSubWindow*> frames = w.mdiArea()->subWindowList();
    ASSERT_EQ(frames.size(), 2);
    for (QMdiSubWindow* frame : frames) {
        EXPECT_FALSE(frame->isMaximized()) << qPrintable(frame->windowTitle());
        EXPECT_LE(frame->width(), w.mdiArea()->viewport()->width());
        // A window icon of the program's, so the frame shows no toolkit logo.
        EXPECT_FALSE(frame->windowIcon().isNull());
        EXPECT_EQ(frame->windowIcon().cacheKey(), w.windowIcon().cacheKey());
    }
    EXPECT_FALSE(w.isMaximized());

    QMenu* menu = w.findChild<QMenu*>(QStringLiteral("menuWindow"));
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    QStringList open;
    for (QAction* a : menu->actions()) {
        if (a->property("openWindow").toBool())
            open << a->text() + (a->isChecked() ? QStringLiteral(" *") : QString());
    }
    EXPECT_EQ(open, QStringList({"&1 Current Data Downloader", "&2 Historical Data Downloader *"}));
    w.action(QStringLiteral("menuWindowNext"))->trigger();
    EXPECT_EQ(w.mdiArea()->activeSubWindow(), frames[0]);
    w.action(QStringLiteral("menuWindowCloseAll"))->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(w.mdiArea()->subWindowList().isEmpty());

    // Every toolbar button has an icon and a text of its own.
    for (const char* name : {"toolListManagement", "toolSearch", "toolExportFormat", "toolCurrent", "toolHistorical",
                             "toolUpdate", "toolHome", "toolSupport", "toolHelp"}) {
        QAction* a = w.action(QLatin1String(name));
        ASSERT_NE(a, nullptr) << name;
        EXPECT_FALSE(a->icon().isNull()) << name;
        EXPECT_FALSE(a->text().isEmpty()) << name;
    }
}

TEST_F(MainWindowTest, CompactAsksBeforeClosingTheOtherWindows)
{
    runStartup();
    Hoofdform w;
    w.show();
    w.action(QStringLiteral("menudownloadnow"))->trigger();
    msgs.queue(Answer::No);
    w.action(QStringLiteral("menuCompact"))->trigger();
    ASSERT_EQ(msgs.shown.size(), 1);
    EXPECT_EQ(msgs.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(w.mdiArea()->subWindowList().size(), 1);  // No: nothing closed, no compaction
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowTest, StartPageShowsWhatIsMissingThenWhereThingsStand)
{
    runStartup();
    Hoofdform w;
    w.updateStartPage();
    w.show();
    StartPage* page = w.startPage();
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->isVisible());
    auto text = [page](const char* name) { return page->findChild<QLabel*>(QLatin1String(name))->text(); };
    auto shown = [page](const char* name) { return page->findChild<QPushButton*>(QLatin1String(name))->isVisible(); };
    // A fresh data folder: symbols and a format are needed first.
    EXPECT_TRUE(text("lblNext").contains(QStringLiteral("import a symbol list")));
    EXPECT_TRUE(text("lblNext").contains(QStringLiteral("switch one on")));
    EXPECT_TRUE(shown("startImport"));
    EXPECT_TRUE(shown("startSearch"));
    EXPECT_TRUE(shown("startFormats"));
    EXPECT_FALSE(shown("startDownload"));
    EXPECT_EQ(text("lblFormats"), QStringLiteral("No export format is on."));
    EXPECT_TRUE(text("lblRuns").contains(QStringLiteral("Last current download: none yet")));

    // A used one: two symbols on list 2, ASCII on, a finished run. The page
    // follows an import (announced) without being opened again.
    {
        Database db(paths::databaseFile());
        for (const char* t : {"AAA", "BBB"})
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, list2) VALUES (1, ?, ?, 1)"),
                    {QLatin1String(t), QLatin1String(t)});
    }
    announce::symbols();
    QElapsedTimer waited;
    waited.start();
    while (!text("lblLists").contains(QStringLiteral("List 2: 2 symbols")) && waited.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_LT(waited.elapsed(), 1000);
    settings().format('C').on = true;
    settings().format('C').folder = home() + QStringLiteral("quotes/");
    runrecord::note(false, QStringLiteral("Download finished: 2 of 2 written"),
                    QDateTime(QDate(2026, 12, 4), QTime(18, 5)));
    w.action(QStringLiteral("menudownloadnow"))->trigger();
    EXPECT_FALSE(page->isVisible());  // a window is open: the work area shows
    w.mdiArea()->closeAllSubWindows();
    QApplication::processEvents();
    EXPECT_TRUE(page->isVisible());
    EXPECT_TRUE(text("lblLists").contains(QStringLiteral("List 2: 2 symbols")));
    EXPECT_TRUE(
        text("lblFormats").contains(QStringLiteral("ASCII-format (CSV): ") + home() + QStringLiteral("quotes/")));
    EXPECT_TRUE(text("lblRuns").contains(QStringLiteral("Download finished: 2 of 2 written")));
    EXPECT_TRUE(text("lblNext").startsWith(QStringLiteral("Ready to download")));
    EXPECT_FALSE(shown("startImport"));
    EXPECT_FALSE(shown("startFormats"));
    EXPECT_TRUE(shown("startDownload"));
    EXPECT_TRUE(text("lblRuns").contains(QStringLiteral("Daily schedule: no list scheduled")));

    // The daily schedule with its next download.
    Schedule schedule = Schedule::load();
    schedule.lists[3].on = true;
    schedule.setTimes(3, QTime(9, 30), QTime(17, 30), QTime(0, 0));
    schedule.save();
    page->refresh();
    EXPECT_TRUE(text("lblRuns").contains(QStringLiteral("list 3 at ")));
    EXPECT_TRUE(text("lblRuns").contains(QStringLiteral("; next: list 3 at ")));
}

namespace {
// Puts `ticker`'s bars on the weekdays of the `count` weekdays up to
// `last`, leaving out `missing`; `provisional` days flagged so.
void putWeekdays(QuoteStore& store, const char* ticker, QDate last, int count, const QSet<QDate>& missing = {},
                 const QSet<QDate>& provisional = {})
{
    const core::Figure ten = core::Figure::parse(u"10");
    QDate d = last;
    for (int n = 0; n < count; d = d.addDays(-1)) {
        if (d.dayOfWeek() > 5)
            continue;
        ++n;
        if (missing.contains(d))
            continue;
        core::Bar b{d.year() * 10000 + d.month() * 100 + d.day(), ten, ten, ten, ten, ten, {}, 0};
        b.set(core::Bar::Provisional, provisional.contains(d));
        store.put(QLatin1String(ticker), b, 1);
    }
}
}  // namespace

// The start page counts the symbols of the lists whose store lacks a
// session of their exchange or still holds an earlier day as provisional,
// and "Fill gaps" asks the service for them: the count drops.
TEST_F(MainWindowTest, StartPageCountsTheSymbolsWithGapsAndFillsThem)
{
    runStartup();
    FakeQuoteService fake;
    ASSERT_TRUE(fake.isListening());
    fake.useForAllHosts();
    fake.setResponder(fakehistory::responder());
    quickRuns(30);
    formatOn('C', QStringLiteral("ascii"));
    {
        Database db(paths::databaseFile());
        for (const char* t : {"FULL", "HOLE", "EARLY", "TODAY", "EURUSD=X"})
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                                   "VALUES (1, ?, ?, 'Stock', ?)"),
                    {QString::fromLatin1(t), QString::fromLatin1(t),
                     QString::fromLatin1(t) == QStringLiteral("EURUSD=X") ? 0 : 1});
    }
    const QDate last = QDate::currentDate().addDays(-1);
    QDate lastWeekday = last;
    while (lastWeekday.dayOfWeek() > 5)
        lastWeekday = lastWeekday.addDays(-1);
    const QDate earlier = lastWeekday.addDays(-7);  // a weekday a week before
    {
        QuoteStore store;
        store.begin();
        // Fewer than ten symbols: the index tells the sessions.
        putWeekdays(store, "^GSPC", lastWeekday, 20);
        putWeekdays(store, "FULL", lastWeekday, 20);
        putWeekdays(store, "HOLE", lastWeekday, 20, {earlier});
        putWeekdays(store, "EARLY", lastWeekday, 20, {}, {earlier});
        putWeekdays(store, "TODAY", lastWeekday, 20, {}, {lastWeekday});  // the last session may be provisional
        putWeekdays(store, "EURUSD=X", lastWeekday, 20, {earlier});       // on no list: not counted
        store.commit();
    }

    Hoofdform w;
    w.updateStartPage();
    w.show();
    StartPage* page = w.startPage();
    ASSERT_NE(page, nullptr);
    auto* label = page->findChild<QLabel*>(QStringLiteral("lblGaps"));
    auto* fill = page->findChild<QPushButton*>(QStringLiteral("startFillGaps"));
    auto* stop = page->findChild<QPushButton*>(QStringLiteral("startStopGaps"));
    ASSERT_TRUE(label && fill && stop);
    EXPECT_TRUE(label->isVisible());
    EXPECT_TRUE(label->text().startsWith(QStringLiteral("2 symbols have gaps"))) << qPrintable(label->text());
    EXPECT_TRUE(fill->isVisible());
    EXPECT_TRUE(fill->isEnabled());
    // A refresh with nothing changed does not read the store again.
    const int surveys = page->gapCount().surveys();
    page->refresh();
    page->refresh();
    EXPECT_EQ(page->gapCount().surveys(), surveys);

    QEventLoop loop;
    QObject::connect(&page->gapCount(), &gapfill::GapCount::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    fill->click();
    EXPECT_TRUE(page->filling());
    EXPECT_TRUE(stop->isVisible());
    EXPECT_FALSE(fill->isVisible());
    loop.exec();
    EXPECT_FALSE(page->filling());
    int asked = 0;
    for (const FakeQuoteService::Request& r : fake.requests())
        asked += r.path == "/table.csv";
    EXPECT_EQ(asked, 2);
    ASSERT_FALSE(msgs.shown.isEmpty());
    EXPECT_EQ(msgs.shown.last().title, QStringLiteral("Fill gaps"));
    EXPECT_TRUE(msgs.shown.last().text.contains(QStringLiteral("HOLE: filled ") + earlier.toString(Qt::ISODate)))
        << qPrintable(msgs.shown.last().text);
    w.updateStartPage();
    EXPECT_FALSE(label->isVisible()) << qPrintable(label->text());
    EXPECT_FALSE(fill->isVisible());
    EXPECT_FALSE(stop->isVisible());
}

// Every window as a picture, without touching the user's data folder or
// settings (the test's own stand in for them here).
TEST_F(MainWindowTest, ScreenshotsRenderEveryWindowIntoItsOwnFile)
{
    const QString folder = home() + QStringLiteral("shots");
    const ProgramRun r = runQuotaris({QStringLiteral("screenshots"), folder}, 120000);
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    for (const char* name : {"main", "main-windows", "autodownload", "history", "location", "marketform", "browser",
                             "frmoptions", "reportform", "historyreportform", "help"}) {
        QImage image(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_GE(image.width(), 300) << name;
    }
    EXPECT_EQ(QImage(folder + QStringLiteral("/main.png")).size(), QSize(1000, 700));
    EXPECT_FALSE(QFile::exists(paths::databaseFile()));  // the data folder of the test stayed untouched
    EXPECT_EQ(runQuotaris({QStringLiteral("screenshots")}).status, 2);
}

// A second copy on the same data folder finds the first, which comes
// forward when asked; another data folder is no hindrance.
TEST_F(MainWindowTest, ASecondCopyOnTheSameDataFolderFindsTheFirst)
{
    SingleInstance first(home());
    ASSERT_TRUE(first.claim());
    int raised = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&raised] { ++raised; });

    SingleInstance second(home());
    EXPECT_FALSE(second.claim());
    EXPECT_EQ(alreadyRunningText(home()),
              QStringLiteral("Quotaris is already running with the data folder %1.\r\nBring its window forward?")
                  .arg(home()));
    EXPECT_TRUE(second.bringForward());
    for (int i = 0; i < 100 && raised == 0; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(raised, 1);

    SingleInstance elsewhere(path(QStringLiteral("other")));
    EXPECT_TRUE(elsewhere.claim());
}

// Quitting while the scheduler runs offers "Stop and quit": the scheduler
// stops and the program's window closes once nothing runs any more.
TEST_F(MainWindowTest, QuittingWhileTheSchedulerRunsCanStopItAndQuit)
{
    runStartup();
    Hoofdform w;
    w.show();
    auto* download = new Autodownload;
    ManualClock clock(QDateTime(QDate(2027, 1, 8), QTime(8, 0)));
    download->scheduler().setClock(clock);
    w.showChild(download);
    download->findChild<QRadioButton*>(QStringLiteral("Option6"))->setChecked(true);
    download->findChild<QCheckBox*>(QStringLiteral("Check1(1)"))->click();
    download->findChild<QTimeEdit*>(QStringLiteral("DTPicker1(1)"))->setTime(QTime(9, 0));
    download->findChild<QPushButton*>(QStringLiteral("Command4"))->click();
    ASSERT_TRUE(download->scheduler().active());

    EXPECT_FALSE(w.close());  // the default answer keeps it going
    EXPECT_TRUE(download->scheduler().active());
    EXPECT_TRUE(w.isVisible());

    msgs.queue(Answer::Yes);
    EXPECT_FALSE(w.close());
    EXPECT_EQ(msgs.shown.last().yesText, QStringLiteral("&Stop and quit"));
    EXPECT_FALSE(download->scheduler().active());
    QElapsedTimer waited;
    waited.start();
    while (w.isVisible() && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_FALSE(w.isVisible());
}
