// The quote store: bars of `symbols` symbols over `years` years of weekdays
// (prices near those of the run benchmarks, two decimals, volumes in the
// millions), stored the way a historical run stores them (one transaction
// per symbol), then, as daily current runs add them, one more day for every
// symbol in transactions of 180 symbols. Prints the time, the rate, the bytes
// per bar on disk and the peak memory; then reads every bar of 1,000 symbols
// back.
//   ./build/bench/bench_store [symbols=10000] [years=10] [folder=temporary]

#include "benchutil.h"
#include "database/quotestore.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

using namespace bench;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int symbols = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    const int years = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 10;
    QTemporaryDir tmp;
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : tmp.path();
    const QString path = QDir(folder).filePath(QStringLiteral("quotestore.sqlite"));
    QFile::remove(path);

    const QDate end(2026, 12, 4);
    QVector<QDate> days;
    for (QDate d = end.addYears(-years); d < end; d = d.addDays(1)) {
        if (d.dayOfWeek() < Qt::Saturday)
            days.append(d);
    }

    QuoteStore store(path);
    const int source = store.source(QStringLiteral("127.0.0.1:8080"), QDateTime::currentDateTimeUtc());
    QElapsedTimer t;
    t.start();
    QElapsedTimer inStore;
    qint64 storeNs = 0;  // in the store's calls, without making the bars
    for (int s = 0; s < symbols; ++s) {
        const QString ticker = QStringLiteral("S%1.AX").arg(s, 5, 10, QLatin1Char('0'));
        QVector<core::Bar> bars;
        bars.reserve(days.size());
        for (int i = 0; i < days.size(); ++i)
            bars.append(barOf(days[i], s, i));
        inStore.start();
        store.begin();
        store.putDays(ticker, bars, source);
        store.commit();
        storeNs += inStore.nsecsElapsed();
    }
    const qint64 historyMs = t.elapsed();
    const qint64 bars = qint64(symbols) * days.size();

    // A day of current quotes for every symbol.
    t.restart();
    for (int s = 0; s < symbols; s += 180) {
        store.begin();
        for (int k = s; k < std::min(symbols, s + 180); ++k)
            store.put(QStringLiteral("S%1.AX").arg(k, 5, 10, QLatin1Char('0')), barOf(end, k, int(days.size())),
                      source);
        store.commit();
    }
    const qint64 currentMs = t.elapsed();

    t.restart();
    qint64 read = 0;
    for (int s = 0; s < std::min(symbols, 1000); ++s)
        read += store.bars(QStringLiteral("S%1.AX").arg(s, 5, 10, QLatin1Char('0'))).size();
    const qint64 readMs = t.elapsed();

    const QuoteStore::Summary sum = store.summary();
    std::printf("stored %lld bars (%d symbols x %lld days) in %.1f s, of it %.1f s in the store: %.0f bars/s\n",
                static_cast<long long>(bars), symbols, static_cast<long long>(days.size()), historyMs / 1000.0,
                storeNs / 1e9, bars * 1e9 / std::max<double>(storeNs, 1));
    std::printf("one more day for every symbol, 180 a transaction: %.2f s\n", currentMs / 1000.0);
    std::printf("read back %lld bars of %d symbols in %.2f s\n", static_cast<long long>(read), std::min(symbols, 1000),
                readMs / 1000.0);
    std::printf("on disk: %.1f MB, %.1f bytes a bar; peak memory %ld MB\n", sum.bytes / 1e6,
                double(sum.bytes) / double(sum.bars), peakKb() / 1024);
    return 0;
}
