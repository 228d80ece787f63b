#include "app/hoofdform.h"

#include "app/appicons.h"
#include "app/links.h"
#include "app/popupmenus.h"
#include "app/splash.h"
#include "app/startpage.h"
#include "database/startup.h"
#include "gateway/livehosts.h"
#include "mslink/selfcheck.h"
#include "runs/updates.h"
#include "support/changes.h"
#include "support/help.h"
#include "support/messages.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "windows/autodownload.h"
#include "windows/compact.h"
#include "windows/fillwindow.h"
#include "windows/frmexport.h"
#include "windows/frmimport.h"
#include "windows/frmnames.h"
#include "windows/frmoptions.h"
#include "windows/helpfiles.h"
#include "windows/helpkey.h"
#include "windows/history.h"
#include "windows/location.h"
#include "writers/formatregistry.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

Hoofdform::Hoofdform(QWidget* parent)
    : QMainWindow(parent), mdi_(new QMdiArea(this)), timer1_(new QTimer(this)),
      liveHosts_(std::make_unique<LiveHosts>())
{
    setObjectName(QStringLiteral("Hoofdform"));
    setWindowTitle(QStringLiteral("Quotaris"));
    setWindowIcon(appicons::program());
    mdi_->setObjectName(QStringLiteral("Picture1"));
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The start page stands in the work area's place while no window is open.
    startPage_ = new StartPage(this);
    central_ = new QStackedWidget(this);
    central_->addWidget(startPage_);
    central_->addWidget(mdi_);
    setCentralWidget(central_);
    connect(this, &Hoofdform::childrenChanged, this, &Hoofdform::updateStartPage);
    // The start page follows what changes below it, at most every 300 ms.
    auto* follow = new QTimer(this);
    follow->setSingleShot(true);
    follow->setInterval(300);
    connect(follow, &QTimer::timeout, this, &Hoofdform::updateStartPage);
    for (auto signal :
         {&Changes::listsChanged, &Changes::symbolsChanged, &Changes::settingsChanged, &Changes::filesWritten})
        connect(&changes(), signal, follow, qOverload<>(&QTimer::start));
    connect(startPage_, &StartPage::importRequested, this, [this] { action(QStringLiteral("menuImport"))->trigger(); });
    connect(startPage_, &StartPage::searchRequested, this, [this] { openSearch(); });
    connect(startPage_, &StartPage::listsRequested, this, [this] { openListManagement(false); });
    connect(startPage_, &StartPage::downloadRequested, this, &Hoofdform::showCurrentDownload);
    connect(startPage_, &StartPage::formatsRequested, this,
            [this](QPushButton* button) { exportFormatMenu_->exec(button->mapToGlobal(QPoint(0, button->height()))); });
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setSingleShot(true);
    connect(timer1_, &QTimer::timeout, this, [this] {
        if (splash_)
            splash_->accept();
    });
    buildMenus();
    buildToolbar();
    popups_ = new PopupMenus(this);
    helpkey::install();
    resize(1000, 700);
}

Hoofdform::~Hoofdform() = default;

QAction* Hoofdform::addItem(QMenu* menu, const char* name, const QString& caption, bool available)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    a->setEnabled(available);
    return a;
}

