#include "downloadfixture.h"
#include "historytable.h"

#include "database/quotestore.h"
#include "support/settingsstore.h"
#include "support/yield.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <algorithm>
#include <csignal>

namespace {

const QStringList kRange{QStringLiteral("--from"), QStringLiteral("2004-01-05"), QStringLiteral("--to"),
                         QStringLiteral("2004-03-05")};
const QDate kHole(2004, 3, 2);

QStringList historyArgs() { return QStringList{QStringLiteral("download"), QStringLiteral("history")} + kRange; }

}  // namespace

// `gaps` as a user runs it: the store filled by historical downloads from
// the fake chart host, some of whose answers leave a session out.
class GapsCommandTest : public DownloadCommandTest {
protected:
    void SetUp() override
    {
        DownloadCommandTest::SetUp();
        historyFromFake(5);
        switchOn(QStringLiteral("CM"));
        fake.setResponder([this](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
            QDate start, end;
            if (r.path != "/table.csv" || !fakehistory::range(r, &start, &end))
                return std::nullopt;
            const QByteArray symbol = r.query.value("s");
            QByteArray body;
            for (const QByteArray& line : fakehistory::answer(symbol, start, end).split('\n')) {
                if (line.isEmpty() || (lacks && lacks(symbol, line)))
                    continue;
                body += line + '\n';
            }
            return FakeQuoteService::Reply{200, body, "text/csv"};
        });
        for (int i = 0; i < 12; ++i)
            tickers << QStringLiteral("S%1.AS").arg(i, 2, 10, QLatin1Char('0'));
    }

    // The answers of `symbols` (as the service asks for them, any case) leave
    // out the line of `date`.
    void leaveOut(const QList<QByteArray>& symbols, const QDate& date)
    {
        const QByteArray stamp = QLocale::c().toString(date, QStringLiteral("d-MMM-yy")).toLatin1() + ',';
        lacks = [symbols, stamp](const QByteArray& symbol, const QByteArray& line) {
            return symbols.contains(symbol.toUpper()) && line.startsWith(stamp);
        };
    }

    // Every file under the folders of the formats, with its bytes.
    QMap<QString, QByteArray> files()
    {
        QMap<QString, QByteArray> out;
        for (const QString& dir : std::as_const(folder)) {
            for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
                const QString f = it.next();
                out.insert(f, readAll(f));
            }
        }
        return out;
    }
    void removeFiles()
    {
        for (const QString& dir : std::as_const(folder)) {
            QDir(dir).removeRecursively();
            QDir().mkpath(dir);
        }
    }

    // A later session for every symbol but `except`, put into the store as a
    // current run would.
    void addSession(const QDate& date, const QString& except = {})
    {
        QuoteStore store;
        store.begin();
        const int source = store.source(QStringLiteral("test"), QDateTime::currentDateTimeUtc());
        core::Bar b;
        b.date = date.year() * 10000 + date.month() * 100 + date.day();
        b.open = b.high = b.low = b.close = core::Figure::parse(QStringLiteral("10.00"));
        b.volume = core::Figure::parse(QStringLiteral("100"));
        for (const QString& t : std::as_const(tickers)) {
            if (t != except)
                store.put(t, b, source);
        }
        store.commit();
    }

    // History requests the fake has had.
    int asked() const
    {
        return static_cast<int>(
            std::count_if(fake.requests().cbegin(), fake.requests().cend(),
                          [](const FakeQuoteService::Request& r) { return r.path == "/table.csv"; }));
    }

    std::function<bool(const QByteArray& symbol, const QByteArray& line)> lacks;
    QStringList tickers;
};

