#include "runs/runsummary.h"

#include "support/log.h"
#include "support/messages.h"

QString RunSummary::problem() const
{
    if (!serviceProblem.isEmpty())
        return serviceProblem;
    if (QString p = fetchrecord::problemSince(fetches); !p.isEmpty())
        return p;
    if (quotesReceived == 0 && fetchrecord::answeredSince(fetches) > 0)
        return QStringLiteral("the quote service answered, but had no quotes for the symbols and dates asked");
    return {};
}

QString RunSummary::outcome() const
{
    if (nothingToDo)
        return {};
    QString text;
    if (aborted)
        text = QStringLiteral("Download abborted by user");
    else if (serviceFailed())
        text = QStringLiteral("Download failed");
    else if (totalWritten() == 0)
        text = QStringLiteral("No quotes could be written");
    else if (const QString errors = downloadErrors(); !errors.isEmpty())
        text = QStringLiteral("Download finished with errors: ") + errors;
    else if (writeFailures > 0)
        text = QStringLiteral("Download finished with errors: %1 quotes could not be written").arg(writeFailures);
    else
        return QStringLiteral("Download finished: %1 quotes downloaded").arg(quotesReceived);
    text += QStringLiteral(" (%1 quotes downloaded)").arg(quotesReceived);
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
