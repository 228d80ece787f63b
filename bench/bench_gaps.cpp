// Finding gaps in the quote store: `symbols` symbols of one exchange over
// `years` years of weekdays, every 97th symbol lacking a day in the last
// month and every 89th with an earlier day still provisional. Prints the
// time to find the sessions and the gaps of every symbol in the last 30
// sessions and in the whole history.
//   ./build/bench/bench_gaps [symbols=5000] [years=10] [store=temporary]
// A store named that exists already is used as it is.

#include "database/gaps.h"
#include "database/quotestore.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace {

qint32 ymd(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int symbols = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5000;
    const int years = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 10;
    QTemporaryDir tmp;
    const QString path =
        argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir(tmp.path()).filePath(QStringLiteral("quotestore.sqlite"));
    QStringList tickers;
    for (int s = 0; s < symbols; ++s)
        tickers.append(QStringLiteral("G%1.AS").arg(s, 5, 10, QLatin1Char('0')));

    const bool made = !QFileInfo::exists(path);
    QuoteStore store(path);
    if (made) {
        const QDate end(2026, 12, 4);
        QVector<qint32> days;
        for (QDate d = end.addYears(-years); d <= end; d = d.addDays(1)) {
            if (d.dayOfWeek() < Qt::Saturday)
                days.append(ymd(d));
        }
        core::Bar b;
        b.open = b.high = b.low = b.close = core::Figure::parse(QStringLiteral("12.34"));
        b.volume = core::Figure::parse(QStringLiteral("123456"));
        QElapsedTimer fillTime;
        fillTime.start();
        for (int s = 0; s < symbols; ++s) {
            store.begin();
            for (qsizetype i = 0; i < days.size(); ++i) {
                if (s % 97 == 0 && i == days.size() - 7)
                    continue;
                b.date = days[i];
                b.set(core::Bar::Provisional, s % 89 == 0 && i == days.size() - 12);
                store.put(tickers[s], b, 1);
            }
            store.commit();
        }
        std::printf("made a store of %d symbols x %lld days in %.1f s\n", symbols, static_cast<long long>(days.size()),
                    fillTime.elapsed() / 1000.0);
    }

    const qint32 last = store.lastDay(tickers.value(1));
    for (const int window : {30, 0}) {
        QElapsedTimer t;
        t.start();
        // The last 30 sessions lie within the last 60 days of the store.
        const QDate lastDate(last / 10000, last / 100 % 100, last % 100);
        const qint32 from = window ? ymd(lastDate.addDays(-window * 2)) : 0;
        const gaps::Exchange exchange(store, tickers, from);
        const QVector<qint32> sessions = gaps::lastSessions(exchange.sessions(), window);
        int withGaps = 0, missing = 0, provisional = 0;
        for (const QString& ticker : std::as_const(tickers)) {
            const gaps::SymbolGaps g = exchange.gapsOf(ticker, sessions);
            withGaps += g.open();
            missing += int(g.missing.size());
            provisional += int(g.provisional.size());
        }
        std::printf("%s: %lld sessions, %d symbols with gaps (%d missing days, %d provisional) in %.2f s\n",
                    window ? "last 30 sessions" : "whole history", static_cast<long long>(sessions.size()), withGaps,
                    missing, provisional, t.elapsed() / 1000.0);
    }
    return 0;
}