void Hoofdform::buildMenus()
{
    QMenuBar* bar = menuBar();

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menufile"));
    // Items whose window is not part of the program yet stay disabled.
    QAction* listManagement = addItem(file, "menustocklistopen", QStringLiteral("&List management..."));
    connect(listManagement, &QAction::triggered, this, [this] { openListManagement(false); });
    QAction* names = addItem(file, "menuNames", QStringLiteral("List &names..."));
    connect(names, &QAction::triggered, this, [this] { showChild(new frmNames); });
    QAction* exportSymbols = addItem(file, "menuExport", QStringLiteral("&Export Symbols..."));
    connect(exportSymbols, &QAction::triggered, this, [this] {
        frmExport window(this);
        window.exec();
    });
    QAction* importSymbols = addItem(file, "menuImport", QStringLiteral("&Import Symbols..."));
    connect(importSymbols, &QAction::triggered, this, [this] {
        frmImport window(this);
        window.exec();
    });
    file->addSeparator()->setObjectName(QStringLiteral("menuYY"));
    QAction* check = addItem(file, "menucheck", QStringLiteral("&Check for Quotaris Update"));
    connect(check, &QAction::triggered, this, [this] {
        // What the server said is shown once it has answered; the window
        // stays usable meanwhile.
        auto* asking = new updates::UpdateCheck(updates::UpdateCheck::Answer::Tell, this);
        connect(asking, &updates::UpdateCheck::finished, asking, &QObject::deleteLater);
        asking->start();
    });
    QAction* helpFiles = addItem(file, "mnuHelpfiles", QStringLiteral("Check for &Help files Update"));
    connect(helpFiles, &QAction::triggered, this, [this] {
        auto* asking = new updates::HelpVersionCheck(this);
        connect(asking, &updates::HelpVersionCheck::finished, this, [this, asking] {
            asking->deleteLater();
            if (asking->newer() == 0) {
                msgBox(QStringLiteral("There are no newer helpfiles available"), Icon::Information);
                return;
            }
            helpfiles window(this);
            window.exec();
        });
        asking->start();
    });
    file->addSeparator()->setObjectName(QStringLiteral("zom4"));
    // Exit and Export format have access keys of their own: E is Edit's
    // and Export Symbols'.
    QAction* exit = addItem(file, "menuexit", QStringLiteral("E&xit"));
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("menumarket"));
    QAction* search = addItem(edit, "menuTickersearch", QStringLiteral("&Search Symbol"));
    connect(search, &QAction::triggered, this, [this] { openSearch(); });
    QAction* view = addItem(edit, "menuView", QStringLiteral("&View components of index"));
    connect(view, &QAction::triggered, this, [this] { openListManagement(true); });
    edit->addSeparator()->setObjectName(QStringLiteral("qwa"));
    QAction* compactItem = addItem(edit, "menuCompact", QStringLiteral("&Compact/Repair Database"));
    connect(compactItem, &QAction::triggered, this, &Hoofdform::showCompact);

    exportFormatMenu_ = bar->addMenu(QStringLiteral("E&xport format"));
    exportFormatMenu_->setObjectName(QStringLiteral("menuexportformat"));
    for (const ExportFormat& f : formats::all()) {
        QAction* a = addItem(exportFormatMenu_, f.menuName, QLatin1String(f.caption));
        a->setCheckable(true);
        a->setData(f.letter);
        const QChar letter = f.letter;
        connect(a, &QAction::triggered, this, [this, letter] { showLocation(letter); });
    }

    QMenu* download = bar->addMenu(QStringLiteral("&Download"));
    download->setObjectName(QStringLiteral("menudownload"));
    QAction* current = addItem(download, "menudownloadnow", QStringLiteral("&Current"));
    connect(current, &QAction::triggered, this, &Hoofdform::showCurrentDownload);
    QAction* historical = addItem(download, "menuhistory", QStringLiteral("&Historical"));
    connect(historical, &QAction::triggered, this, [this] {
        // One historical downloader at a time, as for the current one.
        for (QMdiSubWindow* frame : mdi_->subWindowList()) {
            if (qobject_cast<history*>(frame->widget())) {
                mdi_->setActiveSubWindow(frame);
                return;
            }
        }
        showChild(new history);
    });
    QAction* daily = addItem(download, "Daily", QStringLiteral("&Daily"));
    connect(daily, &QAction::triggered, this, [this] {
        showCurrentDownload();
        for (QMdiSubWindow* frame : mdi_->subWindowList()) {
            if (auto* window = qobject_cast<Autodownload*>(frame->widget()))
                window->chooseScheduledMode();
        }
    });
    QAction* optionsItem = addItem(download, "menuOptions", QStringLiteral("&Options..."));
    connect(optionsItem, &QAction::triggered, this, [this] {
        frmOptions window(this);
        window.exec();
    });

    buildWindowMenu();

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("menuhelp"));
    QAction* contents = addItem(help, "menuhelpcontents", QStringLiteral("&Contents"));
    connect(contents, &QAction::triggered, this, [] { help::ShowHelp(); });
    help->addSeparator()->setObjectName(QStringLiteral("zom2"));
    QAction* faq = addItem(help, "menuhelpfaq", QStringLiteral("&Faq"));
    connect(faq, &QAction::triggered, this, [] { help::ShowHelp(QStringLiteral("FAQ_Overview.htm")); });
    QAction* supportPage = addItem(help, "menuhelpsupport", QStringLiteral("&Support..."));
    connect(supportPage, &QAction::triggered, this, [] { help::ShowHelp(QStringLiteral("Support.htm")); });
    help->addSeparator()->setObjectName(QStringLiteral("zom"));
    QMenu* web = help->addMenu(QStringLiteral("&Quotaris on the Web"));
    web->setObjectName(QStringLiteral("menuhelpweb"));
    QAction* homePage = addItem(web, "menuquotarishomepage", QStringLiteral("&Quotaris Homepage"));
    connect(homePage, &QAction::triggered, this, [] { links::openHomePage(); });
    help->addSeparator()->setObjectName(QStringLiteral("zom3"));
    QAction* about = addItem(help, "menuhelpabout", QStringLiteral("&About Quotaris..."));
    connect(about, &QAction::triggered, this, &Hoofdform::showAbout);
}

