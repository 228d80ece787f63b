#pragma once

#include <QObject>
#include <QPointer>
#include <array>

class QAction;
class QMenu;
class QPoint;
class QWidget;
class browser;
class marketform;

// The four right-click menus of the list management and symbol search
// windows. The main window owns them; before a menu is shown its captions
// are set for the rows chosen in the window it is shown over, and its items
// call back into that window.
class PopupMenus : public QObject {
    Q_OBJECT
public:
    explicit PopupMenus(QWidget* owner);
    ~PopupMenus() override;

    // popmenu1 over the market grid, popmenu2 over the list grid.
    QMenu* prepareMarketMenu(marketform* form);
    QMenu* prepareListMenu(marketform* form);
    // popmenu3 over the result grid, popmenu4 over the local grid.
    QMenu* prepareBrowserMenu(browser* window, int popup);

    // Prepares menu `which` (1 to 4) for the window and pops it up at `pos`.
    void show(QObject* window, int which, const QPoint& pos);

    QMenu* menu(int which) const { return menus_[which - 1]; }  // owned by the owner widget

private:
    QMenu* newMenu(const char* name);
    QAction* item(QMenu* menu, const char* name, const QString& caption);
    QMenu* listSubmenu(QMenu* parent, const char* name, const QString& caption, const char* itemPrefix, bool all,
                       bool move);

    QWidget* owner_;
    std::array<QMenu*, 4> menus_{};
    QPointer<marketform> form_;
    QPointer<browser> browser_;
    QVector<QMenu*> listSubmenus_;  // the four copy and move submenus of popmenu2
};
