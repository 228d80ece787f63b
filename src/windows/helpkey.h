#pragma once

#include <QString>

class QAbstractButton;
class QWidget;

// F1 and the Help buttons. A window names its help page once; F1 typed
// anywhere in the program opens the page of the innermost window that has
// one (inside the main window's document area too), or the index.
namespace helpkey {

// Gives `window` its help page.
void setPage(QWidget* window, const QString& page);

// The page of `widget` or of its nearest parent that has one; empty when
// none has (the index).
QString pageFor(const QWidget* widget);

// Lets F1 open the help pages in the whole program. Installed once; further
// calls do nothing.
void install();

// A Help button: opens `page`.
void connectButton(QAbstractButton* button, const QString& page);

}  // namespace helpkey