void Hoofdform::buildToolbar()
{
    QToolBar* bar = addToolBar(QStringLiteral("Toolbar"));
    bar->setObjectName(QStringLiteral("Toolbar1"));
    bar->setMovable(false);
    // An icon alone is ambiguous for most of these: each button says what
    // it does.
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    auto mirror = [&](const char* name, const char* item, const QIcon& icon, const QString& text, const QString& tip) {
        QAction* source = action(QLatin1String(item));
        QAction* a = bar->addAction(icon, text);
        a->setObjectName(QLatin1String(name));
        a->setToolTip(tip);
        a->setEnabled(source->isEnabled());
        connect(source, &QAction::changed, a, [a, source] { a->setEnabled(source->isEnabled()); });
        connect(a, &QAction::triggered, source, &QAction::trigger);
    };
    mirror("toolListManagement", "menustocklistopen", appicons::listManagement(), QStringLiteral("Lists"),
           QStringLiteral("List management"));
    mirror("toolSearch", "menuTickersearch", appicons::search(), QStringLiteral("Search"),
           QStringLiteral("Search Symbol"));

    QAction* formats = bar->addAction(appicons::exportFormat(), QStringLiteral("Formats"));
    formats->setObjectName(QStringLiteral("toolExportFormat"));
    formats->setToolTip(QStringLiteral("Export format: switch formats on and choose their folders"));
    formats->setMenu(exportFormatMenu_);
    if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(formats)))
        button->setPopupMode(QToolButton::InstantPopup);

    mirror("toolCurrent", "menudownloadnow", appicons::currentDownload(), QStringLiteral("Current"),
           QStringLiteral("Current download: the latest quotes"));
    mirror("toolHistorical", "menuhistory", appicons::historicalDownload(), QStringLiteral("Historical"),
           QStringLiteral("Historical download: the quotes of a date range"));
    bar->addSeparator();
    mirror("toolUpdate", "menucheck", appicons::update(), QStringLiteral("Update"), QStringLiteral("Check for update"));
    mirror("toolHome", "menuquotarishomepage", appicons::homePage(), QStringLiteral("Homepage"),
           QStringLiteral("Quotaris Homepage"));
    QAction* support = bar->addAction(appicons::support(), QStringLiteral("Support"));
    support->setObjectName(QStringLiteral("toolSupport"));
    support->setToolTip(QStringLiteral("Write to support"));
    connect(support, &QAction::triggered, this, [] { links::openSupportMail(); });
    mirror("toolHelp", "menuhelpcontents", appicons::help(), QStringLiteral("Help"), QStringLiteral("Help contents"));
}

