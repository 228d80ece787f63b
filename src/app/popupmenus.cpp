#include "app/popupmenus.h"

#include "support/help.h"
#include "windows/browser.h"
#include "windows/marketform.h"
#include "windows/symbolgrid.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

namespace {
constexpr int kLists = 16;

// The chosen ticker when exactly one row is chosen, else empty; written so
// that an "&" in a ticker shows as itself in a caption.
QString single(const QStringList& tickers)
{
    return tickers.size() == 1 ? QString(tickers.first()).replace(QLatin1Char('&'), QStringLiteral("&&")) : QString();
}
}  // namespace

PopupMenus::PopupMenus(QWidget* owner) : QObject(owner), owner_(owner)
{
    // popmenu1: the market grid.
    QMenu* m1 = newMenu("popmenu1");
    connect(item(m1, "menuaddselected", QStringLiteral("Add selected to list")), &QAction::triggered, this, [this] {
        if (form_)
            form_->Command1(0);
    });
    connect(item(m1, "menuAddall", QStringLiteral("Add all to list")), &QAction::triggered, this, [this] {
        if (form_)
            form_->Command1(1);
    });
    connect(item(m1, "menuRemovefromdatabase", QStringLiteral("Remove selected from database")), &QAction::triggered,
            this, [this] {
                if (form_)
                    form_->verwijdervandatabase();
            });
    m1->addSeparator()->setObjectName(QStringLiteral("za"));
    connect(item(m1, "menuviewcomponents", QStringLiteral("&View components")), &QAction::triggered, this, [this] {
        if (form_)
            form_->commandview();
    });
    m1->addSeparator()->setObjectName(QStringLiteral("menustreepje"));
    connect(item(m1, "menuAddhelp", QStringLiteral("Help")), &QAction::triggered, this,
            [] { help::ShowHelp(QStringLiteral("Listmanagment.htm")); });

    // popmenu2: the list grid.
    QMenu* m2 = newMenu("popmenu2");
    listSubmenus_ << listSubmenu(m2, "menucopyselected", QStringLiteral("Copy selected to"), "menucopyselectedtolist",
                                 false, false)
                  << listSubmenu(m2, "menucopyall", QStringLiteral("Copy all to"), "menucopyalltolist", true, false)
                  << listSubmenu(m2, "menumoveselected", QStringLiteral("Move selected to"), "menumoveselectedtolist",
                                 false, true)
                  << listSubmenu(m2, "menumoveall", QStringLiteral("Move all to"), "menumovealltolist", true, true);
    connect(item(m2, "menuRemoveselected", QStringLiteral("Remove selected from list")), &QAction::triggered, this,
            [this] {
                if (form_)
                    form_->Command1(3);
            });
    connect(item(m2, "menuRemoveall", QStringLiteral("Remove all from list")), &QAction::triggered, this, [this] {
        if (form_)
            form_->Command1(2);
    });
    m2->addSeparator()->setObjectName(QStringLiteral("menuchartline"));
    connect(item(m2, "menuChart", QStringLiteral("Show &chart")), &QAction::triggered, this, [this] {
        if (form_)
            form_->showChart();
    });
    connect(item(m2, "menuRemovehelp", QStringLiteral("Help")), &QAction::triggered, this,
            [] { help::ShowHelp(QStringLiteral("Listmanagment.htm")); });

    // popmenu3: the search results.
    QMenu* m3 = newMenu("popmenu3");
    QMenu* add3 = m3->addMenu(QStringLiteral("&Add Selected to"));
    add3->setObjectName(QStringLiteral("menubrowseradd"));
    connect(item(add3, "menuBrowseraddselected", QStringLiteral("&Database")), &QAction::triggered, this, [this] {
        if (browser_)
            browser_->addSelected();
    });
    for (int n = 1; n <= kLists; ++n) {
        // The eighth item has always carried this name.
        const QByteArray name = n == 8 ? QByteArray("menuBrowserlist18") : "menuBrowserlist" + QByteArray::number(n);
        connect(item(add3, name.constData(), QStringLiteral("List %1").arg(n)), &QAction::triggered, this, [this, n] {
            if (browser_)
                browser_->lijsttoevoegen2(n);
        });
    }
    connect(item(m3, "menuBrowserhelp", QStringLiteral("Help")), &QAction::triggered, this,
            [] { help::ShowHelp(QStringLiteral("Ticker.htm")); });

    // popmenu4: the local results.
    QMenu* m4 = newMenu("popmenu4");
    QMenu* add4 = m4->addMenu(QStringLiteral("&Add Selected to"));
    add4->setObjectName(QStringLiteral("menuaddselectedto"));
    for (int n = 1; n <= kLists; ++n) {
        const QByteArray name = "menuList" + QByteArray::number(n);
        connect(item(add4, name.constData(), QStringLiteral("List %1").arg(n)), &QAction::triggered, this, [this, n] {
            if (browser_)
                browser_->lijsttoevoegen(n);
        });
    }
    m4->addSeparator()->setObjectName(QStringLiteral("wdfr"));
    connect(item(m4, "menu4Help", QStringLiteral("&Help")), &QAction::triggered, this, [] { help::ShowHelp(); });
}

