// A whole historical run against the fake quote service: the symbols on
// list 1, ten years each, formats S, D, C, K, P, V and I on, every
// per-symbol file already holding 2,000 days that overlap the range, the
// delay off. Prints the wall time, the time per symbol, the peak memory and
// the days written per format; then how long a Stop takes to end a second
// run; then a few symbols again with the given answer time per request, to
// show what a user waits.
// With E the run also writes its Excel workbook.
//   ./build-rel/bench/bench_historyrun [symbols=1000] [years=10] [answer-ms=700] [E]
// The pace of a run against a service that takes its time, half the
// symbols with an exchange suffix, into fresh files of the same formats:
//   bench_historyrun pace [symbols=24] [years=10] [answer-ms=700]
//     a legacy host: one request at a time, then 8 in flight (delay off;
//     the second run merges into the files of the first)
//   bench_historyrun gateway [symbols=1000] [years=10] [answer-ms=500]
//     the built-in gateway before a fake provider, at the gateway's own
//     politeness; prints the provider calls

#include "benchutil.h"
#include "fakeprovider.h"
#include "fakeservice.h"
#include "historytable.h"

#include "database/db.h"
#include "gateway/livehosts.h"
#include "runs/historyrun.h"
#include "support/messages.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "writers/codecs/kbf/kbfwriter.h"
#include "writers/codecs/text/textformats.h"
#include "writers/symbolwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace bench;

// Starts the run and turns the event loop until it has ended.
template <class Run>
void runToEnd(Run& run)
{
    QEventLoop loop;
    QObject::connect(&run, &Run::finished, &loop, &QEventLoop::quit);
    run.start();
    loop.exec();
}

QString ticker(int n) { return QStringLiteral("SYM%1").arg(n, 4, 10, QLatin1Char('0')); }

// Every second symbol with an exchange suffix: 200-day chunks on a legacy host.
QString mixedTicker(int n) { return n % 2 ? ticker(n) + QStringLiteral(".AS") : ticker(n); }

// 2,000 days up to `last` in every symbol's file of S, D, C and K.
bool prefill(int symbols, const QDate& last)
{
    for (char letter : {'S', 'D', 'C', 'K'}) {
        const auto writer = makeSymbolWriter(QLatin1Char(letter));
        for (int n = 0; n < symbols; ++n) {
            const SymbolFile file = symbolFile(QLatin1Char(letter), ticker(n), QString());
            QByteArray bytes;
            for (int i = 0; i < 2000; ++i) {
                const QDate d = last.addDays(i - 1999);
                const Quote q{ticker(n), {},   d.year() * 10000 + d.month() * 100 + d.day(), "9.5", "9.5", "9.5",
                              "9.5",     "500"};
                bytes += letter == 'K' ? KbfWriter::record(q)
                                       : static_cast<TextQuoteWriter*>(writer.get())->line(file.base, q) + "\r\n";
            }
            QFile f(file.path);
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                return false;
        }
    }
    return true;
}

void addSymbols(int symbols, QString (*name)(int) = ticker)
{
    Database db(paths::databaseFile());
    Transaction t(db);
    db.exec(QStringLiteral("UPDATE fondsen SET list1 = 0"));
    for (int n = 0; n < symbols; ++n) {
        db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                               "VALUES (1, ?, ?, 'Unknown', 1)"),
                {name(n), name(n) + QStringLiteral(" Corp")});
    }
    t.commit();
}

void report(const char* what, const HistoryRun& run, qint64 ms, double cpu, int symbols)
{
    const HistoryRunSummary& sum = run.summary();
    std::printf("%s: %.2f s wall, %.1f ms per symbol, %.2f s CPU (fake service included), %d requests (%d failed), "
                "%d days downloaded\n",
                what, static_cast<double>(ms) / 1000.0, static_cast<double>(ms) / symbols, cpu, sum.requests,
                sum.failedRequests, sum.quotesReceived);
    std::printf("  storing: %.3f s CPU (%.1f %% of the run's)\n", run.storeSeconds(), 100.0 * run.storeSeconds() / cpu);
    std::printf("  written:");
    for (char letter : {'S', 'D', 'C', 'K', 'P', 'V', 'I', 'E'})
        std::printf(" %c %d", letter, sum.written.value(QLatin1Char(letter)));
    std::printf(", not written %d\n  outcome: %s\n", sum.writeFailures, qPrintable(sum.outcome()));
}

// The mixed list alone on list 1.
void addMixedSymbols(int symbols)
{
    Database(paths::databaseFile()).exec(QStringLiteral("DELETE FROM fondsen"));
    addSymbols(symbols, mixedTicker);
}

// One run of the mixed list; its wall time in ms.
qint64 freshRun(HistoryRun& run, const char* what, int symbols, const QDate& start, const QDate& end)
{
    run.startDate = start;
    run.endDate = end;
    QElapsedTimer clock;
    clock.start();
    const double cpu = cpuSeconds();
    runToEnd(run);
    const qint64 ms = clock.elapsed();
    report(what, run, ms, cpuSeconds() - cpu, symbols);
    return ms;
}

int pace(int symbols, const QDate& start, const QDate& end, int answerMs)
{
    addMixedSymbols(symbols);
    FakeQuoteService fake;
    fake.useForAllHosts();
    fake.setResponder(fakehistory::responder());
    fake.setDelay(answerMs);
    HistoryRun run;
    std::printf("%d symbols (half with a suffix), %d ms per answer, delay off\n", symbols, answerMs);
    store::write(QStringLiteral("MaxInFlightHistory"), QStringLiteral("1"));
    const qint64 one = freshRun(run, "1 in flight", symbols, start, end);
    store::write(QStringLiteral("MaxInFlightHistory"), QStringLiteral("8"));
    const qint64 eight = freshRun(run, "8 in flight", symbols, start, end);
    std::printf("8 in flight is %.1f times as fast as 1\n", static_cast<double>(one) / static_cast<double>(eight));
    std::printf("  peak memory (VmHWM): %.1f MB\n", static_cast<double>(peakKb()) / 1024.0);
    return 0;
}

