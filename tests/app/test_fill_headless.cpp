#include "downloadfixture.h"

#include "database/quotestore.h"
#include "support/paths.h"
#include "support/runlock.h"
#include "support/yield.h"

#include <QDir>
#include <QFile>
#include <csignal>

namespace {

core::Figure figure(const char* text) { return core::Figure(QLatin1String(text), QByteArray(text).toDouble()); }

core::Bar bar(qint32 date, const char* close, const char* volume = "1200")
{
    core::Bar b;
    b.date = date;
    b.open = figure("10.50");
    b.high = figure("11");
    b.low = figure("9.9");
    b.close = figure(close);
    b.volume = figure(volume);
    return b;
}

// `count` weekdays from 2 January 2006 on, one bar each.
QVector<core::Bar> weekdays(int count)
{
    QVector<core::Bar> out;
    for (QDate d(2006, 1, 2); out.size() < count; d = d.addDays(1)) {
        if (d.dayOfWeek() < Qt::Saturday)
            out.append(bar(d.year() * 10000 + d.month() * 100 + d.day(), "10.75"));
    }
    return out;
}

}  // namespace

// `fill` and the offer of `format X on`, as a user runs them: from the days
// the store holds, with no request to the quote service.
class FillCommandTest : public DownloadCommandTest {
protected:
    // The same days of every one of `tickers`, in one transaction.
    void putDays(const QStringList& tickers, const QVector<core::Bar>& days)
    {
        QuoteStore store;
        store.begin();
        const int source = store.source(QStringLiteral("test"), QDateTime::currentDateTimeUtc());
        for (const QString& t : tickers)
            store.putDays(t, days, source);
        store.commit();
    }
    void putDays(const QString& ticker, const QVector<core::Bar>& days) { putDays(QStringList{ticker}, days); }
    // `count` symbols the quote service does not know on list 1, ASCII on,
    // each with the same `days` weekdays in the store.
    QStringList storedSymbols(const QString& prefix, int count, int days)
    {
        const QStringList tickers = numbered(prefix, count);
        addSymbols(tickers, false);
        switchOn(QStringLiteral("C"));
        putDays(tickers, weekdays(days));
        return tickers;
    }

