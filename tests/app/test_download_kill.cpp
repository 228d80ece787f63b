#include "downloadfixture.h"

#include "database/db.h"
#include "database/startup.h"
#include "support/paths.h"
#include "support/runlock.h"
#include "support/yield.h"
#include "writers/codecs/kbf/kbfwriter.h"
#include "writers/codecs/text/textformats.h"
#include "writers/filenames.h"
#include "writers/formatregistry.h"

#include <QDir>
#include <QFile>
#include <csignal>

namespace {
qint32 dateOf(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }

int crlfCount(const QString& file) { return static_cast<int>(readAll(file).count("\r\n")); }
}  // namespace

// A run killed at any moment leaves each quote file as it was or with the
// new quote, never cut, and a database that opens.
class DownloadKillTest : public DownloadCommandTest {
protected:
    struct Expect {
        QChar letter;
        QByteArray before, after;
    };

    // Files of S, C and K for every ticker holding `days` days up to three
    // days ago. Every fourth ticker's files also hold a day after the new
    // quote's, so its quote goes in by rewriting the file, not appending.
    void makeFiles(const QStringList& tickers, int days)
    {
        for (const QChar letter : {QLatin1Char('S'), QLatin1Char('C'), QLatin1Char('K')}) {
            const auto writer = makeSymbolWriter(letter);
            for (int n = 0; n < tickers.size(); ++n) {
                const QString base = filenames::tickerBaseName(tickers[n]);
                auto entry = [&](const Quote& q) {
                    return letter == QLatin1Char('K')
                               ? KbfWriter::record(q)
                               : static_cast<TextQuoteWriter*>(writer.get())->line(base, q) + "\r\n";
                };
                QVector<QByteArray> entries;
                for (int i = 0; i < days; ++i) {
                    const QString p = QString::number(20 + i % 30) + QStringLiteral(".25");
                    entries << entry(
                        {tickers[n], {}, dateOf(day.addDays(i - days - 2)), p, p, p, p, QString::number(500 + i)});
                }
                QVector<QByteArray> withNew = entries;
                const QByteArray added = entry({tickers[n], {}, dateOf(day), "10.5", "11", "10", "10.75", "1200"});
                if (n % 4 == 3) {
                    const QByteArray later =
                        entry({tickers[n], {}, dateOf(day.addDays(3)), "30", "30", "30", "30", "9"});
                    entries << later;
                    withNew << added << later;
                } else {
                    withNew << added;
                }
                const QString file = folder[letter] + base + QLatin1String(formats::find(letter)->extension);
                files[file] = {letter, entries.toList().join(), withNew.toList().join()};
            }
        }
        restore();
    }

    void restore()
    {
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            writeFile(it.key(), it->before);
    }

    // Every quote file as it was or with the new quote; returns how many
    // took it.
    int checkQuoteFiles(const QString& moment)
    {
        int updated = 0;
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QByteArray now = readAll(it.key());
            if (now == it->after) {
                ++updated;
                continue;
            }
            if (now == it->before)
                continue;
            const bool kbf = it->letter == QLatin1Char('K');
            const QString shape =
                kbf ? QStringLiteral("size %1, a multiple of 14: %2").arg(now.size()).arg(now.size() % 14 == 0)
                    : QStringLiteral("size %1, ends with CR LF: %2").arg(now.size()).arg(now.endsWith("\r\n"));
            ADD_FAILURE() << qPrintable(moment) << ": " << qPrintable(it.key())
                          << " is neither as it was nor with the new quote (" << qPrintable(shape) << ")";
        }
        return updated;
    }

    // The run's own files hold whole lines only, once the next holder of
    // the run lock has taken it: a kill can end a write that crosses a page
    // of the file part-way, and the lock's next holder cuts that line back.
    void checkRunFiles(const QString& moment)
    {
        RunLock next;
        QString refusal;
        EXPECT_TRUE(next.acquire(QStringLiteral("download"), &refusal)) << qPrintable(moment);
        QStringList runFiles{paths::dataFile(QStringLiteral("ami1.txt")), paths::dataFile(QStringLiteral("ami2.txt"))};
        for (const QChar letter : {QLatin1Char('V'), QLatin1Char('P')}) {
            for (const QString& name : QDir(folder[letter]).entryList(QDir::Files))
                runFiles << folder[letter] + name;
        }
        for (const QString& file : runFiles) {
            const QByteArray bytes = readAll(file);
            EXPECT_TRUE(bytes.isEmpty() || bytes.endsWith("\r\n"))
                << qPrintable(moment) << ": " << qPrintable(file) << " ends in a cut line";
        }
    }

    void checkDatabase(const QString& moment, int symbols)
    {
        msgs.shown.clear();
        EXPECT_TRUE(runStartup().opened) << qPrintable(moment);
        EXPECT_FALSE(msgs.texts().join(QLatin1Char('|')).contains(QStringLiteral("unable to open database")))
            << qPrintable(moment);
        Database db(paths::databaseFile());
        EXPECT_EQ(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"))
            << qPrintable(moment);
        EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM fondsen WHERE list1 = 1")).toInt(), symbols);
    }

    QMap<QString, Expect> files;
};

