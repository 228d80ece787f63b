#include "app/hoofdform.h"

#include "app/links.h"
#include "app/splash.h"
#include "database/startup.h"
#include "gateway/livehosts.h"
#include "support/messages.h"
#include "support/state.h"
#include "windows/autodownload.h"
#include "windows/frmexport.h"
#include "windows/frmimport.h"
#include "windows/frmnames.h"
#include "windows/frmoptions.h"
#include "windows/location.h"
#include "writers/formatregistry.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>


Hoofdform::Hoofdform(QWidget* parent) : QMainWindow(parent), mdi_(new QMdiArea(this)), timer1_(new QTimer(this))
{
    setObjectName(QStringLiteral("Hoofdform"));
    setWindowTitle(QStringLiteral("Quotaris"));
    mdi_->setObjectName(QStringLiteral("Picture1"));
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setSingleShot(true);
    connect(timer1_, &QTimer::timeout, this, [this] {
        if (splash_)
            splash_->accept();
    });
    buildMenus();
    buildToolbar();
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
    addItem(file, "menustocklistopen", QStringLiteral("&List management..."), false);
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
    addItem(file, "menucheck", QStringLiteral("&Check for Quotaris Update"), false);
    addItem(file, "mnuHelpfiles", QStringLiteral("Check for &Help files Update"), false);
    file->addSeparator()->setObjectName(QStringLiteral("zom4"));
    QAction* exit = addItem(file, "menuexit", QStringLiteral("&Exit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("menumarket"));
    addItem(edit, "menuTickersearch", QStringLiteral("&Search Symbol"), false);
    addItem(edit, "menuView", QStringLiteral("&View components of index"), false);
    edit->addSeparator()->setObjectName(QStringLiteral("qwa"));
    addItem(edit, "menuCompact", QStringLiteral("&Compact/Repair Database"), false);

    exportFormatMenu_ = bar->addMenu(QStringLiteral("&Export format"));
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
    addItem(download, "menuhistory", QStringLiteral("&Historical"), false);
    addItem(download, "Daily", QStringLiteral("&Daily"), false);
    QAction* optionsItem = addItem(download, "menuOptions", QStringLiteral("&Options..."));
    connect(optionsItem, &QAction::triggered, this, [this] {
        frmOptions window(this);
        window.exec();
    });

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("menuhelp"));
    addItem(help, "menuhelpcontents", QStringLiteral("&Contents"), false);
    help->addSeparator()->setObjectName(QStringLiteral("zom2"));
    addItem(help, "menuhelpfaq", QStringLiteral("&Faq"), false);
    addItem(help, "menuhelpsupport", QStringLiteral("&Support..."), false);
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
    QStyle* st = style();
    auto mirror = [&](const char* name, const char* item, QStyle::StandardPixmap icon, const QString& tip) {
        QAction* source = action(QLatin1String(item));
        QAction* a = bar->addAction(st->standardIcon(icon), tip);
        a->setObjectName(QLatin1String(name));
        a->setEnabled(source->isEnabled());
        connect(source, &QAction::changed, a, [a, source] { a->setEnabled(source->isEnabled()); });
        connect(a, &QAction::triggered, source, &QAction::trigger);
    };
    mirror("toolListManagement", "menustocklistopen", QStyle::SP_FileDialogDetailedView, QStringLiteral("List management"));
    mirror("toolSearch", "menuTickersearch", QStyle::SP_FileDialogContentsView, QStringLiteral("Search Symbol"));

    QAction* formats = bar->addAction(st->standardIcon(QStyle::SP_DriveHDIcon), QStringLiteral("Export format"));
    formats->setObjectName(QStringLiteral("toolExportFormat"));
    formats->setMenu(exportFormatMenu_);
    if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(formats)))
        button->setPopupMode(QToolButton::InstantPopup);

    mirror("toolCurrent", "menudownloadnow", QStyle::SP_ArrowDown, QStringLiteral("Current download"));
    mirror("toolHistorical", "menuhistory", QStyle::SP_FileDialogBack, QStringLiteral("Historical download"));
    mirror("toolUpdate", "menucheck", QStyle::SP_BrowserReload, QStringLiteral("Check for update"));
    mirror("toolHome", "menuquotarishomepage", QStyle::SP_DirHomeIcon, QStringLiteral("Quotaris Homepage"));
    QAction* support = bar->addAction(st->standardIcon(QStyle::SP_DialogHelpButton), QStringLiteral("Support"));
    support->setObjectName(QStringLiteral("toolSupport"));
    connect(support, &QAction::triggered, this, [] { links::openSupportMail(); });
    mirror("toolHelp", "menuhelpcontents", QStyle::SP_TitleBarContextHelpButton, QStringLiteral("Help"));
}

QAction* Hoofdform::action(const QString& name) const
{
    return findChild<QAction*>(name);
}

void Hoofdform::updateFormatChecks()
{
    const ProgramSettings& s = settings();
    for (const ExportFormat& f : formats::all())
        action(QLatin1String(f.menuName))->setChecked(s.*f.selected);
}

void Hoofdform::showLocation(QChar letter)
{
    state().formatLetter = letter;
    location window(this);
    window.exec();
    // A triggered checkable item toggles itself; the switch decides.
    updateFormatChecks();
}

QMdiSubWindow* Hoofdform::showChild(QWidget* window, bool maximized)
{
    QMdiSubWindow* frame = mdi_->addSubWindow(window);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    if (maximized)
        frame->showMaximized();
    else
        frame->show();
    return frame;
}

void Hoofdform::showCurrentDownload()
{
    showMaximized();
    // One downloader at a time: a second click brings the open one forward.
    for (QMdiSubWindow* frame : mdi_->subWindowList()) {
        if (qobject_cast<Autodownload*>(frame->widget())) {
            mdi_->setActiveSubWindow(frame);
            frame->showMaximized();
            return;
        }
    }
    showChild(new Autodownload, true);
}

void Hoofdform::showAbout()
{
    frmSplash about(this);
    about.exec();
}

void Hoofdform::load()
{
    state().historyStartDate = QDate::currentDate().addDays(-1);
    if (splashDelay_ > 0) {
        frmSplash splash(this);
        splash_ = &splash;
        timer1_->start(splashDelay_);
        splash.exec();
        timer1_->stop();
        splash_ = nullptr;
        QApplication::processEvents();
    }
    runStartup();
    if (QString error; !livehosts::resolve(&error))
        msgBox(QStringLiteral("The built-in quote gateway cannot start: ") + error, Icon::Critical);
    updateFormatChecks();
    show();
}

void Hoofdform::closeEvent(QCloseEvent* event)
{
    state().refusedToClose = false;
    // A child that must stay open (a running download) refuses its close and
    // sets the flag; then the program keeps running.
    for (QMdiSubWindow* child : mdi_->subWindowList()) {
        if (!child->close())
            state().refusedToClose = true;
    }
    if (state().refusedToClose) {
        event->ignore();
        return;
    }
    event->accept();
}