    QStringList lines(const QString& file)
    {
        return QString::fromLatin1(readAll(file)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
};

TEST_F(FillCommandTest, FormatOnOffersTheFillAndTheFillWritesTheStoredDays)
{
    addSymbols({QStringLiteral("AAA"), QStringLiteral("BBB"), QStringLiteral("NEW")}, false);
    putDays(QStringLiteral("AAA"), {bar(20040301, "10.10"), bar(20040302, "10.20"), bar(20040303, "10.30"),
                                    bar(20040304, "10.40"), bar(20040305, "10.50")});
    putDays(QStringLiteral("BBB"), {bar(20040302, "20", "0"), bar(20040303, "20.00")});
    putDays(QStringLiteral("OFFLIST"), {bar(20040302, "1")});
    const QString ascii = path(QStringLiteral("ascii"));
    QDir().mkpath(ascii);

    const Run on =
        run({QStringLiteral("format"), QStringLiteral("C"), QStringLiteral("on"), QStringLiteral("--folder"), ascii});
    EXPECT_EQ(on.status, 0) << qPrintable(on.err);
    EXPECT_EQ(on.out.mid(1), (QStringList{QStringLiteral("The quote store holds the days of 2 symbols of your lists; "
                                                         "to write them to ASCII-format (CSV) now, run:"),
                                          QStringLiteral("  quotaris fill C")}));
    // On already, in the same folder: nothing new to offer.
    EXPECT_EQ(run({QStringLiteral("format"), QStringLiteral("C"), QStringLiteral("on")}).out.size(), 1);

    const Run part = run({QStringLiteral("fill"), QStringLiteral("C"), QStringLiteral("--from"),
                          QStringLiteral("2004-03-02"), QStringLiteral("--to"), QStringLiteral("2004-03-03")});
    EXPECT_EQ(part.status, 5) << qPrintable(part.err);  // NEW has nothing stored
    EXPECT_EQ(part.out,
              (QStringList{QStringLiteral("1/3 AAA: 2 days"), QStringLiteral("2/3 BBB: 2 days"),
                           QStringLiteral("3/3 NEW: nothing stored"), QStringLiteral("symbols: 3"),
                           QStringLiteral("quotes read from the store: 4"),
                           QStringLiteral("written C (ASCII-format (CSV)): 4"), QStringLiteral("nothing stored: NEW"),
                           QStringLiteral("Fill finished: 2 of 3 symbols written, 4 quotes; 1 with "
                                          "nothing stored")}));
    // The prices as the store keeps them, digits and all.
    EXPECT_EQ(lines(ascii + QStringLiteral("/AAA.asc")),
              (QStringList{QStringLiteral("20040302,10.50,11,9.9,10.20,1200"),
                           QStringLiteral("20040303,10.50,11,9.9,10.30,1200")}));
    EXPECT_EQ(lines(ascii + QStringLiteral("/BBB.asc")),
              (QStringList{QStringLiteral("20040302,10.50,11,9.9,20,0"),
                           QStringLiteral("20040303,10.50,11,9.9,20.00,1200")}));
    EXPECT_FALSE(QFile::exists(ascii + QStringLiteral("/NEW.asc")));
    EXPECT_FALSE(QFile::exists(ascii + QStringLiteral("/OFFLIST.asc")));

    // The rest merges into the files; one list only.
    const Run rest = run({QStringLiteral("fill"), QStringLiteral("C"), QStringLiteral("--list"), QStringLiteral("1")});
    EXPECT_EQ(rest.status, 5);
    EXPECT_EQ(lines(ascii + QStringLiteral("/AAA.asc")).size(), 5);
    EXPECT_TRUE(fake.requests().isEmpty());
}

TEST_F(FillCommandTest, IsRefusedWhileAnotherRunHoldsTheFolderAndForWrongUse)
{
    addSymbols({QStringLiteral("AAA")}, false);
    switchOn(QStringLiteral("C"));
    const Run noStore = run({QStringLiteral("fill"), QStringLiteral("C")});
    EXPECT_EQ(noStore.status, 1);
    EXPECT_TRUE(noStore.err.contains(QStringLiteral("holds nothing yet"))) << qPrintable(noStore.err);
    EXPECT_FALSE(QFile::exists(QuoteStore::defaultPath()));

    putDays(QStringLiteral("AAA"), {bar(20040301, "10")});
    {
        RunLock other;
        QString refusal;
        ASSERT_TRUE(other.acquire(QStringLiteral("download"), &refusal));
        const Run busy = run({QStringLiteral("fill"), QStringLiteral("C")});
        EXPECT_EQ(busy.status, 4);
        EXPECT_TRUE(busy.err.contains(QStringLiteral("A download is already running"))) << qPrintable(busy.err);
        EXPECT_FALSE(QFile::exists(folder[QLatin1Char('C')] + QStringLiteral("AAA.asc")));
    }
    for (const QStringList& args :
         {QStringList{QStringLiteral("fill")}, QStringList{QStringLiteral("fill"), QStringLiteral("X")},
          QStringList{QStringLiteral("fill"), QStringLiteral("C"), QStringLiteral("--from"), QStringLiteral("5 March")},
          QStringList{QStringLiteral("fill"), QStringLiteral("C"), QStringLiteral("--from"),
                      QStringLiteral("2004-03-05"), QStringLiteral("--to"), QStringLiteral("2004-03-01")},
          QStringList{QStringLiteral("fill"), QStringLiteral("C"), QStringLiteral("--list"), QStringLiteral("17")},
          QStringList{QStringLiteral("fill"), QStringLiteral("C"), QStringLiteral("--list"), QStringLiteral("1"),
                      QStringLiteral("--lists"), QStringLiteral("2,3")}})
        EXPECT_EQ(run(args).status, 2) << qPrintable(args.join(QLatin1Char(' ')));
    // A format that is off is not filled.
    const Run off = run({QStringLiteral("fill"), QStringLiteral("K")});
    EXPECT_EQ(off.status, 1);
    EXPECT_TRUE(off.err.contains(QStringLiteral("KBF-format is off"))) << qPrintable(off.err);
    EXPECT_EQ(run({QStringLiteral("fill"), QStringLiteral("c")}).status, 0);
    EXPECT_TRUE(QFile::exists(folder[QLatin1Char('C')] + QStringLiteral("AAA.asc")));
}

// SIGINT stops a fill as the Stop button does: the symbols written so far
// stay, the rest is not begun.
TEST_F(FillCommandTest, SigintStopsTheFill)
{
    const QStringList tickers = storedSymbols(QStringLiteral("S"), 300, 2000);
    const auto p = start({QStringLiteral("fill"), QStringLiteral("C")});
    ASSERT_TRUE(waitUntil([&p] { return p->canReadLine() || p->state() == QProcess::NotRunning; }, 60000));
    ::kill(static_cast<pid_t>(p->processId()), SIGINT);
    ASSERT_TRUE(waitUntil([&p] { return p->state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 5);
    const QStringList out = QString::fromUtf8(p->readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(out.isEmpty());
    EXPECT_TRUE(out.last().startsWith(QStringLiteral("Fill stopped by user: "))) << qPrintable(out.last());
    const int written = static_cast<int>(QDir(folder[QLatin1Char('C')]).entryList(QDir::Files).size());
    EXPECT_GE(written, 1);
    EXPECT_LT(written, tickers.size());
}

// A fill killed while its files are written leaves each of them as it was
// or fully written; what it left of its temporary files is gone after the
// next fill, which writes every file whole.
TEST_F(FillCommandTest, AKilledFillLeavesOldOrNewFilesAndTheNextFillClearsItsLeftovers)
{
    constexpr int kDays = 1500;
    const QStringList tickers = storedSymbols(QStringLiteral("F"), 150, kDays);
    const QString ascii = folder[QLatin1Char('C')];
    QMap<QString, QByteArray> before, after;
    for (const QString& t : tickers)
        before[ascii + t + QStringLiteral(".asc")] = "20001229,1,1,1,1,1\r\n";
    auto restore = [&before] {
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            writeFile(it.key(), it.value());
    };
    auto leftovers = [&ascii] { return QDir(ascii).entryList(QDir::Files | QDir::Hidden).filter(".qbatch-"); };
    restore();
    ASSERT_EQ(run({QStringLiteral("fill"), QStringLiteral("C")}).status, 0);
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        after[it.key()] = readAll(it.key());
        ASSERT_EQ(after[it.key()].count("\r\n"), kDays + 1) << qPrintable(it.key());
    }
    EXPECT_TRUE(leftovers().isEmpty());
    restore();

    const auto p = start({QStringLiteral("fill"), QStringLiteral("C")});
    ASSERT_TRUE(waitUntil([&p] { return p->canReadLine() || p->state() == QProcess::NotRunning; }, 60000));
    const bool running = p->state() == QProcess::Running;
    p->kill();
    ASSERT_TRUE(p->waitForFinished(5000));
    EXPECT_TRUE(running) << "the fill ended before it could be killed";
    int written = 0;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const QByteArray now = readAll(it.key());
        if (now == after[it.key()])
            ++written;
        else
            EXPECT_EQ(now, it.value()) << qPrintable(it.key()) << " is neither old nor new";
    }
    EXPECT_LT(written, tickers.size());

    ASSERT_EQ(run({QStringLiteral("fill"), QStringLiteral("C")}).status, 0);
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        EXPECT_EQ(readAll(it.key()), it.value()) << qPrintable(it.key());
    EXPECT_EQ(leftovers(), QStringList());
}