TEST_F(DownloadKillTest, KilledAnywhereEveryFileIsWholeAndTheNextRunCompletes)
{
    const int symbols = 540;  // three batches
    const QStringList tickers = numbered(QStringLiteral("K"), symbols);
    addSymbols(tickers);
    switchOn(QStringLiteral("SCKPV"));
    makeFiles(tickers, 300);
    const QString ami1 = paths::dataFile(QStringLiteral("ami1.txt"));
    // The service leaves the third batch unanswered (and the run waits for
    // it far longer than the test does), so every kill lands in a run that
    // has not finished writing, however slow the machine.
    setColumn(QStringLiteral("teller2"), 60);
    fake.setFaultChooser([](const FakeQuoteService::Request& r) {
        return r.query.value("s").startsWith("K360+") ? FakeQuoteService::Fault::Hang : FakeQuoteService::Fault::None;
    });

    // After a fixed time, or once the staging file holds this many quotes.
    const struct {
        const char* name;
        int afterMs;
        int quotesStaged;
    } moments[] = {{"killed after 50 ms", 50, 0},
                   {"killed after 150 ms", 150, 0},
                   {"killed after 300 ms", 300, 0},
                   {"killed at the first quote written", -1, 1},
                   {"killed in the second batch", -1, 200}};
    for (const auto& m : moments) {
        QFile::remove(ami1);
        const auto p = start();
        if (m.afterMs >= 0) {
            pause(m.afterMs);
        } else {
            ASSERT_TRUE(waitUntil([&] { return crlfCount(ami1) - 1 >= m.quotesStaged; }, 30000)) << m.name;
            ASSERT_EQ(p->state(), QProcess::Running) << m.name << ": the run ended before it could be killed";
        }
        const bool cutShort = p->state() == QProcess::Running;
        p->kill();
        ASSERT_TRUE(p->waitForFinished(5000));
        EXPECT_EQ(p->exitStatus(), QProcess::CrashExit) << m.name;

        const int updated = checkQuoteFiles(QLatin1String(m.name));
        if (m.afterMs < 0) {
            // The kill must have landed while the files were being written.
            EXPECT_TRUE(cutShort);
            EXPECT_LT(updated, files.size()) << m.name;
        }
        checkRunFiles(QLatin1String(m.name));
        checkDatabase(QLatin1String(m.name), symbols);
        restore();
    }

    // The next run after all those kills, answered in full, writes everything.
    fake.setFaultChooser(nullptr);
    const Run r = run();
    EXPECT_EQ(r.status, 0) << qPrintable(r.err) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_EQ(checkQuoteFiles(QStringLiteral("complete run")), files.size());
    EXPECT_EQ(crlfCount(ami1), symbols + 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Download finished: 540 of 540 written")));
}