TEST_F(GapsCommandTest, ListsAPlantedSessionAndFillsItAsAFullDownloadWritesIt)
{
    addSymbols(tickers, false);
    leaveOut({"S02.AS", "S05.AS"}, kHole);
    ASSERT_EQ(run(historyArgs()).status, 0);
    fake.clearRequests();

    const Run listed = run({QStringLiteral("gaps")});
    EXPECT_EQ(listed.status, 0) << qPrintable(listed.err);
    EXPECT_EQ(listed.out,
              (QStringList{QStringLiteral("S02.AS: missing 2004-03-02"), QStringLiteral("S05.AS: missing 2004-03-02"),
                           QStringLiteral("symbols checked: 12, with gaps: 2")}));
    EXPECT_TRUE(fake.requests().isEmpty());

    // The provider has the day now.
    const QMap<QString, QByteArray> planted = files();
    lacks = nullptr;
    const Run filled = run({QStringLiteral("gaps"), QStringLiteral("--fill")});
    EXPECT_EQ(filled.status, 0) << qPrintable(filled.err) << qPrintable(filled.out.join(QLatin1Char('\n')));
    EXPECT_TRUE(filled.out.contains(QStringLiteral("S02.AS: filled 2004-03-02")))
        << qPrintable(filled.out.join(QLatin1Char('\n')));
    EXPECT_TRUE(filled.out.contains(QStringLiteral("S05.AS: filled 2004-03-02")));
    EXPECT_EQ(asked(), 2);  // one request per symbol
    EXPECT_EQ(run({QStringLiteral("gaps")}).out, QStringList{QStringLiteral("symbols checked: 12, with gaps: 0")});

    // The files are those a full download of the final data writes.
    const QMap<QString, QByteArray> merged = files();
    removeFiles();
    ASSERT_EQ(run(historyArgs()).status, 0);
    const QMap<QString, QByteArray> full = files();
    EXPECT_EQ(merged.keys(), full.keys());
    for (auto it = full.cbegin(); it != full.cend(); ++it)
        EXPECT_EQ(merged.value(it.key()), it.value()) << qPrintable(it.key());
    // The gap fill changed the files of the symbols that lacked the day.
    const QString s02 = folder[QLatin1Char('C')] + QStringLiteral("S02_AS.asc");
    EXPECT_NE(planted.value(s02), full.value(s02));
    EXPECT_NE(planted.value(folder[QLatin1Char('M')] + QStringLiteral("Q001/F3.DAT")),
              full.value(folder[QLatin1Char('M')] + QStringLiteral("Q001/F3.DAT")));
    EXPECT_EQ(planted.value(folder[QLatin1Char('M')] + QStringLiteral("Q001/F4.DAT")),
              full.value(folder[QLatin1Char('M')] + QStringLiteral("Q001/F4.DAT")));
}

TEST_F(GapsCommandTest, ADayTheProviderStillLacksIsAskedOncePerLaterSessionThenGivenUp)
{
    addSymbols(tickers, false);
    // Two symbols lack it, and the provider leaves it out of both answers:
    // a hole it may fill later.
    leaveOut({"S02.AS", "S05.AS"}, kHole);
    ASSERT_EQ(run(historyArgs()).status, 0);
    fake.clearRequests();

    const Run first = run({QStringLiteral("gaps"), QStringLiteral("--fill")});
    EXPECT_TRUE(first.out.contains(QStringLiteral("S02.AS: still missing 2004-03-02")))
        << qPrintable(first.out.join(QLatin1Char('\n')));
    EXPECT_EQ(asked(), 2);
    // No later session: not asked again.
    const Run same = run({QStringLiteral("gaps"), QStringLiteral("--fill")});
    EXPECT_TRUE(same.out.contains(QStringLiteral("Nothing to ask for")))
        << qPrintable(same.out.join(QLatin1Char('\n')));
    EXPECT_EQ(asked(), 2);

    // 2004-03-02 had 3 sessions after it; each new one asks once more until
    // it is 10 sessions old.
    int sessions = 3;
    for (QDate d(2004, 3, 8); sessions < 10; d = d.addDays(1)) {
        if (d.dayOfWeek() >= Qt::Saturday)
            continue;
        addSession(d);
        ++sessions;
        const Run r = run({QStringLiteral("gaps"), QStringLiteral("--fill")});
        if (sessions < 10) {
            EXPECT_EQ(asked(), 2 * (sessions - 2)) << sessions;
        } else {
            EXPECT_TRUE(r.out.contains(QStringLiteral("S02.AS: given up 2004-03-02")))
                << qPrintable(r.out.join(QLatin1Char('\n')));
            EXPECT_EQ(asked(), 2 * 7);
        }
    }
}

TEST_F(GapsCommandTest, ADayOneSymbolLacksAmongItsDaysIsSettled)
{
    addSymbols(tickers, false);
    leaveOut({"S02.AS"}, kHole);
    ASSERT_EQ(run(historyArgs()).status, 0);
    const Run r = run({QStringLiteral("gaps"), QStringLiteral("--fill")});
    EXPECT_TRUE(r.out.contains(QStringLiteral("S02.AS: no trading 2004-03-02")))
        << qPrintable(r.out.join(QLatin1Char('\n')));
    addSession(QDate(2004, 3, 8));
    fake.clearRequests();
    EXPECT_EQ(run({QStringLiteral("gaps"), QStringLiteral("--fill")}).out.last(), QStringLiteral("Nothing to ask for"));
    EXPECT_TRUE(fake.requests().isEmpty());
}

