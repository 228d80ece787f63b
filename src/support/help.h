#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// The program's help pages: where they are, and opening one in the browser.
//
// Pages are looked for first in the data folder's help/ (where help-file
// updates go, since the program's own folder is not writable when installed),
// then among the pages installed with the program, and last on the online-help
// server (store key HelpHost, empty unless the user sets it; empty means no
// online help).
namespace help {

QString indexPage();  // "index.htm"

// Every page name a window may pass, index first.
const QStringList& pageNames();

// The page name for `name` as pageNames() spells it, matched without regard
// to case and with ".htm" optional; empty when there is no such page.
QString canonicalPage(const QString& name);

// The pages installed with the program: share/quotaris/help beside the
// executable's folder (installed) or inside it (the build folder). Empty when
// neither exists.
QString installedFolder();
// Tests point the installed pages elsewhere; empty returns to the default.
void setInstalledFolderOverride(const QString& folder);

// The data folder's help/, which takes precedence.
QString updateFolder();

// "http://HOST/onlinehelp/", or empty when HelpHost is set empty.
QString onlineBase();

// The page's file in the first folder that holds it, else its online address
// (an empty URL when there is neither). An empty name is the index.
QUrl pageUrl(const QString& page);

// Opens the page with the desktop's browser; false when it could not. A page
// that is nowhere to be found is reported.
bool ShowHelp(const QString& page = {});

}  // namespace help
