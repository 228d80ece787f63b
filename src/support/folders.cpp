#include "support/folders.h"

#include "support/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <cerrno>

namespace folders {

namespace {
// Opens a probe file in `folder` (creating and removing it unless it is
// someone else's file already there): 0, or the errno of the failure
// (ENOTDIR when there is no such folder).
int probe(const QString& folder, const QString& probeName)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return ENOTDIR;
    QFile file(paths::withTrailingSlash(folder) + probeName);
    const bool existed = file.exists();
    errno = 0;
    if (!file.open(existed ? QIODevice::ReadWrite : (QIODevice::WriteOnly | QIODevice::NewOnly)))
        return errno != 0 ? errno : EACCES;
    file.close();
    if (!existed)
        file.remove();
    return 0;
}
}  // namespace

bool canCreateFileIn(const QString& folder, const QString& probeName) { return probe(folder, probeName) == 0; }

QString unusable(const QString& folder)
{
    if (const int error = probe(folder, QStringLiteral("testx.tst")); error != 0) {
        if (error == ENOSPC || error == EDQUOT)
            return QStringLiteral("full");
        return QFileInfo(folder).isDir() ? QStringLiteral("read-only") : QStringLiteral("missing");
    }
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
