// A whole current-quote run against the fake quote service: 10,000 symbols
// on list 1, formats S, D, C, K, P, V and I on, every per-symbol file already
// holding 2,000 days, the delay off. Prints the wall time, the time per
// quote, the peak memory, the quotes written per format and the longest
// stretch without a progress or panel update, and how many requests were
// in flight together; then a second run stopped after about a second, and
// how long the stop took to end it. A third positional argument with "E"
// also switches on the Excel workbook, with "M" MetaStock (folders of 2,000
// securities holding `days` records each).
//   ./build/bench/bench_currentrun [--latency MS] [--max-in-flight N] [--keep-alive] [symbols] [days] [E|M|EM]
// --latency makes the fake service take MS milliseconds for every answer,
// as a real service does (0.5-2 s); --max-in-flight sets MaxInFlight;
// --keep-alive keeps connections open after an answer, as an HTTP/1.1
// server does, and prints how many the run opened.

#include "benchutil.h"
#include "fakeservice.h"
#include "metastockfill.h"

#include "database/db.h"
#include "runs/currentrun.h"
#include "support/messages.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "writers/codecs/kbf/kbfwriter.h"
#include "writers/codecs/text/textformats.h"
#include "writers/symbolwriter.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
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

qint32 dateOf(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }

QByteArray serviceDate(const QDate& d)
{
    return QByteArray::number(d.month()) + '/' + QByteArray::number(d.day()) + '/' + QByteArray::number(d.year());
}

QString ticker(int n) { return QStringLiteral("SYM%1.AS").arg(n, 5, 10, QLatin1Char('0')); }

// The longest interval between two consecutive calls of tick().
struct GapMeter {
    QElapsedTimer clock;
    qint64 last = -1, longest = 0, longestEnd = 0;
    int ticks = 0;
    void start()
    {
        clock.start();
        last = 0;
        longest = 0;
        ticks = 0;
    }
    void tick()
    {
        const qint64 now = clock.elapsed();
        if (now - last > longest) {
            longest = now - last;
            longestEnd = now;
        }
        last = now;
        ++ticks;
    }
};

// Writes `days` days up to `last` into every symbol's file of the four
// per-symbol formats, in their own layouts. Only a Stockguru line names its
// symbol, so each format's content is made once and patched per symbol.
bool prefill(int symbols, int days, const QDate& last)
{
    QVector<Quote> history;
    for (int i = 0; i < days; ++i) {
        const QString p = QString::number(10 + i % 50) + QStringLiteral(".25");
        history.append(
            {QString(), QString(), dateOf(last.addDays(i - days + 1)), p, p, p, p, QString::number(1000 + i)});
    }
    const QByteArray mark = "\x01";
    for (char letter : {'S', 'D', 'C', 'K'}) {
        const auto writer = makeSymbolWriter(QLatin1Char(letter));
        QByteArray content;
        for (const Quote& q : history) {
            if (letter == 'K')
                content += KbfWriter::record(q);
            else
                content += static_cast<TextQuoteWriter*>(writer.get())->line(QString::fromLatin1(mark), q) + "\r\n";
        }
        for (int n = 0; n < symbols; ++n) {
            const SymbolFile file = symbolFile(QLatin1Char(letter), ticker(n), QString());
            QByteArray bytes = content;
            if (letter == 'S')
                bytes.replace(mark, file.base.toLatin1());
            QFile f(file.path);
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(file.path));
                return false;
            }
        }
    }
    return true;
}

void serve(FakeQuoteService& fake, int symbols, const QDate& day)
{
    for (int n = 0; n < symbols; ++n) {
        const QByteArray t = ticker(n).toLatin1();
        fake.addQuote({t, serviceDate(day), "4:00pm", "10.5", "11", "10", "10.75", QByteArray::number(1000 + n),
                       t + " CORP", "NYSE"});
    }
    fake.useForAllHosts();
}

