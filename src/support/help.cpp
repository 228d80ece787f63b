#include "support/help.h"

#include "support/desktop.h"
#include "support/messages.h"
#include "support/paths.h"
#include "support/settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace help {
namespace {
// No online help unless the user names a server.
const QString kDefaultHost;

QString& installedOverride()
{
    static QString folder;
    return folder;
}

// The page's file inside `folder`; file names are compared without regard to
// case, since pages fetched by an update may differ in case from the names.
QString findIn(const QString& folder, const QString& page)
{
    if (folder.isEmpty())
        return {};
    const QString exact = folder + QLatin1Char('/') + page;
    if (QFileInfo(exact).isFile())
        return exact;
    const QStringList entries = QDir(folder).entryList(QDir::Files);
    for (const QString& entry : entries) {
        if (entry.compare(page, Qt::CaseInsensitive) == 0)
            return folder + QLatin1Char('/') + entry;
    }
    return {};
}
}  // namespace

QString indexPage() { return QStringLiteral("index.htm"); }

const QStringList& pageNames()
{
    static const QStringList names = {
        QStringLiteral("index.htm"),
        QStringLiteral("Ticker.htm"),
        QStringLiteral("Listmanagment.htm"),
        QStringLiteral("Exportformat.htm"),
        QStringLiteral("Compact_Repair_Database.htm"),
        QStringLiteral("Download_daily_data.htm"),
        QStringLiteral("Download_current_data.htm"),
        QStringLiteral("Download_historical_data.htm"),
        QStringLiteral("Download_options.htm"),
        QStringLiteral("import_symbols.htm"),
        QStringLiteral("export_symbols.htm"),
        QStringLiteral("listnames.htm"),
        QStringLiteral("currentreport.htm"),
        QStringLiteral("historyreport.htm"),
        QStringLiteral("View_download_report.htm"),
        QStringLiteral("FAQ_Overview.htm"),
        QStringLiteral("Support.htm"),
    };
    return names;
}

QString canonicalPage(const QString& name)
{
    QString wanted = name.trimmed();
    if (!wanted.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive))
        wanted += QLatin1String(".htm");
    for (const QString& page : pageNames()) {
        if (page.compare(wanted, Qt::CaseInsensitive) == 0)
            return page;
    }
    return {};
}

QString installedFolder()
{
    if (!installedOverride().isEmpty())
        return installedOverride();
    const QString exeDir = QCoreApplication::applicationDirPath();
    for (const QString& relative :
         {QStringLiteral("/../share/quotaris/help"), QStringLiteral("/share/quotaris/help")}) {
        const QFileInfo candidate(exeDir + relative);
        if (candidate.isDir())
            return QDir::cleanPath(candidate.absoluteFilePath());
    }
    return {};
}

void setInstalledFolderOverride(const QString& folder) { installedOverride() = folder; }

QString updateFolder() { return paths::dataFile(QStringLiteral("help")); }

QString onlineBase()
{
    const QString host = store::read(QStringLiteral("HelpHost"), kDefaultHost).trimmed();
    if (host.isEmpty())
        return {};
    return QStringLiteral("http://") + host + QStringLiteral("/onlinehelp/");
}

QUrl pageUrl(const QString& page)
{
    const QString name = page.isEmpty() ? indexPage() : page;
    for (const QString& folder : {updateFolder(), installedFolder()}) {
        const QString file = findIn(folder, name);
        if (!file.isEmpty())
            return QUrl::fromLocalFile(file);
    }
    const QString base = onlineBase();
    if (base.isEmpty())
        return {};
    return QUrl(base + name);
}

bool ShowHelp(const QString& page)
{
    const QUrl url = pageUrl(page);
    if (url.isEmpty()) {
        msgBox(QStringLiteral("The help page %1 is not installed.").arg(page.isEmpty() ? indexPage() : page),
               Icon::Information);
        return false;
    }
    return desktop::openUrl(url);
}

}  // namespace help
