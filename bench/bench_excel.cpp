// Writing Excel workbooks: one writer handed N quotes at once (go until the
// workbook is on disk), best and median of five; then a current run's
// pattern, one writer per batch of 180 adding to the same workbook, and a
// workbook past the 65,536-row sheet limit.
//   ./build/bench/bench_excel [rows=10000]

#include "support/messages.h"
#include "support/state.h"
#include "support/yield.h"
#include "writers/ewriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

struct Batch {
    QStringList tickers, names, dates, open, high, low, close, volume;
};

Batch makeBatch(int first, int count)
{
    Batch b;
    for (int i = first; i < first + count; ++i) {
        b.tickers << QStringLiteral("SYM%1.AS").arg(i, 5, 10, QLatin1Char('0'));
        b.names << QStringLiteral("Symbol %1 Holding N.V.").arg(i);
        b.dates << QStringLiteral("20040315");
        b.open << QStringLiteral("10,5");
        b.high << QStringLiteral("11.25");
        b.low << QString::number(9 + i % 7);
        b.close << QStringLiteral("10.75");
        b.volume << QString::number(1000 + i);
    }
    return b;
}

void hand(ewriter& w, const Batch& b)
{
    w.ytickers(b.tickers);
    w.yname(b.names);
    w.ydate(b.dates);
    w.yopen(b.open);
    w.yhigh(b.high);
    w.ylow(b.low);
    w.yclose(b.close);
    w.yvolume(b.volume);
    w.go();
}

// CPU time of the process in ms: on a loaded machine the wall time says
// more about the other processes than about the writer.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

struct Cost {
    double wallMs, cpuMs;
};

// Hands `batch` to `w`, set to `file`, and waits until it is on disk.
Cost writeAll(ewriter& w, Workbooks& books, const QString& file, const Batch& batch)
{
    QElapsedTimer t;
    t.start();
    const double c = cpuMs();
    w.filename(file, books);
    hand(w, batch);
    waitUntil([&w] { return !w.Busy(); });
    return {static_cast<double>(t.nsecsElapsed()) / 1e6, cpuMs() - c};
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    QTemporaryDir dir;
    settings().format('E').folder = dir.path() + QLatin1Char('/');
    ScriptedMessages messages;
    setMessages(&messages);

    const Batch all = makeBatch(0, rows);
    std::vector<double> times, cpu;
    QString file;
    Workbooks books;
    for (int round = 0; round < 5; ++round) {
        file = books.create(false);
        ewriter w;
        const Cost cost = writeAll(w, books, file, all);
        times.push_back(cost.wallMs);
        cpu.push_back(cost.cpuMs);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%d rows in one go: wall best %.1f ms, median %.1f ms; CPU best %.1f ms, median %.1f ms (%lld bytes)\n",
                rows, times.front(), times[2], cpu.front(), cpu[2], static_cast<long long>(QFileInfo(file).size()));

    // A run: one writer per batch of 180, all adding to one workbook.
    {
        file = books.create(false);
        // Batches arrive one by one: each write ends before the next batch.
        // The writers, alive together, share the workbook of the file name.
        std::vector<std::unique_ptr<ewriter>> writers;
        Cost total{0, 0};
        for (int first = 0; first < rows; first += 180) {
            ewriter& w = *writers.emplace_back(std::make_unique<ewriter>());
            const Cost cost = writeAll(w, books, file, makeBatch(first, std::min(180, rows - first)));
            total.wallMs += cost.wallMs;
            total.cpuMs += cost.cpuMs;
        }
        std::printf("%d rows in %zu batches of 180, the workbook rewritten after each: %.1f ms wall, %.1f ms CPU (%d "
                    "rows on disk)\n",
                    rows, writers.size(), total.wallMs, total.cpuMs, writers.back()->rowsSaved());
    }

    // Past the sheet limit.
    {
        const int big = 65536 + 1000;
        const Batch many = makeBatch(0, big);
        file = books.create(false);
        ewriter w;
        const Cost cost = writeAll(w, books, file, many);
        std::printf("%d rows: %.1f ms wall, %.1f ms CPU, %d sheets, %lld bytes\n", big, cost.wallMs, cost.cpuMs,
                    w.sheets(), static_cast<long long>(QFileInfo(file).size()));
    }
    if (!messages.shown.isEmpty())
        std::printf("messages: %s\n", qPrintable(messages.texts().join(QLatin1Char('|'))));
    setMessages(nullptr);
    return 0;
}