// The most requests the service was answering at one moment.
int mostInFlight(const QVector<FakeQuoteService::Request>& requests)
{
    QVector<QPair<qint64, int>> events;
    for (const auto& r : requests) {
        events.append({r.arrivedMs, 1});
        events.append({r.answeredMs < 0 ? r.arrivedMs : r.answeredMs, -1});
    }
    std::sort(events.begin(), events.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second < b.second;
    });
    int now = 0, most = 0;
    for (const auto& e : events) {
        now += e.second;
        most = std::max(most, now);
    }
    return most;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int latencyMs = 0;
    int inFlight = 0;
    bool keepAlive = false;
    QStringList positional;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--latency") && i + 1 < args.size())
            latencyMs = std::max(0, args[++i].toInt());
        else if (args[i] == QLatin1String("--max-in-flight") && i + 1 < args.size())
            inFlight = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--keep-alive"))
            keepAlive = true;
        else
            positional << args[i];
    }
    const int symbols = positional.size() > 0 ? std::max(1, positional[0].toInt()) : 10000;
    const int days = positional.size() > 1 ? std::max(1, positional[1].toInt()) : 2000;
    const bool excel = positional.size() > 2 && positional[2].toUpper().contains(QLatin1Char('E'));
    const bool metastock = positional.size() > 2 && positional[2].toUpper().contains(QLatin1Char('M'));

    const bench::DataFolder folder;
    if (!folder.opened())
        return 1;
    const QString root = folder.root();
    {
        Database db(paths::databaseFile());
        Transaction t(db);
        for (int n = 0; n < symbols; ++n) {
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                                   "VALUES (1, ?, ?, 'Unknown', 1)"),
                    {ticker(n), ticker(n) + QStringLiteral(" CORP")});
        }
        t.commit();
    }

    ProgramSettings& s = settings();
    s.isdelay = false;
    if (inFlight > 0)
        store::write(QStringLiteral("MaxInFlight"), QString::number(inFlight));
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

    // History up to three days ago; the measured run brings the day before
    // yesterday, the stopped run yesterday, so both only append.
    const QDate today = QDate::currentDate();
    QElapsedTimer clock;
    clock.start();
    if (!prefill(symbols, days, today.addDays(-3)))
        return 1;
    if (metastock) {
        s.format('M').on = true;
        s.format('M').folder = root + QStringLiteral("metastock/");
        for (int k = 0; k * 2000 < symbols; ++k)
            fillMetastockFolder(s.format('M').folder + QStringLiteral("F%1").arg(k), std::min(2000, symbols - k * 2000),
                                days, today.addDays(-3), [k](int n) { return ticker(k * 2000 + n); });
    }
    // The files of a real run have long been on disk: the write-back of the
    // set-up must not be measured as the run's.
    ::sync();
    std::printf("%d symbols, %d days in each file of S, D, C, K (written in %.1f s)\n", symbols, days,
                static_cast<double>(clock.elapsed()) / 1000.0);
    const long setupKb = peakKb();

    FakeQuoteService fake;
    fake.setDelay(latencyMs);
    fake.setKeepAlive(keepAlive);
    serve(fake, symbols, today.addDays(-2));
    std::printf("service answers after %d ms, MaxInFlight %d, delay between requests off\n", latencyMs,
                CurrentRun::maxInFlight());

    CurrentRun run;
    GapMeter updates;
    // The phase and detail shown when the longest gap began, to see where it was.
    QString text1, text2, gapAfter;
    auto update = [&] {
        const qint64 before = updates.longest;
        updates.tick();
        if (updates.longest != before)
            gapAfter = QLatin1Char('"') + text1 + QStringLiteral("\" / \"") + text2 + QLatin1Char('"');
    };
    QObject::connect(&run, &CurrentRun::panel1Changed, [&](const QString& t) {
        update();
        text1 = t;
    });
    QObject::connect(&run, &CurrentRun::panel2Changed, [&](const QString& t) {
        update();
        text2 = t;
    });
    QObject::connect(&run, &CurrentRun::progressChanged, update);
    // How long the event loop went without turning: what a window feels.
    GapMeter loop;
    QTimer heartbeat;
    heartbeat.setInterval(10);
    QObject::connect(&heartbeat, &QTimer::timeout, [&loop] { loop.tick(); });

    updates.start();
    loop.start();
    heartbeat.start();
    clock.restart();
    const double cpuBefore = threadCpuSeconds();
    runToEnd(run);
    const double runCpu = threadCpuSeconds() - cpuBefore;
    const qint64 wallMs = clock.elapsed();
    update();
    heartbeat.stop();

    const CurrentRunSummary& sum = run.summary();
    std::printf("run: %.2f s wall, %.0f us per quote, %d requests (%d failed), %d quotes downloaded\n",
                static_cast<double>(wallMs) / 1000.0, 1000.0 * static_cast<double>(wallMs) / symbols, sum.batches,
                sum.failedBatches, sum.quotesReceived);
    std::printf("run CPU (this thread, with the fake service's answers): %.2f s, of it storing %.3f s (%.1f %%)\n",
                runCpu, run.storeSeconds(), 100.0 * run.storeSeconds() / runCpu);
    std::printf("peak memory (VmHWM): %.1f MB (%.1f MB after setting up)\n", static_cast<double>(peakKb()) / 1024.0,
                static_cast<double>(setupKb) / 1024.0);
    std::printf("written:");
    for (char letter : {'E', 'M', 'S', 'D', 'C', 'K', 'P', 'V', 'I'})
        std::printf(" %c %d", letter, sum.written.value(QLatin1Char(letter)));
    std::printf(", not written %d\n", sum.writeFailures);
    for (const QString& note : sum.notes)
        std::printf("%s\n", qPrintable(note));
    std::printf("longest gap between progress/panel updates: %lld ms (%d updates), after %s\n",
                static_cast<long long>(updates.longest), updates.ticks, qPrintable(gapAfter));
    std::printf("longest gap between event-loop turns: %lld ms\n", static_cast<long long>(loop.longest));
    std::printf("requests in flight together: at most %d\n", mostInFlight(fake.requests()));
    if (keepAlive)
        std::printf("connections opened: %d for %lld requests\n", fake.connections(),
                    static_cast<long long>(fake.requests().size()));
    std::printf("outcome: %s\n", qPrintable(sum.outcome()));
    if (!folder.messages().shown.isEmpty())
        std::printf("messages: %s\n", qPrintable(folder.messages().texts().join(QLatin1Char('|'))));

    // The same run again, stopped after a second.
    FakeQuoteService second;
    second.setDelay(latencyMs);
    serve(second, symbols, today.addDays(-1));
    QElapsedTimer stopClock;
    QTimer::singleShot(1000, &run, [&run, &stopClock] {
        stopClock.start();
        run.stop();
    });
    clock.restart();
    runToEnd(run);
    const qint64 stoppedMs = stopClock.isValid() ? stopClock.elapsed() : -1;
    std::printf("stopped run: ended %lld ms after Stop (%.2f s in all), %d requests, %d quotes written, %s\n",
                static_cast<long long>(stoppedMs), static_cast<double>(clock.elapsed()) / 1000.0, run.summary().batches,
                run.summary().totalWritten(), qPrintable(run.summary().outcome()));
    setMessages(nullptr);
    return 0;
}
