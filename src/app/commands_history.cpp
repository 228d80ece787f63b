#include "app/commands_history.h"
#include "app/commands_report.h"

#include "app/commands_download.h"
#include "app/headless.h"
#include "runs/historyreport.h"
#include "runs/historyrun.h"
#include "support/state.h"
#include "support/toplevel.h"
#include "windows/runrecord.h"

#include <QCoreApplication>

namespace {
const char kUsage[] =
    "usage: download history [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--all-data] [--list N | --lists N,M,...]\n"
    "       download history --retry\n";

void printEntries(QTextStream& out, const char* heading, const QVector<HistoryReport::Entry>& entries)
{
    out << heading << '\n';
    for (const HistoryReport::Entry& e : entries)
        out << "  " << e.ticker << ' ' << e.start.toString(Qt::ISODate) << ' ' << e.end.toString(Qt::ISODate) << '\n';
}
}  // namespace

int cmdDownloadHistory(HeadlessContext& c)
{
    const QDate today = QDate::currentDate();
    QDate from, to;
    bool allData = false, retry = false;
    int list = 0;
    QVector<int> several;
    auto date = [&](int i, QDate* d) {
        if (i + 1 >= c.args.size())
            return false;
        *d = QDate::fromString(c.args[i + 1], Qt::ISODate);
        return d->isValid();
    };
    for (int i = 1; i < c.args.size(); ++i) {
        const QString& a = c.args[i];
        if (a == QLatin1String("--from") && date(i, &from)) {
            ++i;
        } else if (a == QLatin1String("--to") && date(i, &to)) {
            ++i;
        } else if (a == QLatin1String("--all-data")) {
            allData = true;
        } else if (a == QLatin1String("--retry")) {
            retry = true;
        } else {
            const ListArgument parsed = parseListArgument(c, &i, &list, &several);
            if (parsed == ListArgument::Bad)
                return 2;
            if (parsed == ListArgument::NoMatch) {
                c.err << kUsage;
                return 2;
            }
        }
    }
    if ((list && !several.isEmpty()) || (retry && (list || !several.isEmpty() || allData))) {
        c.err << kUsage;
        return 2;
    }
    // The window's rules: nothing after today, the end not before the start.
    if (!to.isValid() || allData)
        to = today;
    if (!from.isValid())
        from = today.addDays(-1);
    if (to > today || from > today) {
        c.err << "A date after today: " << (to > today ? to : from).toString(Qt::ISODate) << '\n';
        return 2;
    }
    if (to < from) {
        c.err << "The end date lies before the start date\n";
        return 2;
    }
    if (!headlessStartup(c, true))
        return 1;

    HistoryRun run;
    run.startDate = from;
    run.endDate = to;
    run.allData = allData;
    chooseLists(run, list, several);
    state().historyRetry = retry;

    // The phases, and the progress in steps of a tenth.
    const QStringList phases{QStringLiteral("Setting up connection...."), QStringLiteral("Exporting to PRN..."),
                             QStringLiteral("Disconnecting...")};
    QObject::connect(&run, &HistoryRun::statusChanged, [&c, &phases](int bar, int, const QString& text) {
        if (bar == 1 && phases.contains(text)) {
            c.out << text << '\n';
            c.out.flush();
        }
    });
    // One line per finished symbol, in the order they finish.
    QObject::connect(&run, &HistoryRun::symbolFinished,
                     [&c](const QString& ticker, int finished, int total, const QString& text) {
                         c.out << finished << '/' << total << ' ' << ticker << ": " << text << '\n';
                         c.out.flush();
                     });
    // The command's one event loop turns until the run has ended.
    QObject::connect(&run, &HistoryRun::finished, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    run.start();
    runTopLevel();
    const HistoryRunSummary& sum = run.summary();
    if (sum.busy || sum.nothingToDo)
        return downloadExitStatus(sum);
    runrecord::note(true, sum.outcome());  // for the start page

    c.out << "symbols: " << sum.symbols << '\n';
    c.out << "requests: " << sum.requests << ", failed: " << sum.failedRequests << '\n';
    c.out << "quotes downloaded: " << sum.quotesReceived << '\n';
    printWritten(c.out, sum.written, sum.writeFailures);
    HistoryReport report;
    report.load();
    printEntries(c.out, "failed ranges:", report.notDownloaded);
    printEntries(c.out, "timed out:", report.timedOut);
    if (sum.findings)
        c.out << "findings of the integrity check: " << sum.findings << " (see report history)\n";
    for (const QString& note : sum.notes)
        c.out << note << '\n';
    c.out << sum.outcome() << '\n';
    return downloadExitStatus(sum);
}

int cmdReportHistory(HeadlessContext& c)
{
    if (!headlessStartup(c))
        return 1;
    HistoryReport report;
    report.load();
    printEntries(c.out, "Downloaded:", report.downloaded);
    printEntries(c.out, "Not downloaded:", report.notDownloaded);
    printEntries(c.out, "Timed out:", report.timedOut);
    printFindings(c.out, report.findings, report.repaired);
    return 0;
}
