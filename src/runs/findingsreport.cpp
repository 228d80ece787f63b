#include "runs/findingsreport.h"

#include "database/clsdata.h"
#include "support/errors.h"

namespace findingsreport {

bool load(clsData& data, QVector<bookkeeping::FindingRow>& rows)
{
    rows.clear();
    return guarded([&] { rows = bookkeeping::findings(data.db()); }) != StepOutcome::Aborted;
}

QStringList text()
{
    return {QStringLiteral("The integrity check found these faults in the quotes."),
            QStringLiteral("Each line says what was seen and what was done: flagged, repaired or skipped."),
            QStringLiteral("Options sets what is done.")};
}

QStringList columns()
{
    return {QStringLiteral("Symbol"), QStringLiteral("Date"), QStringLiteral("Kind"), QStringLiteral("Seen"),
            QStringLiteral("Done")};
}

}  // namespace findingsreport
