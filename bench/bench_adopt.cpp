// Adopting existing ASCII files into the quote store: `symbols` files of
// `years` years of weekdays each (prices with two decimals, volumes in the
// millions) are written to a folder, then adopted into an empty store, one
// transaction per symbol as `adopt` does; then adopted again, when every day
// is stored already and is compared. Prints the time and rate of each pass.
//   ./build/bench/bench_adopt [symbols=1000] [years=10] [folder=temporary]

#include "database/quotestore.h"
#include "runs/adoption.h"
#include "writers/formatregistry.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QByteArray price(qint64 cents)
{
    return QByteArray::number(cents / 100) + '.' + QByteArray::number(cents % 100).rightJustified(2, '0');
}

void writeFiles(const QString& folder, int symbols, int years)
{
    const QDate today = QDate::currentDate();
    const QDate first = today.addYears(-years);
    for (int s = 0; s < symbols; ++s) {
        QByteArray text;
        int i = 0;
        for (QDate d = first; d < today; d = d.addDays(1)) {
            if (d.dayOfWeek() >= Qt::Saturday)
                continue;
            const qint64 base = 1000 + s % 9000 * 10 + (i * 37 + s) % 400;
            text += d.toString(QStringLiteral("yyyyMMdd")).toLatin1() + ',' + price(base) + ',' +
                    price(base + 35 + i % 20) + ',' + price(base - 30 - i % 15) + ',' + price(base + 12 - i % 25) +
                    ',' + QByteArray::number(200000 + (qint64(s) * 7919 + i * 104729) % 9000000) + "\r\n";
            ++i;
        }
        QFile f(QDir(folder).filePath(QStringLiteral("S%1.asc").arg(s, 4, 10, QLatin1Char('0'))));
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int symbols = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    const int years = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 10;
    QTemporaryDir tmp;
    const QString root = argc > 3 ? QString::fromLocal8Bit(argv[3]) : tmp.path();
    const QString files = QDir(root).filePath(QStringLiteral("ascii"));
    QDir().mkpath(files);
    writeFiles(files, symbols, years);

    const ExportFormat* ascii = formats::find(QLatin1Char('C'));
    QuoteStore store(QDir(root).filePath(QStringLiteral("quotestore.sqlite")));
    for (const char* pass : {"empty store", "days stored already"}) {
        adoption::Adopter adopter(store, nullptr, *ascii, files);
        QElapsedTimer t;
        t.start();
        qint64 read = 0, added = 0, same = 0;
        for (int s = 0; s < symbols; ++s) {
            const QString ticker = QStringLiteral("S%1").arg(s, 4, 10, QLatin1Char('0'));
            const adoption::Outcome o = adopter.adopt(ticker, ticker);
            read += o.read;
            added += o.added;
            same += o.same;
        }
        const double secs = t.nsecsElapsed() / 1e9;
        std::printf("adopt %d ASCII files of %d years into %s: %lld days read, %lld added, %lld stored already "
                    "in %.2f s (%.0f days/s, %.1f ms per file)\n",
                    symbols, years, pass, static_cast<long long>(read), static_cast<long long>(added),
                    static_cast<long long>(same), secs, read / secs, secs * 1000 / symbols);
    }
    const QuoteStore::Summary sum = store.summary();
    std::printf("store: %d symbols, %lld bars, %.1f MB\n", sum.symbols, static_cast<long long>(sum.bars),
                sum.bytes / 1e6);
    return 0;
}
