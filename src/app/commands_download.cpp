#include "app/commands_download.h"

#include "app/commands_history.h"
#include "app/headless.h"
#include "database/lists.h"
#include "runs/currentreport.h"
#include "runs/currentrun.h"
#include "support/state.h"
#include "support/textconv.h"
#include "support/toplevel.h"
#include "windows/runrecord.h"

#include <QCoreApplication>

namespace {
const char kUsage[] = "usage: download current [--list N | --lists N,M,...]\n";

bool parseList(const QString& text, int* n)
{
    const auto value = textconv::toInteger(text, 1, 16);
    if (!value)
        return false;
    *n = static_cast<int>(*value);
    return true;
}
}  // namespace

ListArgument parseListArgument(HeadlessContext& c, int* i, int* list, QVector<int>* several)
{
    const QString& a = c.args[*i];
    if (a == QLatin1String("--list") && *i + 1 < c.args.size() && parseList(c.args[*i + 1], list)) {
        ++*i;
        return ListArgument::Parsed;
    }
    if (a != QLatin1String("--lists") || *i + 1 >= c.args.size())
        return ListArgument::NoMatch;
    for (const QString& part : c.args[++*i].split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        int n = 0;
        if (!parseList(part, &n)) {
            c.err << "Not a list number from 1 to 16: " << part << '\n';
            return ListArgument::Bad;
        }
        *several << n;
    }
    return several->isEmpty() ? ListArgument::NoMatch : ListArgument::Parsed;
}

int cmdDownload(HeadlessContext& c)
{
    if (!c.args.isEmpty() && c.args[0] == QLatin1String("history"))
        return cmdDownloadHistory(c);
    if (c.args.isEmpty() || c.args[0] != QLatin1String("current")) {
        c.err << kUsage;
        return 2;
    }
    int list = 0;
    QVector<int> several;
    for (int i = 1; i < c.args.size(); ++i) {
        const ListArgument parsed = parseListArgument(c, &i, &list, &several);
        if (parsed == ListArgument::Bad)
            return 2;
        if (parsed == ListArgument::NoMatch) {
            c.err << kUsage;
            return 2;
        }
    }
    if (list && !several.isEmpty()) {
        c.err << kUsage;
        return 2;
    }
    if (!headlessStartup(c, true))
        return 1;

    CurrentRun run;
    chooseLists(run, list, several);
    run.listCaption = lists::chooserCaption(run.list);

    QObject::connect(&run, &CurrentRun::panel1Changed, [&c](const QString& text) {
        if (!text.isEmpty()) {
            c.out << text << '\n';
            c.out.flush();
        }
    });
    // The command's one event loop turns until the run has ended.
    QObject::connect(&run, &CurrentRun::finished, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    run.start();
    runTopLevel();
    const CurrentRunSummary& sum = run.summary();
    if (sum.busy || sum.nothingToDo)
        return downloadExitStatus(sum);
    runrecord::note(false, sum.outcome());  // for the start page

    c.out << "symbols: " << sum.symbols << '\n';
    c.out << "requests: " << sum.batches << ", failed: " << sum.failedBatches << '\n';
    c.out << "quotes downloaded: " << sum.quotesReceived << '\n';
    printWritten(c.out, sum.written, sum.writeFailures);
    CurrentReport report;
    report.load();
    c.out << "failed: " << report.failed.join(QLatin1Char(' ')) << '\n';
    c.out << "not found: " << report.notFound.join(QLatin1Char(' ')) << '\n';
    c.out << "rejected: " << report.rejected.join(QLatin1Char(' ')) << '\n';
    c.out << "changed: " << sum.changed.join(QStringLiteral(", ")) << '\n';
    if (sum.findings)
        c.out << "findings of the integrity check: " << sum.findings << " (see report current)\n";
    if (!sum.keptFiles.isEmpty())
        c.out << "not renamed (a file of the new ticker exists): " << sum.keptFiles.join(QLatin1Char(' ')) << '\n';
    if (!sum.gaps.isEmpty())
        c.out << "gaps:\n  " << sum.gaps.join(QStringLiteral("\n  ")) << '\n';
    for (const QString& note : sum.notes)
        c.out << note << '\n';
    c.out << sum.outcome() << '\n';
    return downloadExitStatus(sum, static_cast<int>(report.failed.size() + report.notFound.size()));
}
