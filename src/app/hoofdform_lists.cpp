// The main window's part in list management and symbol search: opening the
// windows, their right-click menus, and the hand-over from one to the other.
#include "app/hoofdform.h"

#include "app/popupmenus.h"
#include "support/state.h"
#include "windows/browser.h"
#include "windows/marketform.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

// Closes every child window whose caption `matches`.
template <typename Match>
void closeChildren(QMdiArea* area, Match matches)
{
    for (QMdiSubWindow* frame : area->subWindowList()) {
        if (frame->widget() && matches(frame->widget()->windowTitle()))
            frame->close();
    }
}

}  // namespace

marketform* Hoofdform::openListManagement(bool viewComponentsLayout)
{
    closeChildren(mdiArea(), [](const QString& caption) {
        return caption == QLatin1String("List management") || caption == QLatin1String("View components");
    });
    state().viewComponents = viewComponentsLayout;
    auto* form = new marketform(viewComponentsLayout);
    connect(form, &marketform::popupRequested, this,
            [this, form](int grid, const QPoint& pos) { popups_->show(form, grid, pos); });
    connect(form, &marketform::viewComponentsRequested, this, &Hoofdform::viewComponents);
    showMaximized();
    showChild(form, true);
    return form;
}

browser* Hoofdform::openSearch()
{
    auto* window = new browser;
    connect(window, &browser::popupRequested, this,
            [this, window](int popup, const QPoint& pos) { popups_->show(window, popup, pos); });
    connect(window, &browser::listsChanged, this, [this] {
        for (QMdiSubWindow* frame : mdiArea()->subWindowList()) {
            if (auto* form = qobject_cast<marketform*>(frame->widget()))
                form->lijstenvullen();
        }
    });
    showMaximized();
    showChild(window);
    return window;
}

browser* Hoofdform::viewComponents(const QString& index)
{
    closeChildren(mdiArea(), [](const QString& caption) {
        return caption.startsWith(QLatin1Char('^')) || caption == QLatin1String("Search Symbol");
    });
    browser* window = openSearch();
    window->showComponents(index);
    return window;
}
