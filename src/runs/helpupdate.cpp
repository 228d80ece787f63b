#include "runs/helpupdate.h"

#include "runs/updates.h"
#include "support/help.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

bool HelpFilesUpdate::DownloadFile(const QString& url, const QString& localPath)
{
    if (status)
        status(QStringLiteral("Downloading"), localPath);
    const QByteArray body = updates::fetchFile(url);
    if (body.isEmpty())
        return false;
    QSaveFile file(localPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(body);
    return file.commit();
}

bool HelpFilesUpdate::acceptableName(const QString& name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.startsWith(QLatin1Char('.')) && !name.contains(QChar(0));
}

HelpFilesUpdate::Result HelpFilesUpdate::run()
{
    Result result;
    result.version = settings().helpversion;
    const QString base = help::onlineBase();
    const QString folder = help::updateFolder();
    if (base.isEmpty() || !QDir().mkpath(folder)) {
        result.failed = QStringLiteral("list.txt");
        return result;
    }
    const QString listFile = folder + QStringLiteral("/List.txt");
    if (!DownloadFile(base + QStringLiteral("list.txt"), listFile)) {
        result.failed = QStringLiteral("list.txt");
        return result;
    }
    QFile list(listFile);
    if (!list.open(QIODevice::ReadOnly)) {
        result.failed = QStringLiteral("list.txt");
        return result;
    }
    const QString text = QString::fromLatin1(list.readAll());
    list.close();
    for (QString name : text.split(QStringLiteral("\r\n"))) {
        name.remove(QLatin1Char('\n'));
        name.remove(QLatin1Char('\r'));
        name = name.trimmed();
        if (name.size() <= 2)
            continue;
        if (!acceptableName(name) || !DownloadFile(base + name, folder + QLatin1Char('/') + name)) {
            result.failed = name;
            return result;
        }
    }
    QFile versionFile(folder + QStringLiteral("/help.txt"));
    if (versionFile.open(QIODevice::ReadOnly)) {
        const std::optional<double> number = textconv::leadingNumber(QString::fromLatin1(versionFile.read(64)));
        if (number && *number >= 0 && *number < 2147483648.0) {
            result.version = static_cast<int>(*number);
            settings().helpversion = result.version;
            store::write(QStringLiteral("helpversion"), QString::number(result.version));
        }
    }
    result.ok = true;
    return result;
}
