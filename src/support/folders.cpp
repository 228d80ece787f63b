#include "support/folders.h"

#include "support/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <cerrno>

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

QString unusable(const QString& folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return QStringLiteral("missing");
    QFile probe(paths::withTrailingSlash(folder) + QStringLiteral("testx.tst"));
    const bool existed = probe.exists();
    errno = 0;
    if (!probe.open(existed ? QIODevice::ReadWrite : (QIODevice::WriteOnly | QIODevice::NewOnly))) {
        const int error = errno;
        if (error == ENOSPC || error == EDQUOT)
            return QStringLiteral("full");
        if (!QFileInfo(folder).isDir())
            return QStringLiteral("missing");
        return QStringLiteral("read-only");
    }
    probe.close();
    if (!existed)
        probe.remove();
    // A probe of no bytes fits on a full disk; a quote file does not.
    constexpr qint64 kRoom = 256 * 1024;
    const QStorageInfo volume(folder);
    if (volume.isValid() && volume.bytesAvailable() >= 0 && volume.bytesAvailable() < kRoom)
        return QStringLiteral("full");
    return {};
}

QString leftOutText(const QString& formatName, const QString& folder, const QString& why)
{
    return QStringLiteral("%1 not written: the folder %2 is %3 (the setting is kept)").arg(formatName, folder, why);
}

QString stockguruProbe()
{
    const QString folder = QDir::homePath() + QStringLiteral("/stockguru/stocks/");
    return canCreateFileIn(folder, QStringLiteral("test.tst")) ? folder : paths::fallbackFolder();
}

}  // namespace folders
