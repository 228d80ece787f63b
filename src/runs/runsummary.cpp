#include "runs/runsummary.h"

#include "support/log.h"
#include "support/messages.h"

QString RunSummary::outcome() const
{
    if (nothingToDo)
        return {};
    QString text;
    if (aborted)
        text = QStringLiteral("Download abborted by user");
    else if (serviceFailed())
        text = QStringLiteral("Download failed: the quote service gave no usable answer");
    else if (totalWritten() == 0)
        text = QStringLiteral("No quotes could be written");
    else if (const QString errors = downloadErrors(); !errors.isEmpty())
        text = QStringLiteral("Download finished with errors: ") + errors;
    else if (writeFailures > 0)
        text = QStringLiteral("Download finished with errors: %1 quotes could not be written").arg(writeFailures);
    else
        return QStringLiteral("Download finished: %1 quotes downloaded").arg(quotesReceived);
    return text + QStringLiteral(" (%1 quotes downloaded)").arg(quotesReceived);
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