void Hoofdform::buildWindowMenu()
{
    windowMenu_ = menuBar()->addMenu(QStringLiteral("&Window"));
    windowMenu_->setObjectName(QStringLiteral("menuWindow"));
    QAction* next = addItem(windowMenu_, "menuWindowNext", QStringLiteral("&Next Window"));
    next->setShortcuts({QKeySequence(QKeySequence::NextChild), QKeySequence(Qt::CTRL | Qt::Key_F6)});
    connect(next, &QAction::triggered, mdi_, &QMdiArea::activateNextSubWindow);
    QAction* previous = addItem(windowMenu_, "menuWindowPrevious", QStringLiteral("&Previous Window"));
    previous->setShortcuts(
        {QKeySequence(QKeySequence::PreviousChild), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6)});
    connect(previous, &QAction::triggered, mdi_, &QMdiArea::activatePreviousSubWindow);
    windowMenu_->addSeparator();
    QAction* tile = addItem(windowMenu_, "menuWindowTile", QStringLiteral("&Tile"));
    connect(tile, &QAction::triggered, mdi_, &QMdiArea::tileSubWindows);
    QAction* cascade = addItem(windowMenu_, "menuWindowCascade", QStringLiteral("&Cascade"));
    connect(cascade, &QAction::triggered, mdi_, &QMdiArea::cascadeSubWindows);
    QAction* closeOne = addItem(windowMenu_, "menuWindowClose", QStringLiteral("Cl&ose Window"));
    closeOne->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_F4), QKeySequence(Qt::CTRL | Qt::Key_W)});
    connect(closeOne, &QAction::triggered, mdi_, &QMdiArea::closeActiveSubWindow);
    QAction* closeAll = addItem(windowMenu_, "menuWindowCloseAll", QStringLiteral("Close &All"));
    connect(closeAll, &QAction::triggered, mdi_, &QMdiArea::closeAllSubWindows);
    windowMenu_->addSeparator()->setObjectName(QStringLiteral("menuWindowList"));
    connect(windowMenu_, &QMenu::aboutToShow, this, &Hoofdform::updateWindowMenu);
    updateWindowMenu();
}

void Hoofdform::updateWindowMenu()
{
    for (QAction* a : windowMenu_->actions()) {
        if (a->property("openWindow").toBool()) {
            windowMenu_->removeAction(a);
            a->deleteLater();
        }
    }
    const QList<QMdiSubWindow*> frames = mdi_->subWindowList();
    for (const char* name : {"menuWindowNext", "menuWindowPrevious", "menuWindowTile", "menuWindowCascade"})
        action(QLatin1String(name))->setEnabled(frames.size() > 1);
    action(QStringLiteral("menuWindowCloseAll"))->setEnabled(!frames.isEmpty());
    int n = 0;
    for (QMdiSubWindow* frame : frames) {
        ++n;
        QString caption = frame->windowTitle();
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* a = windowMenu_->addAction(n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(caption) : caption);
        a->setProperty("openWindow", true);
        a->setCheckable(true);
        a->setChecked(frame == mdi_->activeSubWindow());
        connect(a, &QAction::triggered, this, [this, frame] {
            if (mdi_->subWindowList().contains(frame))
                mdi_->setActiveSubWindow(frame);
        });
    }
}

QAction* Hoofdform::action(const QString& name) const { return findChild<QAction*>(name); }

void Hoofdform::updateFormatChecks()
{
    for (const ExportFormat& f : formats::all())
        action(QLatin1String(f.menuName))->setChecked(f.isOn());
}

void Hoofdform::showLocation(QChar letter)
{
    location window(letter, this);
    window.exec();
    // A triggered checkable item toggles itself; the switch decides.
    updateFormatChecks();
    if (window.switchedOn()) {
        if (const ExportFormat* f = formats::find(letter))
            fillwindow::offer(*f, this);
    }
    announce::settings();
    updateStartPage();
}

void Hoofdform::updateStartPage()
{
    // A closed frame is hidden at once and deleted later.
    const QList<QMdiSubWindow*> frames = mdi_->subWindowList();
    const bool anyOpen = std::any_of(frames.begin(), frames.end(), [](QMdiSubWindow* f) { return !f->isHidden(); });
    if (!anyOpen) {
        startPage_->refresh();
        central_->setCurrentWidget(startPage_);
    } else {
        central_->setCurrentWidget(mdi_);
    }
}

QMdiSubWindow* Hoofdform::showChild(QWidget* window, bool maximized)
{
    central_->setCurrentWidget(mdi_);
    QMdiSubWindow* frame = mdi_->addSubWindow(window);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    // The frame's system menu shows the window icon: without one, the
    // toolkit's logo would stand there.
    frame->setWindowIcon(appicons::program());
    connect(frame, &QObject::destroyed, this, &Hoofdform::childrenChanged, Qt::QueuedConnection);
    frame->installEventFilter(this);
    if (maximized) {
        frame->showMaximized();
    } else {
        // At its natural size, inside the work area.
        frame->adjustSize();
        frame->resize(frame->size().boundedTo(mdi_->viewport()->size()));
        frame->show();
    }
    emit childrenChanged();
    return frame;
}

