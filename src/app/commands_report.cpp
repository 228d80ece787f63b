#include "app/commands_report.h"

#include "app/commands_history.h"
#include "app/headless.h"
#include "runs/currentreport.h"

namespace {

void printList(QTextStream& out, const char* heading, const QStringList& tickers)
{
    out << heading << '\n';
    for (const QString& ticker : tickers)
        out << "  " << ticker << '\n';
}

}  // namespace

void printFindings(QTextStream& out, const QVector<bookkeeping::FindingRow>& rows,
                   const QVector<findingsreport::RepairedDay>& repaired)
{
    out << "Findings:\n";
    for (const bookkeeping::FindingRow& row : rows)
        out << "  " << row.line() << '\n';
    if (repaired.isEmpty())
        return;
    out << "Repaired days (as sent; as written):\n";
    for (const findingsreport::RepairedDay& day : repaired)
        out << "  " << day.line() << '\n';
}

int cmdReport(HeadlessContext& c)
{
    if (c.args == QStringList{QStringLiteral("history")})
        return cmdReportHistory(c);
    if (c.args != QStringList{QStringLiteral("current")}) {
        c.err << "usage: report current|history\n";
        return 2;
    }
    if (!headlessStartup(c))
        return 1;
    CurrentReport report;
    report.load();
    printList(c.out, "Failed (not downloaded):", report.failed);
    printList(c.out, "Not found:", report.notFound);
    c.out << "Changed:\n";
    for (const CurrentReport::Change& change : report.changed)
        c.out << "  " << change.oldTicker << " -> " << change.newTicker << '\n';
    printList(c.out, "Rejected:", report.rejected);
    printFindings(c.out, report.findings, report.repaired);
    if (!report.gaps.isEmpty())
        printList(c.out, qPrintable(CurrentReport::gapsText()), report.gaps);
    return 0;
}
