// Finding gaps in the quote store: `symbols` symbols of one exchange over
// `years` years of weekdays, every 97th symbol lacking a day in the last
// month and every 89th with an earlier day still provisional. Prints the
// time to find the sessions and the gaps of every symbol in the last 30
// sessions and in the whole history.
//   ./build/bench/bench_gaps [symbols=5000] [years=10] [store=temporary]
// A store named that exists already is used as it is.
//
// The fill: `symbols` symbols of one exchange on list 1, each lacking
// `gaps` of its last 30 sessions, filled by a gap fill through the built-in
// gateway before a fake provider that answers after `answer-ms`. Prints
// the provider calls made (one per symbol is the aim) and the wall time.
//   ./build/bench/bench_gaps fill [symbols=100] [gaps=3] [answer-ms=500]
// Measured: 100 provider calls, 48.6 s with answers after 500 ms and 48.2 s
// after 0 ms: the gateway's pace between calls, not the answer time, sets it.

#include "benchutil.h"
#include "fakeprovider.h"

#include "database/db.h"
#include "database/gaps.h"
#include "database/quotestore.h"
#include "gateway/livehosts.h"
#include "runs/gapfill.h"
#include "support/paths.h"
#include "support/state.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

int fill(int symbols, int gapsEach, int answerMs)
{
    const bench::DataFolder folder;
    if (!folder.opened())
        return 1;
    const QString root = folder.root();
    ProgramSettings& s = settings();
    s.isdelay = false;
    s.dcurrent = 1;
    s.teller2 = 30;
    s.format('C').on = true;
    s.format('C').folder = root + QStringLiteral("ascii/");
    QDir().mkpath(s.format('C').folder);

    // 60 weekdays up to yesterday; symbol n lacks `gapsEach` of the last
    // 30, spread so that every day stays a session of most symbols.
    QVector<QDate> days;
    for (QDate d = QDate::currentDate().addDays(-1); days.size() < 60; d = d.addDays(-1)) {
        if (d.dayOfWeek() < Qt::Saturday)
            days.prepend(d);
    }
    QStringList tickers;
    QVector<HistoryRun::Range> ranges;
    {
        Database db(paths::databaseFile());
        Transaction t(db);
        for (int n = 0; n < symbols; ++n) {
            const QString ticker = QStringLiteral("F%1.AS").arg(n, 4, 10, QLatin1Char('0'));
            tickers << ticker;
            ranges.append({ticker, ticker + QStringLiteral(" NV"), {}, {}});
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                                   "VALUES (1, ?, ?, 'Stock', 1)"),
                    {ticker, ticker + QStringLiteral(" NV")});
        }
        t.commit();
    }
    {
        QuoteStore store;
        store.begin();
        const int source = store.source(QStringLiteral("bench"), QDateTime::currentDateTimeUtc());
        for (int n = 0; n < symbols; ++n) {
            QVector<qsizetype> lacking;
            for (int g = 0; g < gapsEach; ++g)
                lacking << days.size() - 2 - (n + g * 9) % 27;
            for (qsizetype i = 0; i < days.size(); ++i) {
                if (lacking.contains(i))
                    continue;
                store.put(tickers[n], bench::barOf(days[i], n, static_cast<int>(i)), source);
            }
        }
        store.commit();
    }

    FakeProvider provider;
    provider.makeDailyCharts(true);
    provider.setDelay(answerMs);
    provider.useInStore();
    for (QString* host : {&s.quoteHost, &s.quoteHostAU, &s.quoteHostSG, &s.chartHost})
        *host = QStringLiteral("live");
    LiveHosts liveHosts;
    QString error;
    if (!liveHosts.resolve(&error)) {
        std::fprintf(stderr, "the gateway does not start: %s\n", qPrintable(error));
        return 1;
    }

    gapfill::GapFill gapFill;
    QElapsedTimer clock;
    clock.start();
    if (!gapFill.prepare(ranges)) {
        std::fprintf(stderr, "nothing to ask for\n");
        return 1;
    }
    int asked = 0;
    for (const gapfill::Plan& p : gapFill.survey().plans)
        asked += static_cast<int>(p.ask.size());
    const qint64 surveyed = clock.elapsed();
    QEventLoop loop;
    QObject::connect(&gapFill, &gapfill::GapFill::finished, &loop, &QEventLoop::quit);
    const double cpu = bench::cpuSeconds();
    gapFill.start();
    loop.exec();
    const qint64 ms = clock.elapsed();
    int filled = 0, left = 0;
    for (const gapfill::Outcome& o : gapFill.outcomes()) {
        filled += static_cast<int>(o.filled.size());
        left += static_cast<int>(o.lacking.size() + o.settled.size());
    }
    std::printf("gap fill: %d symbols, %d days asked for, provider answering in %d ms, through the gateway\n", symbols,
                asked, answerMs);
    std::printf("  provider calls: %d chart, %lld in all; history requests: %d\n", provider.count("/v8/finance/chart/"),
                static_cast<long long>(provider.requests().size()), gapFill.summary().requests);
    std::printf("  days filled: %d, left: %d\n", filled, left);
    std::printf("  wall time: %.1f s (survey %.2f s; %.2f s per provider call), CPU %.2f s\n",
                static_cast<double>(ms) / 1000.0, static_cast<double>(surveyed) / 1000.0,
                static_cast<double>(ms) / 1000.0 / std::max(1, provider.count("/v8/finance/chart/")),
                bench::cpuSeconds() - cpu);
    std::printf("  outcome: %s\n", qPrintable(gapFill.summary().outcome()));
    liveHosts.stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "fill") {
        const int symbols = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
        const int gapsEach = argc > 3 ? std::clamp(std::atoi(argv[3]), 1, 20) : 3;
        const int answerMs = argc > 4 ? std::max(0, std::atoi(argv[4])) : 500;
        return fill(symbols, gapsEach, answerMs);
    }
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
                days.append(bench::dateOf(d));
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
        const qint32 from = window ? bench::dateOf(lastDate.addDays(-window * 2)) : 0;
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
