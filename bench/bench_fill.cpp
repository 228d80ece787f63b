// Filling formats from the quote store: `symbols` symbols on list 1, each
// with `years` years of weekdays in the store (prices with two decimals,
// volumes in the millions), then a fill of each of S, D, C, K and M into an
// empty folder, one after the other, as `quotaris fill LETTER` runs it.
// Prints the time of each fill, the time of S, D, C and K together (goal:
// under 15 s for 1,000 symbols over 10 years) and of M (goal: under 30 s),
// the CPU time and the peak memory.
//   ./build/bench/bench_fill [symbols=1000] [years=10] [letters=SDCKM]

#include "benchutil.h"
#include "database/db.h"
#include "database/quotestore.h"
#include "runs/fill.h"
#include "runs/historyrun.h"
#include "support/messages.h"
#include "support/paths.h"
#include "support/state.h"
#include "writers/formatregistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace {

using namespace bench;

QString ticker(int n) { return QStringLiteral("SYM%1.AS").arg(n, 4, 10, QLatin1Char('0')); }

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int symbols = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int years = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const QByteArray letters = argc > 3 ? QByteArray(argv[3]).toUpper() : QByteArray("SDCKM");

    const bench::DataFolder folder;
    if (!folder.opened())
        return 1;
    const QString root = folder.root();

    QElapsedTimer clock;
    clock.start();
    const QDate end(2026, 12, 4);
    QVector<QDate> days;
    for (QDate d = end.addYears(-years); d < end; d = d.addDays(1)) {
        if (d.dayOfWeek() < Qt::Saturday)
            days.append(d);
    }
    {
        Database db(paths::databaseFile());
        Transaction t(db);
        for (int n = 0; n < symbols; ++n) {
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                                   "VALUES (1, ?, ?, 'Unknown', 1)"),
                    {ticker(n), ticker(n) + QStringLiteral(" Corp")});
        }
        t.commit();
        QuoteStore store;
        const int source = store.source(QStringLiteral("127.0.0.1:8080"), QDateTime::currentDateTimeUtc());
        for (int n = 0; n < symbols; ++n) {
            QVector<core::Bar> bars;
            bars.reserve(days.size());
            for (int i = 0; i < days.size(); ++i)
                bars.append(barOf(days[i], n, i));
            store.begin();
            store.putDays(ticker(n), bars, source);
            store.commit();
        }
    }
    std::printf("%d symbols x %lld days in the store (made in %.1f s)\n", symbols, static_cast<long long>(days.size()),
                static_cast<double>(clock.elapsed()) / 1000.0);

    ProgramSettings& s = settings();
    const struct {
        char letter;
    } formats[] = {{'S'}, {'D'}, {'C'}, {'K'}, {'M'}};
    for (const auto& f : formats) {
        FormatSettings& format = s.format(f.letter);
        format.on = true;
        format.folder = root + QLatin1Char(f.letter) + QLatin1Char('/');
        QDir().mkpath(format.folder);
    }

    QVector<HistoryRun::Range> ranges;
    {
        Database db(paths::databaseFile());
        ranges = fill::ranges(db, {1});
    }
    double textFormats = 0;
    for (const auto& f : formats) {
        if (!letters.contains(f.letter))
            continue;
        HistoryRun run;
        fill::prepare(run, *formats::find(QLatin1Char(f.letter)), ranges);
        QEventLoop loop;
        QObject::connect(&run, &HistoryRun::finished, &loop, &QEventLoop::quit);
        clock.restart();
        const double cpu = cpuSeconds();
        run.start();
        loop.exec();
        const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
        const HistoryRunSummary& sum = run.summary();
        std::printf("fill %c: %.2f s wall, %.2f s CPU, %d days written, %d not written; %s\n", f.letter, seconds,
                    cpuSeconds() - cpu, sum.written.value(QLatin1Char(f.letter)), sum.writeFailures,
                    qPrintable(sum.outcome()));
        if (f.letter != 'M')
            textFormats += seconds;
    }
    std::printf("S, D, C and K together: %.2f s (goal: under 15 s for 1,000 symbols over 10 years)\n", textFormats);
    std::printf("peak memory (VmHWM): %.1f MB\n", static_cast<double>(peakKb()) / 1024.0);
    setMessages(nullptr);
    return 0;
}
