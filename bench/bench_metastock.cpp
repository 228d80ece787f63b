// MetaStock figures: appending one day to a security of 5,000 records in a
// folder of 2,000 securities, and changing that day's record in place;
// rebuilding the map over 6,000 securities in
// three folders; merging a 5,000-record history block into a security of
// 5,000 records.
//   ./build/bench/bench_metastock

#include "benchutil.h"
#include "metastockfill.h"

#include "mslink/writer.h"
#include "support/messages.h"
#include "support/state.h"
#include "writers/metaclass.h"
#include "writers/metastockmap.h"
#include "writers/metastockrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

qint32 dateOf(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }

QString sym(int n) { return QStringLiteral("SYM%1").arg(n, 5, 10, QLatin1Char('0')); }

struct Times {
    std::vector<double> us;
    void add(qint64 ns) { us.push_back(static_cast<double>(ns) / 1000.0); }
    void print(const char* what)
    {
        std::sort(us.begin(), us.end());
        double sum = 0;
        for (double v : us)
            sum += v;
        std::printf("%s: mean %.0f us, median %.0f us, max %.0f us (%zu runs)\n", what,
                    sum / static_cast<double>(us.size()), us[us.size() / 2], us.back(), us.size());
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bench::DataFolder folder;
    if (!folder.opened())
        return 1;
    const QString root = folder.root();
    const QString ms = root + QStringLiteral("ms/");
    settings().format('M').folder = ms;
    settings().format('M').on = true;
    const QDate last = QDate::currentDate().addDays(-400);

    // 1. Appending one day: a folder of 2,000 securities of 5,000 records.
    QElapsedTimer clock;
    clock.start();
    fillMetastockFolder(ms + QStringLiteral("A"), 2000, 5000, last, sym);
    fillMetastockFolder(ms + QStringLiteral("B"), 2000, 20, last, [](int n) { return sym(2000 + n); });
    fillMetastockFolder(ms + QStringLiteral("C"), 2000, 20, last, [](int n) { return sym(4000 + n); });
    std::printf("set-up: 3 folders of 2,000 securities written in %.1f s\n",
                static_cast<double>(clock.elapsed()) / 1000.0);

    for (int target : {100, 1500}) {
        Times lib;
        const QString ticker = sym(target);
        for (int i = 1; i <= 200; ++i) {
            clock.restart();
            mslink::Writer w;
            w.openFolder(ms + QStringLiteral("A"));
            w.selectSecurity(ticker);
            const qint32 date = dateOf(last.addDays(i));
            if (!w.recordExists(date))
                w.appendRecord(date, 120000, 10, 11, 9, 10.5f, 1234, 0);
            w.flush();
            w.closeSecurity();
            w.release();
            lib.add(clock.nsecsElapsed());
        }
        lib.print(target < 255 ? "append one day, library, security in MASTER"
                               : "append one day, library, security in XMASTER");

        // The same day asked again through the trading day: its record is
        // changed in place (the security now holds 5,200 records).
        Times change;
        const qint32 today = dateOf(last.addDays(200));
        for (int i = 1; i <= 200; ++i) {
            clock.restart();
            mslink::Writer w;
            w.openFolder(ms + QStringLiteral("A"));
            w.selectSecurity(ticker);
            if (w.recordExists(today))
                w.changeRecord(today, today, 120000, 10, 11, 9, 10.5f + static_cast<float>(i) / 100, 1234.0f + i, 0);
            w.flush();
            w.closeSecurity();
            w.release();
            change.add(clock.nsecsElapsed());
        }
        change.print(target < 255 ? "change one day in place, library, security in MASTER"
                                  : "change one day in place, library, security in XMASTER");

        // For comparison, what a change cost when it rewrote the data file:
        // every record read, the file replaced.
        Times rewrite;
        for (int i = 1; i <= 50; ++i) {
            clock.restart();
            mslink::Writer w;
            w.openFolder(ms + QStringLiteral("A"));
            w.selectSecurity(ticker);
            w.deleteRecords(1, 1);  // loads every record, removes none
            w.flush();
            w.release();
            rewrite.add(clock.nsecsElapsed());
        }
        rewrite.print("the same security's data file rewritten whole (a change before it went in place)");
    }

    // 2. The map over 6,000 securities in three folders (the run's database
    // connection is opened first: its key derivation is no part of the map).
    std::optional<MetastockRunState> run{std::in_place};
    clock.restart();
    run->db();
    std::printf("opening the symbol database: %lld ms\n", static_cast<long long>(clock.elapsed()));
    clock.restart();
    const metastockmap::ScanResult scan = metastockmap::rebuildForRun(*run);
    std::printf("map rebuild: %d securities in %d folders in %lld ms\n", scan.securities,
                static_cast<int>(scan.folders.size()), static_cast<long long>(clock.elapsed()));

    // One day through metaclass (map look-up, name check, write) as a run does it.
    Times quote;
    for (int i = 201; i <= 400; ++i) {
        clock.restart();
        metaclass m(*run);
        m.setQuote(
            {sym(1500), sym(1500) + QStringLiteral(" CORP"), dateOf(last.addDays(i)), "10", "11", "9", "10.5", "1234"});
        m.go();
        quote.add(clock.nsecsElapsed());
    }
    quote.print("append one day through metaclass (map, name check, write)");

    // The last day asked again with a larger volume, as the scheduler does
    // through the day: the record is changed in place.
    Times again;
    for (int i = 1; i <= 200; ++i) {
        clock.restart();
        metaclass m(*run);
        m.setQuote({sym(1500), sym(1500) + QStringLiteral(" CORP"), dateOf(last.addDays(400)), "10", "11", "9", "10.5",
                    QString::number(2000 + i)});
        m.go();
        again.add(clock.nsecsElapsed());
    }
    again.print("change one day in place through metaclass (map, name check, stored volume, write)");

    // 3. History blocks of 5,000 records into a security of 5,000 records.
    auto block = [&](int firstOffset) {
        QString text;
        for (int i = 0; i < 5000; ++i)
            text += QStringLiteral("HIST,%1,10.5,11,10,10.75,%2\r\n")
                        .arg(dateOf(last.addDays(firstOffset + i)))
                        .arg(5000 + i);
        return text;
    };
    const struct {
        const char* name;
        int offset;
    } cases[] = {
        {"overlapping half", -2500}, {"after the stored records", 1000}, {"before the stored records", -20000}};
    for (const auto& c : cases) {
        // Each case starts from a security of 5,000 records.
        fillMetastockFolder(ms + QStringLiteral("H"), 1, 5000, last, [](int) { return QStringLiteral("HIST"); });
        run.emplace();
        metastockmap::rebuildForRun(*run);
        const QString text = block(c.offset);
        clock.restart();
        metaclass m(*run);
        m.NaamHistorie(QStringLiteral("HIST CORP"));
        m.GeefHistorieticker(QStringLiteral("HIST"));
        m.raw(text);
        const double rawMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const StepOutcome outcome = m.goraw();
        std::printf("history block of 5,000 merged, %s: %.1f ms (reading the text %.1f ms)%s\n", c.name,
                    static_cast<double>(clock.nsecsElapsed()) / 1e6, rawMs,
                    outcome == StepOutcome::Done ? "" : " (NOT WRITTEN)");
    }
    if (!folder.messages().shown.isEmpty())
        std::printf("messages: %s\n", qPrintable(folder.messages().texts().join(QLatin1Char('|'))));
    run.reset();
    setMessages(nullptr);
    return 0;
}
