#pragma once

#include <QMainWindow>
#include <memory>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class PopupMenus;
class QStackedWidget;
class StartPage;
class ChartWindow;
class browser;
class frmSplash;
class LiveHosts;
class marketform;

// The main window: a multiple-document window whose menus and toolbar open
// every other window.
class Hoofdform : public QMainWindow {
    Q_OBJECT
public:
    explicit Hoofdform(QWidget* parent = nullptr);
    ~Hoofdform() override;

    // The start-up sequence: splash (closed by its button or after the splash
    // delay), the start-up routine, the format check marks, then show() and
    // `loaded`. After a splash the rest follows from the event loop, so that
    // the splash is gone from the screen before the start-up routine runs;
    // without one, `loaded` has come when load() returns.
    void load();

    // Milliseconds the splash stays up unless closed; tests shorten it.
    void setSplashDelay(int ms) { splashDelay_ = ms; }

    // A menu item or toolbar action by its object name.
    QAction* action(const QString& name) const;
    QMdiArea* mdiArea() const { return mdi_; }
    // Shown while no window is open.
    StartPage* startPage() const { return startPage_; }
    // Shows the start page when no window is open, else the work area.
    void updateStartPage();

    // Sets the check marks of the export-format items from the switches.
    void updateFormatChecks();

    // The Export format items: the location window for `letter`, modal.
    void showLocation(QChar letter);

    // Shows `window` in the document area, at its natural size unless
    // `maximized`, and returns its frame.
    QMdiSubWindow* showChild(QWidget* window, bool maximized = false);

    void showAbout();
    // Closes every other window, then opens the compaction window.
    void showCompact();
    // Opens the current-quote downloader (or brings the open one forward).
    void showCurrentDownload();

    // Opens the list management window, or its view-components layout;
    // an open one of either kind is closed first.
    marketform* openListManagement(bool viewComponents);
    // Opens a symbol search window.
    browser* openSearch();
    // Shows the members of `index` in a new search window, after closing the
    // open search and member windows.
    browser* viewComponents(const QString& index);
    // Opens the chart of `ticker` as the export files hold it.
    ChartWindow* openChart(const QString& ticker);
    // The right-click menus of the list and search windows.
    PopupMenus* popups() const { return popups_; }

signals:
    // A window of the work area opened or closed.
    void childrenChanged();
    // load() has shown the window.
    void loaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void restoreSavedGeometry();
    void finishLoad();
    void buildWindowMenu();
    void updateWindowMenu();
    QAction* addItem(QMenu* menu, const char* name, const QString& caption, bool available = true);
    void buildMenus();
    void buildToolbar();

    QMdiArea* mdi_;
    QMenu* exportFormatMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QStackedWidget* central_ = nullptr;
    StartPage* startPage_ = nullptr;
    QTimer* timer1_;
    frmSplash* splash_ = nullptr;
    PopupMenus* popups_ = nullptr;
    int splashDelay_ = 3000;
    std::unique_ptr<LiveHosts> liveHosts_;  // the built-in gateway, while the window lives
};
