#include "downloadfixture.h"
#include "historytable.h"

#include "database/db.h"
#include "database/quotestore.h"
#include "database/startup.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/yield.h"
#include "writers/codecs/kbf/kbfwriter.h"
#include "writers/codecs/text/textformats.h"
#include "writers/filenames.h"
#include "writers/formatregistry.h"
#include "writers/storedfiles.h"
#include "writers/symbolwriter.h"

#include <QDir>
#include <QFile>

namespace {
const QDate kFrom(2003, 1, 6);
const QDate kTo(2004, 12, 31);

qint32 dateOf(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }
}  // namespace

// A historical run killed at any moment leaves every per-symbol file as it
// was or fully merged, the staging and run files in whole lines, and a
// database that opens.
class HistoryKillTest : public DownloadCommandTest {
protected:
    void SetUp() override
    {
        DownloadCommandTest::SetUp();
        historyFromFake();
        fake.setResponder(fakehistory::responder());
    }

    // Files of S, C and K holding 300 days that overlap the start of the
    // downloaded range, with prices of their own (the merge replaces them).
    void makeFiles(const QStringList& tickers)
    {
        for (const QChar letter : {QLatin1Char('S'), QLatin1Char('C'), QLatin1Char('K')}) {
            const auto writer = makeSymbolWriter(letter);
            for (const QString& t : tickers) {
                const QString base = filenames::tickerBaseName(t);
                QByteArray content;
                for (int i = 0; i < 300; ++i) {
                    const Quote q{t, {}, dateOf(kFrom.addDays(i - 150)), "1.5", "1.5", "1.5", "1.5", "77"};
                    content += letter == QLatin1Char('K')
                                   ? KbfWriter::record(q)
                                   : static_cast<TextQuoteWriter*>(writer.get())->line(base, q) + "\r\n";
                }
                const QString file = folder[letter] + base + QLatin1String(formats::find(letter)->extension);
                before[file] = content;
                if (letter == QLatin1Char('C'))
                    asciiTicker[file] = t;
            }
        }
        restore();
    }

    void restore()
    {
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            writeFile(it.key(), it.value());
    }

    QStringList args() const
    {
        return {QStringLiteral("download"),  QStringLiteral("history"), QStringLiteral("--from"),
                kFrom.toString(Qt::ISODate), QStringLiteral("--to"),    kTo.toString(Qt::ISODate)};
    }

    // Returns how many files were fully merged.
    int checkFiles(const QString& moment)
    {
        int merged = 0;
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            const QByteArray now = readAll(it.key());
            if (now == after.value(it.key()))
                ++merged;
            else if (now != it.value())
                ADD_FAILURE() << qPrintable(moment) << ": " << qPrintable(it.key()) << " is cut (" << now.size()
                              << " bytes)";
        }
        QStringList runFiles{paths::dataFile(QStringLiteral("ami1.txt")), paths::dataFile(QStringLiteral("ami2.txt"))};
        for (const QChar letter : {QLatin1Char('V'), QLatin1Char('I'), QLatin1Char('P')}) {
            for (const QString& name : QDir(folder[letter]).entryList(QDir::Files))
                runFiles << folder[letter] + name;
        }
        for (const QString& file : runFiles) {
            const QByteArray bytes = readAll(file);
            EXPECT_TRUE(bytes.isEmpty() || bytes.endsWith("\r\n")) << qPrintable(moment) << ": " << qPrintable(file);
        }
        // The quote store opens, and every downloaded day a merged file
        // holds is in it: the store is written before any file.
        if (QFile::exists(QuoteStore::defaultPath())) {
            QuoteStore quotes;
            EXPECT_EQ(quotes.check(), QStringList()) << qPrintable(moment);
            for (auto it = asciiTicker.cbegin(); it != asciiTicker.cend(); ++it) {
                if (readAll(it.key()) != after.value(it.key()))
                    continue;
                QSet<qint32> stored;
                for (const core::Bar& b : quotes.bars(it.value()))
                    stored.insert(b.date);
                for (const storedfiles::Day& d : storedfiles::readDays(it.key(), QLatin1Char('C')).days) {
                    const qint32 date = d.date.year() * 10000 + d.date.month() * 100 + d.date.day();
                    // Days the download did not have keep the file's own 1.5.
                    if (d.date >= kFrom && d.date <= kTo && d.close != 1.5) {
                        EXPECT_TRUE(stored.contains(date)) << qPrintable(moment) << ": " << qPrintable(it.value())
                                                           << " " << date << " is in its file but not in the store";
                    }
                }
            }
        }
        msgs.shown.clear();
        EXPECT_TRUE(runStartup().opened) << qPrintable(moment);
        Database db(paths::databaseFile());
        EXPECT_EQ(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"))
            << qPrintable(moment);
        return merged;
    }

    QMap<QString, QByteArray> before, after;
    QMap<QString, QString> asciiTicker;  // the ASCII files and their tickers
};

TEST_F(HistoryKillTest, KilledAnywhereEveryFileIsWholeAndTheNextRunCompletes)
{
    QStringList tickers;
    for (int i = 0; i < 30; ++i)
        tickers << QStringLiteral("K%1.AS").arg(i, 2, 10, QLatin1Char('0'));
    addSymbols(tickers, false);
    switchOn(QStringLiteral("SCKPVI"));
    makeFiles(tickers);

    // The merged files, from a run that is let finish.
    const Run complete = run(args());
    ASSERT_EQ(complete.status, 0) << qPrintable(complete.err) << qPrintable(complete.out.join(QLatin1Char('\n')));
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        after[it.key()] = readAll(it.key());
        ASSERT_NE(after[it.key()], it.value());
    }
    restore();

    // From now on the service leaves the last symbol unanswered (and the
    // run waits for it far longer than the test does), so every kill lands
    // in a run that has not finished, however slow the machine.
    setColumn(QStringLiteral("teller2"), 60);
    fake.setFaultChooser([](const FakeQuoteService::Request& r) {
        return r.query.value("s").toUpper() == "K29.AS" ? FakeQuoteService::Fault::Hang : FakeQuoteService::Fault::None;
    });
    const QString ami1 = paths::dataFile(QStringLiteral("ami1.txt"));
    const struct {
        const char* name;
        int afterMs;
        int linesStaged;
    } moments[] = {{"killed after 50 ms", 50, 0},
                   {"killed after 200 ms", 200, 0},
                   {"killed at the first day staged", -1, 2},
                   {"killed while the files are merged", -1, 3000},
                   {"killed late in the run", -1, 12000}};
    for (const auto& m : moments) {
        QFile::remove(ami1);
        const auto p = start(args());
        if (m.afterMs >= 0) {
            pause(m.afterMs);
        } else {
            ASSERT_TRUE(waitUntil([&] { return readAll(ami1).count("\r\n") >= m.linesStaged; }, 30000)) << m.name;
        }
        const bool running = p->state() == QProcess::Running;
        p->kill();
        ASSERT_TRUE(p->waitForFinished(5000));
        if (m.afterMs < 0) {
            EXPECT_TRUE(running) << m.name << ": the run ended before it could be killed";
        }
        const int merged = checkFiles(QLatin1String(m.name));
        if (m.afterMs < 0 && m.linesStaged > 2) {
            EXPECT_LT(merged, before.size()) << m.name;
        }
        restore();
    }

    fake.setFaultChooser(nullptr);
    const Run last = run(args());
    EXPECT_EQ(last.status, 0) << qPrintable(last.err);
    EXPECT_EQ(checkFiles(QStringLiteral("complete run")), before.size());
}