PopupMenus::~PopupMenus() = default;

QMenu* PopupMenus::newMenu(const char* name)
{
    auto* m = new QMenu(owner_);
    m->setObjectName(QLatin1String(name));
    for (QMenu*& slot : menus_) {
        if (!slot) {
            slot = m;
            break;
        }
    }
    return m;
}

QAction* PopupMenus::item(QMenu* menu, const char* name, const QString& caption)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    return a;
}

QMenu* PopupMenus::listSubmenu(QMenu* parent, const char* name, const QString& caption, const char* itemPrefix,
                               bool all, bool move)
{
    QMenu* sub = parent->addMenu(caption);
    sub->setObjectName(QLatin1String(name));
    for (int n = 1; n <= kLists; ++n) {
        const QByteArray itemName = QByteArray(itemPrefix) + QByteArray::number(n);
        QAction* a = item(sub, itemName.constData(), QStringLiteral("List %1").arg(n));
        a->setData(n);
        connect(a, &QAction::triggered, this, [this, n, all, move] {
            if (form_)
                form_->kopieernaarlijst(n, all, move);
        });
    }
    return sub;
}

QMenu* PopupMenus::prepareMarketMenu(marketform* form)
{
    form_ = form;
    const QString ticker = single(form->gridfondsen()->selectedTickers());
    const int n = form->currentList();
    QMenu* m = menu(1);
    m->findChild<QAction*>(QStringLiteral("menuaddselected"))
        ->setText(ticker.isEmpty() ? QStringLiteral("Add Selected to list")
                                   : QStringLiteral("Add %1 to list %2").arg(ticker).arg(n));
    m->findChild<QAction*>(QStringLiteral("menuRemovefromdatabase"))
        ->setText(ticker.isEmpty() ? QStringLiteral("Remove Selected from database")
                                   : QStringLiteral("Remove %1 from database").arg(ticker));
    // The list actions do not exist in the view-components layout.
    for (const char* name : {"menuaddselected", "menuAddall"})
        m->findChild<QAction*>(QLatin1String(name))->setVisible(!form->viewComponentsMode());
    m->findChild<QAction*>(QStringLiteral("menuviewcomponents"))
        ->setEnabled(form->marketName() == QLatin1String("Indices"));
    return m;
}

QMenu* PopupMenus::prepareListMenu(marketform* form)
{
    form_ = form;
    const QString ticker = single(form->gridlijst()->selectedTickers());
    QMenu* m = menu(2);
    m->findChild<QAction*>(QStringLiteral("menuRemoveselected"))
        ->setText(ticker.isEmpty() ? QStringLiteral("Remove selected from list")
                                   : QStringLiteral("Remove %1 from list").arg(ticker));
    listSubmenus_[0]->setTitle(ticker.isEmpty() ? QStringLiteral("Copy selected to")
                                                : QStringLiteral("Copy %1 to").arg(ticker));
    listSubmenus_[2]->setTitle(ticker.isEmpty() ? QStringLiteral("Move selected to")
                                                : QStringLiteral("Move %1 to").arg(ticker));
    // The chart is of one symbol: the first of a selection.
    const QStringList chosen = form->gridlijst()->selectedTickers();
    QAction* chart = m->findChild<QAction*>(QStringLiteral("menuChart"));
    chart->setEnabled(!chosen.isEmpty());
    chart->setText(chosen.isEmpty() ? QStringLiteral("Show &chart")
                                    : QStringLiteral("Show &chart of %1").arg(single({chosen.first()})));
    // A list cannot be copied or moved onto itself.
    for (QMenu* sub : listSubmenus_) {
        for (QAction* a : sub->actions())
            a->setEnabled(a->data().toInt() != form->currentList());
    }
    return m;
}

QMenu* PopupMenus::prepareBrowserMenu(browser* window, int popup)
{
    browser_ = window;
    const QString ticker = single({window->singleChosenTicker(popup)});
    QMenu* m = menu(popup);
    QMenu* add =
        m->findChild<QMenu*>(popup == 3 ? QStringLiteral("menubrowseradd") : QStringLiteral("menuaddselectedto"));
    add->setTitle(ticker.isEmpty() ? QStringLiteral("&Add Selected to") : QStringLiteral("Add %1 to").arg(ticker));
    return m;
}

void PopupMenus::show(QObject* window, int which, const QPoint& pos)
{
    QMenu* m = nullptr;
    if (auto* form = qobject_cast<marketform*>(window))
        m = which == 1 ? prepareMarketMenu(form) : which == 2 ? prepareListMenu(form) : nullptr;
    else if (auto* b = qobject_cast<browser*>(window))
        m = which == 3 || which == 4 ? prepareBrowserMenu(b, which) : nullptr;
    if (m)
        m->popup(pos);
}
