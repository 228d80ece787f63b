#include "app/commands_gaps.h"

#include "app/commands_download.h"
#include "app/headless.h"
#include "app/stopsignals.h"
#include "database/db.h"
#include "database/quotestore.h"
#include "runs/fill.h"
#include "runs/gapfill.h"
#include "runs/historyrun.h"
#include "support/textconv.h"

#include <QFileInfo>

namespace {

const char kUsage[] = "usage: gaps [--list N] [--fill] [--days N | --all]\n";

void printSurvey(QTextStream& out, const gapfill::Survey& survey)
{
    int open = 0;
    for (const gapfill::Plan& p : survey.plans) {
        QStringList parts;
        // A day found late, never asked for, is missing until it was asked.
        if (const QVector<qint32> missing = p.missingDays(); !missing.isEmpty())
            parts << QStringLiteral("missing ") + gapfill::datesText(missing);
        if (!p.gaps.provisional.isEmpty())
            parts << QStringLiteral("provisional ") + gapfill::datesText(p.gaps.provisional);
        QVector<qint32> givenUp = p.givenUp;
        if (!givenUp.isEmpty())
            parts << QStringLiteral("given up ") + gapfill::datesText(givenUp);
        open += p.open() > 0 ? 1 : 0;
        out << p.gaps.ticker << ": " << parts.join(QStringLiteral("; ")) << '\n';
    }
    for (const gapfill::Unknown& u : survey.unknown)
        out << gapfill::unknownText(u) << '\n';
    out << "symbols checked: " << survey.checked << ", with gaps: " << open << '\n';
}

}  // namespace

int cmdGaps(HeadlessContext& c)
{
    int list = 0;
    int days = 30;
    bool fillThem = false;
    for (int i = 0; i < c.args.size(); ++i) {
        const QString& a = c.args[i];
        if (a == QLatin1String("--fill")) {
            fillThem = true;
        } else if (a == QLatin1String("--all")) {
            days = 0;
        } else if (a == QLatin1String("--days") || a == QLatin1String("--list")) {
            const auto n = i + 1 < c.args.size() ? textconv::toInteger(c.args[i + 1].trimmed(), 1, 100000)
                                                 : std::optional<qint64>();
            if (!n || (a == QLatin1String("--list") && *n > 16)) {
                c.err << kUsage;
                return 2;
            }
            (a == QLatin1String("--list") ? list : days) = static_cast<int>(*n);
            ++i;
        } else {
            c.err << kUsage;
            return 2;
        }
    }
    if (!headlessStartup(c, fillThem))
        return 1;
    if (!QFileInfo::exists(QuoteStore::defaultPath())) {
        c.out << "The quote store holds nothing yet: no gaps to find.\n";
        return 0;
    }

    QVector<HistoryRun::Range> symbols;
    gapfill::Survey survey;
    try {
        const std::unique_ptr<Database> db = Database::openDefault();
        symbols = fill::ranges(*db, list ? QVector<int>{list} : QVector<int>{});
        QStringList tickers;
        for (const HistoryRun::Range& r : std::as_const(symbols))
            tickers << r.ticker;
        QuoteStore store;
        survey = gapfill::survey(store, tickers, days);
    } catch (const AppError& e) {
        c.err << e.description() << '\n';
        return 1;
    }
    printSurvey(c.out, survey);
    if (!fillThem)
        return 0;

    QHash<QString, QString> names;
    for (const HistoryRun::Range& r : std::as_const(symbols))
        names.insert(r.ticker, r.name);
    gapfill::GapFill fill;
    if (!fill.prepare(std::move(survey), names)) {
        c.out << "Nothing to ask for\n";
        return 0;
    }
    QObject::connect(&fill, &gapfill::GapFill::progress,
                     [&c](const QString& ticker, int finished, int total, const QString& text) {
                         c.out << finished << '/' << total << ' ' << ticker << ": " << text << '\n';
                         c.out.flush();
                     });
    runStoppable(fill);

    const HistoryRunSummary& sum = fill.summary();
    if (sum.busy || sum.nothingToDo)
        return downloadExitStatus(sum);
    // What the answers that came tell, also of a stopped fill.
    if (!fill.storeError().isEmpty()) {
        c.err << fill.storeError() << '\n';
        return 1;
    }
    for (const QString& line : fill.lines())
        c.out << line << '\n';
    c.out << "requests: " << sum.requests << ", failed: " << sum.failedRequests << '\n';
    printWritten(c.out, sum.written, sum.writeFailures);
    for (const QString& note : sum.notes)
        c.out << note << '\n';
    c.out << sum.outcome() << '\n';
    return downloadExitStatus(sum);
}
