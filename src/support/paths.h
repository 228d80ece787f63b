#pragma once

#include <QString>

// Where the program keeps its own files. The data folder holds the symbol
// database, the staging files, the log and the help pages.
namespace paths {

// Overrides the data folder for this process (the --home option); an empty
// text returns to the default ($QUOTARIS_HOME, else ~/.local/share/Quotaris).
void setDataFolderOverride(const QString& folder);

// The data folder, absolute, without a trailing separator. Not created here.
QString dataFolder();

// Creates the data folder when missing. Returns false and fills `error`
// when it cannot be created.
bool ensureDataFolder(QString* error);

// A file inside the data folder.
QString dataFile(const QString& name);

QString databaseFile();  // quotaris.qrd
QString logFile();       // quotaris.log

// The per-user settings file ($XDG_CONFIG_HOME/Quotaris/Quotaris.conf).
QString settingsFile();

// The fallback folder for a folder setting that is empty or gone: the
// user's home folder, with a trailing "/".
QString fallbackFolder();

// Appends "/" unless the path already ends with one.
QString withTrailingSlash(const QString& folder);

}  // namespace paths
