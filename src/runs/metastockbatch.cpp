#include "runs/metastockbatch.h"

#include "support/log.h"
#include "support/state.h"
#include "support/yield.h"
#include "writers/metaclass.h"
#include "writers/metastockmap.h"
#include "writers/metastockrun.h"

namespace metastockbatch {

void startRun()
{
    resetMetastockRun();
    if (settings().selectmetastock)
        metastockmap::rebuildForRun();
}

bool writeBatch(const QVector<Quote>& quotes, const std::function<void(const QString&)>& panel2, int& written,
                int& failures)
{
    // A Stop seen here still lets the batch reach every format; only Abort
    // in an error dialog ends it.
    yieldToGui();
    WriteLog(QStringLiteral("Writing to Metastock"));
    int slot = 0;
    for (const Quote& q : quotes) {
        panel2(QStringLiteral("Writing %1 quotes to Metastock...").arg(slot++));
        if (q.date == 0) {
            ++failures;
            continue;
        }
        metaclass writer;
        writer.setQuote(q);
        const StepOutcome outcome = writer.go();
        if (outcome == StepOutcome::Aborted)
            return false;
        if (outcome == StepOutcome::Done)
            ++written;
        else
            ++failures;
    }
    WriteLog(QStringLiteral("End Writing to Metastock"));
    return true;
}

}  // namespace metastockbatch