void Hoofdform::showCurrentDownload()
{
    // One downloader at a time: a second click brings the open one forward.
    for (QMdiSubWindow* frame : mdi_->subWindowList()) {
        if (qobject_cast<Autodownload*>(frame->widget())) {
            mdi_->setActiveSubWindow(frame);
            return;
        }
    }
    showChild(new Autodownload);
}

void Hoofdform::showCompact()
{
    // The database file is replaced: no other window may hold it meanwhile.
    // A window that refuses to close (a running download) keeps it in use.
    if (!mdi_->subWindowList().isEmpty() &&
        !askYesNo(QStringLiteral("The database is compacted with every other window closed.\r\n"
                                 "Close the open windows and go on?"),
                  QStringLiteral("Compact/Repair Database")))
        return;
    bool refused = false;
    for (QMdiSubWindow* child : mdi_->subWindowList()) {
        if (!child->close())
            refused = true;
    }
    if (refused)
        return;
    compact window(this);
    window.exec();
}

void Hoofdform::showAbout()
{
    frmSplash about(this);
    about.exec();
}

void Hoofdform::load()
{
    state().historyStartDate = history::defaultRange(QDate::currentDate()).first;
    if (splashDelay_ > 0) {
        frmSplash splash(this);
        splash_ = &splash;
        timer1_->start(splashDelay_);
        splash.exec();
        timer1_->stop();
        splash_ = nullptr;
        QTimer::singleShot(0, this, &Hoofdform::finishLoad);
        return;
    }
    finishLoad();
}

void Hoofdform::finishLoad()
{
    // The MetaStock library is built in: always present and current; it
    // only checks that it reads back what it writes.
    const QString libraryProblem = mslink::selfCheck();
    if (!libraryProblem.isEmpty())
        msgBox(QStringLiteral("The built-in Metastock library failed its self-check: ") + libraryProblem,
               Icon::Critical);
    runStartup();
    if (QString error; !liveHosts_->resolve(&error))
        msgBox(QStringLiteral("The built-in quote gateway cannot start: ") + error, Icon::Critical);
    updateFormatChecks();
    updateStartPage();
    restoreSavedGeometry();
    show();
    emit loaded();
}

bool Hoofdform::eventFilter(QObject* watched, QEvent* event)
{
    // Once a window has closed (a refused close leaves it open), the start
    // page may be due.
    if (event->type() == QEvent::Close && qobject_cast<QMdiSubWindow*>(watched))
        QTimer::singleShot(0, this, &Hoofdform::childrenChanged);
    // Escape that no control of the window took closes the window.
    if (event->type() == QEvent::KeyPress) {
        auto* frame = qobject_cast<QMdiSubWindow*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (frame && key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            frame->close();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Hoofdform::closeEvent(QCloseEvent* event)
{
    state().refusedToClose = false;
    // The start page's gap fill holds the data folder until it has ended.
    if (startPage_->filling()) {
        msgBox(QStringLiteral("The gaps are being filled. Press Stop on the start page first."), Icon::Information);
        event->ignore();
        return;
    }
    // A child that must stay open (a running download) refuses its close and
    // sets the flag; then the program keeps running. It may offer to stop
    // and quit: then it closes this window once its run has ended.
    setProperty("quitting", true);
    for (QMdiSubWindow* child : mdi_->subWindowList()) {
        if (!child->close())
            state().refusedToClose = true;
    }
    setProperty("quitting", false);
    if (state().refusedToClose) {
        event->ignore();
        return;
    }
    // Size, place and maximised state, for the next start.
    store::write(QStringLiteral("MainWindowGeometry"), QString::fromLatin1(saveGeometry().toBase64()));
    event->accept();
}

void Hoofdform::restoreSavedGeometry()
{
    const QString saved = store::read(QStringLiteral("MainWindowGeometry"), QString());
    if (!saved.isEmpty())
        restoreGeometry(QByteArray::fromBase64(saved.toLatin1()));
}
