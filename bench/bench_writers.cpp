// Appending one day to many per-symbol files, and merging a history block
// into a long file. Prints microseconds per quote and milliseconds per merge.
//   ./build/bench/bench_writers [symbols] [lines]

#include "support/messages.h"
#include "support/state.h"
#include "writers/clsschrijfstock.h"
#include "writers/symbolwriter.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {
qint32 dateOf(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }

Quote quoteOf(const QString& ticker, const QDate& d, int i)
{
    const QString p = QString::number(10 + i % 50) + QStringLiteral(".25");
    return {ticker, QStringLiteral("Name"), dateOf(d), p, p, p, p, QString::number(1000 + i)};
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int symbols = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int lines = argc > 2 ? std::atoi(argv[2]) : 5000;
    QTemporaryDir dir;
    ScriptedMessages quiet;
    setMessages(&quiet);
    ProgramSettings& s = settings();
    s.format('S').folder = s.format('C').folder = s.format('K').folder = s.format('D').folder =
        dir.path() + QStringLiteral("/");
    const QDate first(2000, 1, 3);
    const QDate next = first.addDays(lines);

    std::printf("%d symbols, %d existing lines each\n", symbols, lines);
    for (char letter : {'S', 'D', 'C', 'K'}) {
        const auto writer = makeSymbolWriter(QLatin1Char(letter));
        QVector<Quote> history;
        for (int i = 0; i < lines; ++i)
            history.append(quoteOf(QStringLiteral("T"), first.addDays(i), i));
        for (int n = 0; n < symbols; ++n) {
            const QString t = QStringLiteral("SYM%1.AS").arg(n);
            for (Quote& q : history)
                q.ticker = t;
            writer->writeBlock(symbolFile(QLatin1Char(letter), t, {}), history);
        }
        // One day more for every symbol through the class the runs use.
        QElapsedTimer timer;
        timer.start();
        for (int n = 0; n < symbols; ++n) {
            clsschrijfstock w;
            w.schrijfascii(letter == 'C');
            w.schrijfkbf(letter == 'K');
            w.schrijfGET(letter == 'D');
            const Quote q = quoteOf(QStringLiteral("SYM%1.AS").arg(n), next, n);
            w.setQuote(q);
            w.go();
        }
        const double us = static_cast<double>(timer.nsecsElapsed()) / 1000.0 / symbols;
        std::printf("append one day, format %c: %.1f us per quote\n", letter, us);
    }

    // A 5,000-line history block overlapping a 5,000-line file by half.
    for (char letter : {'S', 'D', 'C', 'K'}) {
        const auto writer = makeSymbolWriter(QLatin1Char(letter));
        const SymbolFile file = symbolFile(QLatin1Char(letter), QStringLiteral("MERGE"), {});
        QVector<Quote> old, block;
        for (int i = 0; i < lines; ++i) {
            old.append(quoteOf(QStringLiteral("MERGE"), first.addDays(i), i));
            block.append(quoteOf(QStringLiteral("MERGE"), first.addDays(lines / 2 + i), i + 7));
        }
        writer->writeBlock(file, old);
        QElapsedTimer timer;
        timer.start();
        writer->writeBlock(file, block);
        std::printf("merge %d lines into %d, format %c: %.2f ms\n", lines, lines, letter,
                    static_cast<double>(timer.nsecsElapsed()) / 1.0e6);
    }
    setMessages(nullptr);
    return 0;
}
