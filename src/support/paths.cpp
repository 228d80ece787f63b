#include "support/paths.h"

#include <QDir>
#include <QFileInfo>

namespace paths {
namespace {
QString& overrideFolder()
{
    static QString folder;
    return folder;
}

QString envPath(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(value).absoluteFilePath());
}
}  // namespace

void setDataFolderOverride(const QString& folder)
{
    overrideFolder() = folder.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

QString dataFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    const QString env = envPath("QUOTARIS_HOME");
    if (!env.isEmpty())
        return env;
    return QDir::homePath() + QStringLiteral("/.local/share/Quotaris");
}

bool ensureDataFolder(QString* error)
{
    const QString folder = dataFolder();
    QFileInfo info(folder);
    if (info.isDir())
        return true;
    if (info.exists()) {
        if (error)
            *error = QStringLiteral("The data folder %1 is not a folder").arg(folder);
        return false;
    }
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("Unable to create the data folder %1").arg(folder);
        return false;
    }
    return true;
}

QString dataFile(const QString& name) { return dataFolder() + QLatin1Char('/') + name; }

QString databaseFile() { return dataFile(QStringLiteral("quotaris.qrd")); }

QString logFile() { return dataFile(QStringLiteral("quotaris.log")); }

QString settingsFile()
{
    QString base = envPath("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Quotaris/Quotaris.conf");
}

QString fallbackFolder() { return withTrailingSlash(QDir::homePath()); }

QString withTrailingSlash(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

}  // namespace paths
