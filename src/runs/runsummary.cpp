#include "runs/runsummary.h"

#include "support/log.h"
#include "support/messages.h"

#include <QLocale>

QString RunSummary::problem() const
{
    if (!serviceProblem.isEmpty())
        return serviceProblem;
    if (QString p = fetches.problem(); !p.isEmpty())
        return p;
    if (quotesReceived == 0 && fetches.answered() > 0)
        return QStringLiteral("the quote service answered, but had no quotes for the symbols and dates asked");
    return {};
}

QString RunSummary::count(qint64 n) { return QLocale(QLocale::English).toString(n); }

QString RunSummary::writtenText() const
{
    return QStringLiteral("%1 of %2 written").arg(count(symbolsWritten), count(symbols));
}

QString RunSummary::head() const
{
    if (aborted)
        return QStringLiteral("Download abborted by user");
    if (serviceFailed())
        return QStringLiteral("Download failed");
    if (totalWritten() == 0 && quotesReceived > 0)
        return QStringLiteral("No quotes could be written");
    return QStringLiteral("Download finished");
}

QString RunSummary::outcome() const
{
    if (nothingToDo)
        return {};
    QStringList parts{writtenText()};
    if (notFound > 0)
        parts << QStringLiteral("%1 not found").arg(count(notFound));
    const QString errors = downloadErrors();
    if (failedSymbols > 0)
        parts << QStringLiteral("%1 failed").arg(count(failedSymbols)) +
                     (errors.isEmpty() ? QString() : QStringLiteral(" (") + errors + QLatin1Char(')'));
    else if (!errors.isEmpty())
        parts << errors;
    if (rejected > 0)
        parts << QStringLiteral("%1 rejected").arg(count(rejected));
    if (writeFailures > 0)
        parts << QStringLiteral("%1 quotes could not be written to every format").arg(count(writeFailures));
    for (const QString& format : leftOut)
        parts << format + QStringLiteral(" left out (its folder cannot be written in)");
    QString text = head() + QStringLiteral(": ") + parts.join(QStringLiteral("; "));
    if (notFound + failedSymbols + rejected > 0)
        text += QStringLiteral(" (see the report)");
    // A write failure with every answer usable is not the service's fault;
    // a stopped run's requests ended because of the stop.
    if (aborted)
        return text;
    const QString why = problem();
    if (!why.isEmpty())
        text += QStringLiteral(": ") + why;
    else if (serviceFailed())
        text += QStringLiteral(": the quote service gave no usable answer");
    return text;
}

void refuseBusy(const QString& refusal, bool scheduled, RunSummary& summary,
                const std::function<void(const QString&)>& show)
{
    summary.busy = summary.nothingToDo = true;
    WriteLog(refusal);
    show(refusal);
    if (!scheduled)
        msgBox(refusal);
}
