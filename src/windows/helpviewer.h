#pragma once

#include "support/desktop.h"

#include <QDialog>
#include <QUrl>

class QTextBrowser;
class QPushButton;

// The program's own help viewer: the shipped help pages in a text browser,
// links followed inside it. Used when no browser of the desktop could be
// started, so that F1 always shows something.
class HelpViewer : public QDialog {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget* parent = nullptr);

    void showPage(const QUrl& url);
    QTextBrowser* browser() const { return browser_; }

    // The one viewer of the program, created when first needed.
    static HelpViewer* instance();

    // An opener that tries `primary` first and, for a help page on disk,
    // falls back to the viewer when `primary` cannot open it.
    static desktop::Opener withFallback(desktop::Opener primary);

private:
    QTextBrowser* browser_;
    QPushButton *back_, *forward_, *home_, *close_;
};
