// The integrity check by itself, on the work of the two run benchmarks, so
// that its share of a run can be told apart from the noise of a whole run:
//   - bench_historyrun's days: 1,000 symbols of ten years, decoded bars
//     (texts with their numbers) through integrity::checkHistory;
//   - bench_currentrun's quotes: 10,000 current quotes through
//     integrity::checkCurrent, each with the latest day of its ASCII file
//     (2,000 days) read the way the current run reads it; then what that
//     read adds to the ASCII writer's append, which takes the read over.
// Prints the time of each, per day or quote, best of `rounds`.
//   ./build/bench/bench_integrity [rounds=5]

#include "quotes/currentquotes.h"
#include "quotes/historydecode.h"
#include "quotes/integrity.h"
#include "writers/checkfiles.h"
#include "writers/codecs/text/textformats.h"
#include "writers/textio.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

qint32 dateOf(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }

// Ten years of weekdays with bench_historyrun's prices (they come from the
// same fake service).
QVector<core::Bar> history(int symbol)
{
    QVector<core::Bar> days;
    const QDate end = QDate::currentDate();
    const double base = 10 + symbol % 9000 / 100.0;
    for (QDate d = end.addYears(-10); d <= end; d = d.addDays(1)) {
        if (d.dayOfWeek() >= Qt::Saturday)
            continue;
        const double v = base + static_cast<double>(d.toJulianDay() % 10) / 10.0;
        const core::Figure c(QString::number(v, 'f', 2), QString::number(v, 'f', 2).toDouble());
        core::Bar& b = days.emplace_back();
        b.date = dateOf(d);
        b.open = b.high = b.low = b.close = c;
        b.volume = core::Figure(QString::number(1000 + d.day()), 1000 + d.day());
    }
    return days;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    // Historical: the records as the decoder hands them to the run.
    std::vector<QVector<core::Bar>> symbols;
    qint64 dayCount = 0;
    for (int s = 0; s < 1000; ++s) {
        symbols.push_back(history(s));
        dayCount += symbols.back().size();
    }
    qint64 best = -1;
    int found = 0;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer clock;
        clock.start();
        found = 0;
        int symbol = 0;
        for (QVector<core::Bar>& days : symbols) {
            integrity::Context c;
            c.ticker = QStringLiteral("SYM%1").arg(symbol++);
            c.first = days.front().date;
            c.last = days.back().date;
            found += static_cast<int>(integrity::checkHistory(days, c).size());
        }
        const qint64 ns = clock.nsecsElapsed();
        best = best < 0 ? ns : std::min(best, ns);
    }
    std::printf("history: 1000 symbols, %lld days: %.1f ms, %.0f ns per day, %d findings\n",
                static_cast<long long>(dayCount), best / 1e6, static_cast<double>(best) / dayCount, found);

    // Current: 10,000 quotes, each against the end of its file.
    QTemporaryDir root;
    const QString folder = root.path() + QStringLiteral("/ascii/");
    QDir().mkpath(folder);
    QByteArray content;
    const AsciiWriter ascii;
    const QDate last = QDate::currentDate().addDays(-3);
    for (int i = 0; i < 2000; ++i) {
        const QString p = QString::number(10 + i % 50) + QStringLiteral(".25");
        content += ascii.line(QString(), {QString(), QString(), dateOf(last.addDays(i - 1999)), p, p, p, p,
                                          QString::number(1000 + i)}) +
                   "\r\n";
    }
    CurrentQuotes q;
    for (int n = 0; n < 10000; ++n) {
        const QString t = QStringLiteral("SYM%1.AS").arg(n, 5, 10, QLatin1Char('0'));
        QFile f(folder + QString(t).replace(QLatin1Char('.'), QLatin1Char('_')) + QStringLiteral(".asc"));
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return 1;
        CurrentQuote& quote = q.quotes.emplace_back();
        quote.ticker = t;
        quote.bar.date = dateOf(last.addDays(1));
        quote.bar.open = core::Figure(QStringLiteral("10.5"), 10.5);
        quote.bar.high = core::Figure(QStringLiteral("11"), 11);
        quote.bar.low = core::Figure(QStringLiteral("10"), 10);
        quote.bar.close = core::Figure(QStringLiteral("10.75"), 10.75);
        quote.bar.volume = core::Figure(QString::number(1000 + n), 1000 + n);
    }
    // As in a run, the ends read stay kept for the writers.
    textio::KeptTails tails;
    for (const bool stored : {false, true}) {
        best = -1;
        for (int r = 0; r < rounds; ++r) {
            QElapsedTimer clock;
            clock.start();
            found = 0;
            integrity::Context c;
            for (CurrentQuote& quote : q.quotes) {
                c.ticker = quote.ticker;
                c.stock = integrity::isStock(c.ticker);
                if (stored)
                    c.stored = checkfiles::lastDay(
                        folder + QString(c.ticker).replace(QLatin1Char('.'), QLatin1Char('_')) + QStringLiteral(".asc"),
                        QLatin1Char('C'), &tails);
                found += static_cast<int>(integrity::checkCurrent(quote.bar, c).size());
            }
            const qint64 ns = clock.nsecsElapsed();
            best = best < 0 ? ns : std::min(best, ns);
            tails.clear();
        }
        std::printf("current: 10000 quotes%s: %.1f ms, %.2f us per quote, %d findings\n",
                    stored ? " with the latest stored day read" : "", best / 1e6, best / 1e3 / 10000, found);
    }
    // What the run pays: the ASCII writer's append of each quote, alone and
    // after the read of the stored day (whose read of the file's end the
    // writer then takes over), alternating, one new day per round.
    qint64 bestAlone = -1, bestWith = -1;
    QDate day = last.addDays(1);
    tails.clear();
    for (int r = 0; r < 2 * rounds; ++r) {
        const bool with = r % 2 == 1;
        day = day.addDays(1);
        QElapsedTimer clock;
        clock.start();
        for (const CurrentQuote& quote : q.quotes) {
            const QString file =
                folder + QString(quote.ticker).replace(QLatin1Char('.'), QLatin1Char('_')) + QStringLiteral(".asc");
            if (with)
                checkfiles::lastDay(file, QLatin1Char('C'), &tails);
            AsciiWriter w;
            w.takeTailsFrom(&tails);
            core::Bar bar = quote.bar;
            bar.date = dateOf(day);
            w.write({file, QString()}, quotetext::quoteOf(quote.ticker, QString(), bar));
        }
        tails.clear();
        const qint64 ns = clock.nsecsElapsed();
        qint64& kept = with ? bestWith : bestAlone;
        kept = kept < 0 ? ns : std::min(kept, ns);
    }
    std::printf("ASCII append of 10000 quotes: %.1f ms alone, %.1f ms after the stored-day read (%+.1f%%)\n",
                bestAlone / 1e6, bestWith / 1e6, 100.0 * (bestWith - bestAlone) / bestAlone);
    return 0;
}