TEST_F(GapsCommandTest, AMarketOfTooFewSymbolsIsNamedOnceAndNotChecked)
{
    const QStringList few{QStringLiteral("F1.XX"), QStringLiteral("F2.XX"), QStringLiteral("F3.XX")};
    addSymbols(few + tickers, false);
    leaveOut({"F2.XX"}, kHole);
    ASSERT_EQ(run(historyArgs()).status, 0);
    fake.clearRequests();
    const Run r = run({QStringLiteral("gaps"), QStringLiteral("--fill")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out,
              (QStringList{QStringLiteral("market XX: sessions unknown (3 symbols, not checked)"),
                           QStringLiteral("symbols checked: 12, with gaps: 0"), QStringLiteral("Nothing to ask for")}));
    EXPECT_TRUE(fake.requests().isEmpty());
}

// SIGINT stops the fill: the symbols answered by then stay filled, in the
// store and the files; the others are asked the next time.
TEST_F(GapsCommandTest, SigintStopsTheFillAndWhatWasFilledStays)
{
    addSymbols(tickers, false);
    QList<QByteArray> all;
    for (const QString& t : std::as_const(tickers))
        all << t.toLatin1();
    leaveOut(all.mid(0, 5), kHole);
    ASSERT_EQ(run(historyArgs()).status, 0);
    lacks = nullptr;
    setColumn(QStringLiteral("teller2"), 30);
    store::write(QStringLiteral("MaxInFlightHistory"), QStringLiteral("1"));
    store::sync();
    fake.clearRequests();
    fake.holdAnswers(true);
    const auto p = start({QStringLiteral("gaps"), QStringLiteral("--fill")});
    ASSERT_TRUE(waitUntil([this] { return fake.requests().size() >= 1; }, 60000));
    fake.releaseAnswers();
    ASSERT_TRUE(waitUntil([this] { return fake.requests().size() >= 2; }, 60000));
    // The second answer is held until the fill has ended: Stop ends its request.
    ::kill(static_cast<pid_t>(p->processId()), SIGINT);
    ASSERT_TRUE(waitUntil([&p] { return p->state() == QProcess::NotRunning; }, 60000));
    fake.holdAnswers(false);
    fake.releaseAnswers();
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 5);
    const QStringList out = QString::fromUtf8(p->readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const qsizetype filled = out.filter(QStringLiteral(": filled 2004-03-02")).size();
    EXPECT_GE(filled, 1) << qPrintable(out.join(QLatin1Char('\n')));
    EXPECT_LT(filled, 5);
    // The rest is still open and asked next time.
    const Run rest = run({QStringLiteral("gaps"), QStringLiteral("--fill")});
    EXPECT_EQ(rest.out.filter(QStringLiteral(": filled 2004-03-02")).size(), 5 - filled)
        << qPrintable(rest.out.join(QLatin1Char('\n')));
}

// A current run that wrote quotes asks for the gaps of its symbols after
// them; its output and the report name the days filled.
TEST_F(GapsCommandTest, ACurrentRunFillsTheGapsOfItsSymbolsAndReportsThem)
{
    addSymbols(tickers);
    QVector<QDate> past;
    for (QDate d = day.addDays(-1); past.size() < 15; d = d.addDays(-1)) {
        if (d.dayOfWeek() < Qt::Saturday)
            past.prepend(d);
    }
    const QDate hole = past[7];
    for (const QDate& d : std::as_const(past)) {
        if (d != hole)
            addSession(d);
    }
    // S02 alone lacks the hole.
    addSession(hole, QStringLiteral("S02.AS"));
    const Run r = run();
    EXPECT_EQ(r.status, 0) << qPrintable(r.err) << qPrintable(r.out.join(QLatin1Char('\n')));
    const QString line = QStringLiteral("S02.AS: filled ") + hole.toString(Qt::ISODate);
    EXPECT_TRUE(r.out.contains(QStringLiteral("  ") + line)) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_EQ(asked(), 1);
    const ProgramRun report = runQuotaris({QStringLiteral("report"), QStringLiteral("current")});
    EXPECT_TRUE(report.out.contains(QStringLiteral("  ") + line)) << qPrintable(report.out);
    EXPECT_TRUE(run({QStringLiteral("gaps")}).out.contains(QStringLiteral("symbols checked: 12, with gaps: 0")));

    // The next run finds nothing to ask for, and its report no gap.
    fake.clearRequests();
    EXPECT_EQ(run().status, 0);
    EXPECT_EQ(asked(), 0);
    EXPECT_FALSE(runQuotaris({QStringLiteral("report"), QStringLiteral("current")}).out.contains(line));
}

// A current run whose market has too few symbols to tell its sessions
// names it in its report, once, as `gaps` does.
TEST_F(GapsCommandTest, ACurrentRunNamesAMarketWhoseSessionsAreUnknownInItsReport)
{
    addSymbols({QStringLiteral("F1.XX"), QStringLiteral("F2.XX"), QStringLiteral("F3.XX")});
    const Run r = run();
    EXPECT_EQ(r.status, 0) << qPrintable(r.err) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_EQ(asked(), 0);
    const QString line = QStringLiteral("market XX: sessions unknown (3 symbols, not checked)");
    const ProgramRun report = runQuotaris({QStringLiteral("report"), QStringLiteral("current")});
    EXPECT_EQ(report.lines().filter(line).size(), 1) << qPrintable(report.out);
    EXPECT_TRUE(run({QStringLiteral("gaps")}).out.contains(line));
}
