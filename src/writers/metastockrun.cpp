#include "writers/metastockrun.h"

#include "database/db.h"
#include "mslink/error.h"
#include "mslink/folder.h"
#include "mslink/reader.h"
#include "support/log.h"
#include "support/messages.h"
#include "support/paths.h"
#include "support/state.h"

namespace {
MetastockPrompt* installedPrompt = nullptr;
}

MetastockRunState::MetastockRunState() = default;

MetastockRunState::~MetastockRunState() = default;

Database& MetastockRunState::db()
{
    if (!db_)
        db_ = Database::openDefault();
    return *db_;
}

MetastockPrompt* metastockPrompt() { return installedPrompt; }

void setMetastockPrompt(MetastockPrompt* prompt) { installedPrompt = prompt; }

namespace metastock {

QString root() { return paths::withTrailingSlash(settings().format(QLatin1Char('M')).folder); }

int maximum() { return settings().metaversion > 0 ? settings().metaversion : 2000; }

void reportDamaged(MetastockRunState& run, const QString& folder, const QString& why)
{
    WriteLog(QStringLiteral("Damaged Metastock database ") + folder + QStringLiteral(": ") + why);
    if (run.reportedDamaged.contains(folder))
        return;
    run.reportedDamaged.insert(folder);
    msgBox(QStringLiteral("The Metastock database in ") + folder + QStringLiteral(" is damaged (") + why +
               QStringLiteral(").\r\nIt is left as it is; its symbols are not written."),
           Icon::Critical);
}

StepOutcome step(MetastockRunState& run, const QString& folder, const std::function<void()>& work, bool skipOthers)
{
    for (;;) {
        try {
            if (skipOthers) {
                work();
                return StepOutcome::Done;
            }
            return guarded([&] {
                try {
                    work();
                } catch (const mslink::Error& e) {
                    if (e.code() == mslink::ErrorCode::InUse || e.code() == mslink::ErrorCode::Damaged)
                        throw;
                    throw AppError(e.number(), e.text());
                }
            });
        } catch (const mslink::Error& e) {
            if (e.code() == mslink::ErrorCode::InUse) {
                Message m;
                m.text = QStringLiteral("The Metastock Database is in use by another program, please close it");
                m.icon = Icon::Warning;
                m.buttons = Buttons::OkCancel;
                m.defaultAnswer = Answer::Cancel;  // nobody can close it for an unattended run
                if (messages().show(m) == Answer::Ok)
                    continue;
                WriteLog(QStringLiteral("Skipped, in use: ") + folder);
                return StepOutcome::Ignored;
            }
            if (e.code() == mslink::ErrorCode::Damaged) {
                reportDamaged(run, folder, e.text());
                return StepOutcome::Ignored;
            }
            WriteLog(QStringLiteral("Metastock error %1: ").arg(e.number()) + e.text());
            return StepOutcome::Ignored;
        }
    }
}

int securityCount(MetastockRunState& run, const QString& folder)
{
    if (!mslink::Reader::databasePresent(folder))
        return 0;
    try {
        mslink::Reader r;
        r.openFolder(folder, &run.session);
        return r.securityCount();
    } catch (const mslink::Error& e) {
        reportDamaged(run, folder, e.text());
        return -1;
    }
}

}  // namespace metastock
