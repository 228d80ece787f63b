// The main window's part in list management and symbol search: opening the
// windows, their right-click menus, and the hand-over from one to the other.
#include "app/hoofdform.h"

#include "app/popupmenus.h"
#include "support/state.h"
#include "windows/browser.h"
#include "windows/chartwindow.h"
#include "windows/marketform.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <algorithm>

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

// The grid windows want room: most of the work area, still a window of
// it that the user can move, shrink or maximise.
void showLarge(QMdiSubWindow* frame)
{
    const QSize area = frame->mdiArea()->viewport()->size();
    frame->resize(std::max(frame->width(), area.width() * 9 / 10), std::max(frame->height(), area.height() * 9 / 10));
    frame->move(area.width() / 20, area.height() / 20);
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
    connect(form, &marketform::chartRequested, this, &Hoofdform::openChart);
    showLarge(showChild(form));
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
    showLarge(showChild(window));
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

ChartWindow* Hoofdform::openChart(const QString& ticker)
{
    auto* window = new ChartWindow(ticker);
    showChild(window);
    window->setFocus();
    return window;
}