int throughGateway(int symbols, const QDate& start, const QDate& end, int answerMs)
{
    addMixedSymbols(symbols);
    FakeProvider provider;
    provider.makeDailyCharts(true);
    provider.setDelay(answerMs);
    provider.useInStore();
    ProgramSettings& s = settings();
    for (QString* host : {&s.quoteHost, &s.quoteHostAU, &s.quoteHostSG, &s.chartHost})
        *host = QStringLiteral("live");
    QString error;
    LiveHosts liveHosts;
    if (!liveHosts.resolve(&error)) {
        std::fprintf(stderr, "the gateway does not start: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%d symbols (half with a suffix) through the gateway, provider answering in %d ms\n", symbols,
                answerMs);
    HistoryRun run;
    freshRun(run, "gateway", symbols, start, end);
    std::printf("  provider calls: %d chart, %lld in all\n", provider.count("/v8/finance/chart/"),
                static_cast<long long>(provider.requests().size()));
    std::printf("  peak memory (VmHWM): %.1f MB\n", static_cast<double>(peakKb()) / 1024.0);
    liveHosts.stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "pace" || mode == "gateway") {
        --argc;
        ++argv;
    }
    const int symbols = argc > 1 ? std::max(1, std::atoi(argv[1])) : mode == "pace" ? 24 : 1000;
    const int years = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const int answerMs = argc > 3 ? std::max(0, std::atoi(argv[3])) : mode == "gateway" ? 500 : 700;
    const bool excel = argc > 4 && QByteArray(argv[4]) == "E";

    const bench::DataFolder folder;
    if (!folder.opened())
        return 1;
    const QString root = folder.root();
    addSymbols(symbols);

    ProgramSettings& s = settings();
    s.isdelay = false;
    s.dcurrent = 1;
    s.teller2 = 30;
    const struct {
        char letter;
        const char* name;
    } formats[] = {{'S', "stockguru"}, {'D', "get"},    {'C', "ascii"},   {'K', "kbf"},
                   {'P', "prn"},       {'V', "vision"}, {'I', "vikingen"}};
    for (const auto& f : formats) {
        FormatSettings& format = s.format(f.letter);
        format.on = true;
        format.folder = root + QLatin1String(f.name) + QLatin1Char('/');
        QDir().mkpath(format.folder);
    }
    if (excel) {
        s.format('E').on = true;
        s.format('E').folder = root + QStringLiteral("excel/");
        QDir().mkpath(s.format('E').folder);
    }

    const QDate end = QDate::currentDate().addDays(-1);
    const QDate start = end.addYears(-years);
    if (mode == "pace")
        return pace(symbols, start, end, answerMs);
    if (mode == "gateway")
        return throughGateway(symbols, start, end, answerMs);
    QElapsedTimer clock;
    clock.start();
    // The files end in the middle of the range: the run rewrites them all.
    if (!prefill(symbols, end.addDays(-(end.toJulianDay() - start.toJulianDay()) / 2))) {
        std::fprintf(stderr, "cannot write the quote files\n");
        return 1;
    }
    ::sync();
    std::printf("%d symbols, %s to %s, 2000 days in each file of S, D, C, K (written in %.1f s)\n", symbols,
                qPrintable(start.toString(Qt::ISODate)), qPrintable(end.toString(Qt::ISODate)),
                static_cast<double>(clock.elapsed()) / 1000.0);

    FakeQuoteService fake;
    fake.useForAllHosts();
    fake.setResponder(fakehistory::responder());
    HistoryRun run;
    run.startDate = start;
    run.endDate = end;
    clock.restart();
    double cpu = cpuSeconds();
    runToEnd(run);
    report("run", run, clock.elapsed(), cpuSeconds() - cpu, symbols);
    std::printf("  peak memory (VmHWM): %.1f MB\n", static_cast<double>(peakKb()) / 1024.0);

    // The same again, stopped after a second.
    QElapsedTimer stopClock;
    QTimer::singleShot(1000, &run, [&run, &stopClock] {
        stopClock.start();
        run.stop();
    });
    runToEnd(run);
    if (stopClock.isValid())
        std::printf("stopped run: ended %lld ms after Stop, %d symbols started, %s\n",
                    static_cast<long long>(stopClock.elapsed()), run.summary().symbols,
                    qPrintable(run.summary().outcome()));
    else
        std::printf("stopped run: ended before the Stop after a second (too few symbols to stop)\n");

    // A few symbols with the answer time of a real service, and a Stop
    // given while a request waits for its answer.
    const int few = std::min(symbols, 10);
    addSymbols(0);
    {
        Database db(paths::databaseFile());
        db.exec(QStringLiteral("UPDATE fondsen SET list1 = 1 WHERE rowid <= ?"), {few});
    }
    fake.setDelay(answerMs);
    clock.restart();
    cpu = cpuSeconds();
    runToEnd(run);
    report(qPrintable(QStringLiteral("%1 symbols, %2 ms per answer").arg(few).arg(answerMs)), run, clock.elapsed(),
           cpuSeconds() - cpu, few);
    QTimer::singleShot(answerMs / 2 + 200, &run, [&run, &stopClock] {
        stopClock.restart();
        run.stop();
    });
    runToEnd(run);
    std::printf("stopped while waiting for an answer: ended %lld ms after Stop\n",
                static_cast<long long>(stopClock.elapsed()));
    setMessages(nullptr);
    return 0;
}
