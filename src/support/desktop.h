#pragma once

#include <QUrl>
#include <functional>

// Opens web pages, local help pages and mail addresses in the user's desktop
// programs. The core asks here; the GUI installs the desktop services, tests
// install a recorder.
namespace desktop {

using Opener = std::function<bool(const QUrl& url)>;

// Installs `opener`; an empty one restores the default, which hands the URL
// to xdg-open when a graphical session is present and otherwise opens nothing.
void setOpener(Opener opener);

// True when the URL was handed to a program that opens it.
bool openUrl(const QUrl& url);

// A graphical session is present (X11 or Wayland).
bool sessionPresent();

}  // namespace desktop
