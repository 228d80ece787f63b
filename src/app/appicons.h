#pragma once

#include <QIcon>

// The icons of the main window: the desktop's icon theme where it has the
// freedesktop name, else a fallback that ships with the program (the
// style's own standard icons, and a drawn program icon), so that no button
// is blank and no window shows the toolkit's logo.
namespace appicons {
QIcon program();
QIcon listManagement();
QIcon search();
QIcon exportFormat();
QIcon currentDownload();
QIcon historicalDownload();
QIcon update();
QIcon homePage();
QIcon support();
QIcon help();
}  // namespace appicons
