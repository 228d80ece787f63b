#include "app/commands_maintenance.h"

#include "app/headless.h"
#include "database/compact.h"
#include "runs/helpupdate.h"
#include "runs/updates.h"
#include "support/desktop.h"
#include "support/help.h"
#include "support/paths.h"
#include "support/toplevel.h"

int cmdCompact(HeadlessContext& c)
{
    if (!c.args.isEmpty()) {
        c.err << "compact takes no arguments\n";
        return 2;
    }
    // No start-up routine: it would create a database that is missing.
    QString error;
    if (!paths::ensureDataFolder(&error)) {
        c.err << error << '\n';
        return 1;
    }
    if (!compaction::compactDatabase())
        return 1;  // the failure was shown on stderr
    c.out << "Database Compact/Repair Succeeded\n";
    return 0;
}

int cmdHelp(HeadlessContext& c)
{
    if (c.args.size() > 1) {
        c.err << "usage: help [PAGE]\n";
        return 2;
    }
    const QString page = c.args.isEmpty() ? help::indexPage() : help::canonicalPage(c.args.first());
    if (page.isEmpty()) {
        c.err << "Unknown help page: " << c.args.first()
              << "\nThe help pages are: " << help::pageNames().join(QStringLiteral(", ")) << '\n';
        return 1;
    }
    const QUrl url = help::pageUrl(page);
    if (url.isEmpty()) {
        c.err << "The help page " << page << " is not installed and no online help is set (HelpHost)\n";
        return 1;
    }
    c.out << (url.isLocalFile() ? url.toLocalFile() : url.toString()) << '\n';
    if (desktop::sessionPresent())
        desktop::openUrl(url);
    return 0;
}

int cmdCheckUpdate(HeadlessContext& c)
{
    if (!c.args.isEmpty()) {
        c.err << "check-update takes no arguments\n";
        return 2;
    }
    headlessStartup(c);  // the request time-out; the built-in one without a database
    updates::UpdateCheck asking;
    runUntil(&asking, &updates::UpdateCheck::finished, [&asking] { asking.start(); });
    const updates::Check& result = asking.result();
    switch (result.outcome) {
    case updates::Check::Outcome::NoServer:
        c.out << "No update server is set (UpdateHost in " << paths::settingsFile() << ")\n";
        return kExitNoServer;
    case updates::Check::Outcome::Failed:
        c.err << "The update server could not be asked: " << result.failure << '\n';
        return 1;
    case updates::Check::Outcome::NothingNewer:
        c.out << "No Updates available yet\n";
        return 0;
    case updates::Check::Outcome::Newer:
        c.out << "There is a new version of Quotaris: " << result.offered << '\n';
        return 0;
    }
    return 1;
}

int cmdHelpUpdate(HeadlessContext& c)
{
    if (!c.args.isEmpty()) {
        c.err << "help-update takes no arguments\n";
        return 2;
    }
    headlessStartup(c);
    if (help::onlineBase().isEmpty()) {
        c.out << "No help server is set (HelpHost in " << paths::settingsFile() << ")\n";
        return kExitNoServer;
    }
    updates::HelpVersionCheck asking;
    runUntil(&asking, &updates::HelpVersionCheck::finished, [&asking] { asking.start(); });
    if (asking.newer() == 0) {
        c.out << "There are no newer helpfiles available\n";
        return 0;
    }
    HelpFilesUpdate update;
    update.status = [&c](const QString& what, const QString& file) { c.out << what << ' ' << file << '\n'; };
    runUntil(&update, &HelpFilesUpdate::finished, [&update] { update.start(); });
    const HelpFilesUpdate::Result& result = update.result();
    if (!result.ok) {
        c.err << "Download file " << result.failed << " failed\n";
        return 1;
    }
    c.out << "Helpfiles are updated (version " << result.version << ")\n";
    return 0;
}
