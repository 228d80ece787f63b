#include "app/commands_fill.h"

#include "app/commands_download.h"
#include "app/headless.h"
#include "app/stopsignals.h"
#include "database/db.h"
#include "runs/fill.h"
#include "runs/historyrun.h"
#include "writers/formatregistry.h"

namespace {

const char kUsage[] = "usage: fill LETTER [--list N | --lists N,M,...] [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n";

}  // namespace

int cmdFill(HeadlessContext& c)
{
    if (c.args.isEmpty() || c.args[0].size() != 1 || !formats::find(c.args[0].at(0))) {
        c.err << kUsage << "LETTER is one of "
              << formats::letters(formats::all(), QStringLiteral(" "), QStringLiteral(" ")) << '\n';
        return 2;
    }
    const ExportFormat& format = *formats::find(c.args[0].at(0));
    QDate from, to;
    int list = 0;
    QVector<int> several;
    for (int i = 1; i < c.args.size(); ++i) {
        const QString& a = c.args[i];
        if (a == QLatin1String("--from") || a == QLatin1String("--to")) {
            const QDate d = i + 1 < c.args.size() ? QDate::fromString(c.args[i + 1], Qt::ISODate) : QDate();
            if (!d.isValid()) {
                c.err << "Not a date (YYYY-MM-DD): " << (i + 1 < c.args.size() ? c.args[i + 1] : QString()) << '\n';
                return 2;
            }
            (a == QLatin1String("--from") ? from : to) = d;
            ++i;
            continue;
        }
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
    if (from.isValid() && to.isValid() && to < from) {
        c.err << "The end date lies before the start date\n";
        return 2;
    }
    // No quote service: a fill works without the network.
    if (!headlessStartup(c))
        return 1;

    HistoryRun run;
    try {
        const std::unique_ptr<Database> db = Database::openDefault();
        fill::prepare(run, format, fill::ranges(*db, list ? QVector<int>{list} : several, from, to));
    } catch (const DbError& e) {
        c.err << e.description() << '\n';
        return 1;
    }

    // One line per symbol, in the order they are written.
    QStringList nothingStored;
    QObject::connect(&run, &HistoryRun::symbolFinished,
                     [&](const QString& ticker, int finished, int total, const QString& text) {
                         c.out << finished << '/' << total << ' ' << ticker << ": " << text << '\n';
                         c.out.flush();
                         if (text == QLatin1String("nothing stored"))
                             nothingStored << ticker;
                     });
    runStoppable(run);

    const HistoryRunSummary& sum = run.summary();
    if (sum.busy || sum.nothingToDo)
        return downloadExitStatus(sum);
    c.out << "symbols: " << sum.symbols << '\n';
    c.out << "quotes read from the store: " << sum.quotesReceived << '\n';
    c.out << "written " << format.letter << " (" << format.name() << "): " << sum.written.value(format.letter) << '\n';
    if (sum.writeFailures)
        c.out << "not written: " << sum.writeFailures << '\n';
    if (!nothingStored.isEmpty())
        c.out << "nothing stored: " << nothingStored.join(QLatin1Char(' ')) << '\n';
    for (const QString& note : sum.notes)
        c.out << note << '\n';
    c.out << sum.outcome() << '\n';
    return downloadExitStatus(sum);
}
