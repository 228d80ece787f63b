#include "support/folders.h"

#include "support/messages.h"
#include "support/openfiles.h"
#include "support/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace folders {

bool canCreateFileIn(const QString& folder, const QString& probeName)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    QFile probe(paths::withTrailingSlash(folder) + probeName);
    if (probe.exists())
        return probe.open(QIODevice::ReadWrite);  // someone else's file: leave it be
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    probe.close();
    probe.remove();
    return true;
}

QString folderCheck(const QString& folder)
{
    if (canCreateFileIn(folder, QStringLiteral("testx.tst")))
        return folder;
    const QString fallback = paths::fallbackFolder();
    msgBox(QStringLiteral("The folder ") + folder + QStringLiteral(" has been removed") +
               QStringLiteral("\r\n       New foldername: ") + fallback +
               QStringLiteral("\r\n   Please change it if necessary"),
           Icon::Critical);
    openfiles::closeAll();
    return fallback;
}

QString stockguruProbe()
{
    const QString folder = QDir::homePath() + QStringLiteral("/stockguru/stocks/");
    return canCreateFileIn(folder, QStringLiteral("test.tst")) ? folder : paths::fallbackFolder();
}

}  // namespace folders
