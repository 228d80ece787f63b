// A download with MetaStock on, killed at several moments: after each kill
// the folder still reads as a MetaStock database by the format's rules, and
// the next run repairs what the kill left and writes every quote once.
#include "downloadfixture.h"

#include "mslink/numbers.h"
#include "mslink/writer.h"
#include "support/yield.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <string>

namespace {

qint32 dateOf(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }

// The folder's master files and data files, checked byte by byte against the
// format's rules (not through the library). With `strict`, master dates must
// match the data files and every header count its records; a kill may leave
// a date or a header one step behind. Returns the symbols listed.
QStringList checkFolder(const QString& dir, bool strict, const QString& moment)
{
    QStringList symbols;
    const QByteArray master = readAll(dir + "MASTER");
    const QByteArray emaster = readAll(dir + "EMASTER");
    const QByteArray xmaster = readAll(dir + "XMASTER");
    if (master.size() < 53) {
        ADD_FAILURE() << qPrintable(moment) << ": MASTER has no header";
        return symbols;
    }
    const int count = mslink::getU16(master.constData());
    EXPECT_EQ(master.size(), (count + 1) * 53) << qPrintable(moment);
    if (master.size() != (count + 1) * 53)
        return symbols;
    const bool emasterUsed = emaster.size() >= 2 && mslink::getU16(emaster.constData()) == count;
    if (strict || emasterUsed) {
        EXPECT_EQ(emaster.size(), (count + 1) * 192) << qPrintable(moment);
    }

    struct Entry {
        int number;
        QString symbol;
        qint32 last;  // file date
    };
    QVector<Entry> entries;
    const std::string masterBytes = master.toStdString();
    const std::string emasterBytes = emaster.toStdString();
    for (int i = 1; i <= count; ++i) {
        const char* p = masterBytes.data() + i * 53;
        entries.append({static_cast<quint8>(p[0]), QString::fromLatin1(p + 36, 14).trimmed(),
                        static_cast<qint32>(mslink::getMbf(p + 29))});
        if (emasterUsed && emaster.size() == (count + 1) * 192) {
            const char* e = emasterBytes.data() + i * 192;
            EXPECT_EQ(static_cast<quint8>(e[2]), static_cast<quint8>(p[0])) << qPrintable(moment);
            const QString longName = QString::fromLatin1(e + 139);
            EXPECT_TRUE(longName.isEmpty() || longName.startsWith(QString::fromLatin1(p + 7, 16).trimmed()))
                << qPrintable(moment);
        }
    }
    if (!xmaster.isEmpty()) {
        const int xcount = mslink::getU16(xmaster.constData() + 10);
        EXPECT_GT(xcount, 0) << qPrintable(moment);
        EXPECT_EQ(xmaster.size(), (xcount + 1) * 150) << qPrintable(moment);
        const std::string xmasterBytes = xmaster.toStdString();
        for (int i = 1; i <= xcount && xmaster.size() == (xcount + 1) * 150; ++i) {
            const char* p = xmasterBytes.data() + i * 150;
            entries.append(
                {mslink::getU16(p + 65), QString::fromLatin1(p + 1), mslink::toFileDate(mslink::getI32(p + 116))});
        }
    }
    for (const Entry& e : entries) {
        symbols << e.symbol;
        const QString file = dir + QStringLiteral("F%1.%2").arg(e.number).arg(e.number <= 255 ? "DAT" : "MWD");
        const QByteArray data = readAll(file);
        EXPECT_GE(data.size(), 28) << qPrintable(moment) << " " << qPrintable(file);
        if (data.size() < 28)
            continue;
        EXPECT_EQ(data.size() % 28, 0) << qPrintable(moment) << " " << qPrintable(file) << ": a record cut short";
        const int held = static_cast<int>(data.size() / 28) - 1;
        const int counted = mslink::getU16(data.constData() + 2) - 1;
        // Records go before the count: the header never claims more.
        EXPECT_LE(counted, held) << qPrintable(moment) << " " << qPrintable(file);
        const qint32 lastHeld = held > 0 ? static_cast<qint32>(mslink::getMbf(data.constData() + held * 28)) : 0;
        if (strict) {
            EXPECT_EQ(counted, held) << qPrintable(file);
            EXPECT_EQ(e.last, lastHeld) << qPrintable(file);
        } else {
            EXPECT_LE(e.last, lastHeld) << qPrintable(moment) << " " << qPrintable(file);
        }
    }
    return symbols;
}

}  // namespace

class MetastockKillTest : public DownloadCommandTest {};

TEST_F(MetastockKillTest, KilledAnywhereTheFolderOpensAndTheNextRunRepairs)
{
    const int symbols = 541;  // three full batches and one of a single symbol
    const QStringList tickers = numbered(QStringLiteral("M"), symbols);
    addSymbols(tickers);
    switchOn(QStringLiteral("M"));
    // While the test kills, the service leaves the last batch unanswered
    // (and the run waits for it far longer than the test does): every kill
    // lands in a run that is still going, however slow the machine.
    setColumn(QStringLiteral("teller2"), 60);
    fake.setFaultChooser([](const FakeQuoteService::Request& r) {
        return r.query.value("s") == "M540+" ? FakeQuoteService::Fault::Hang : FakeQuoteService::Fault::None;
    });
    // The first 100 symbols are in folder A with 200 days each; the others
    // are new and go to A too (it has room), past MASTER into XMASTER.
    const QString a = folder[QLatin1Char('M')] + QStringLiteral("A/");
    {
        mslink::Writer::createFolder(a);
        mslink::Writer w;
        w.openFolder(a);
        for (int n = 0; n < 100; ++n) {
            w.addSecurity(tickers[n], tickers[n] + QStringLiteral(" CORP"));
            for (int i = 0; i < 200; ++i)
                w.appendRecord(dateOf(day.addDays(i - 203)), 120000, 10, 11, 9, 10.5f, 1000 + i, 0);
            w.flush();
        }
    }
    auto securities = [&] {
        const QByteArray m = readAll(a + "MASTER"), x = readAll(a + "XMASTER");
        return (m.size() >= 2 ? mslink::getU16(m.constData()) : 0) +
               (x.size() >= 12 ? mslink::getU16(x.constData() + 10) : 0);
    };

    const struct {
        const char* name;
        int afterMs;
        int securities;
    } moments[] = {{"killed after 200 ms", 200, 0},
                   {"killed while adding to MASTER", -1, 180},
                   {"killed while adding to XMASTER", -1, 300},
                   {"killed after 50 ms", 50, 0},
                   {"killed further on", -1, 420}};
    for (const auto& m : moments) {
        const auto p = start();
        if (m.afterMs >= 0) {
            pause(m.afterMs);
        } else {
            ASSERT_TRUE(
                waitUntil([&] { return securities() >= m.securities || p->state() != QProcess::Running; }, 60000))
                << m.name;
            ASSERT_EQ(p->state(), QProcess::Running) << m.name << ": the run ended before it could be killed";
        }
        p->kill();
        ASSERT_TRUE(p->waitForFinished(5000));
        checkFolder(a, false, QLatin1String(m.name));
    }

    fake.setFaultChooser(nullptr);
    const Run r = run();
    EXPECT_EQ(r.status, 0) << qPrintable(r.err) << qPrintable(r.out.join(QLatin1Char('\n')));
    QStringList listed = checkFolder(a, true, QStringLiteral("complete run"));
    for (const QString& sub : QDir(folder[QLatin1Char('M')]).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (sub != QLatin1String("A"))
            listed += checkFolder(folder[QLatin1Char('M')] + sub + QLatin1Char('/'), true, sub);
    }
    // Every symbol once, each with the new day once.
    listed.sort();
    QStringList expected = tickers;
    expected.sort();
    EXPECT_EQ(listed, expected);
    const Run shown = run({QStringLiteral("metastock"), QStringLiteral("show"), a, tickers[5]});
    ASSERT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out.size(), 201);
    EXPECT_TRUE(shown.out.last().startsWith(QString::number(dateOf(day)) + QLatin1Char(',')));
    const Run added = run({QStringLiteral("metastock"), QStringLiteral("show"), a, tickers[400]});
    ASSERT_EQ(added.status, 0);
    EXPECT_EQ(added.out.size(), 1);
}

// A folder whose MASTER was cut: its symbols, as its other master files
// still name them, are written nowhere (not into a new folder that would
// hold them twice once the folder is mended), and the run exits 5. A symbol
// no folder names goes to a folder of its own as usual.
TEST_F(MetastockKillTest, TheSymbolsOfADamagedFolderAreWrittenNowhere)
{
    switchOn(QStringLiteral("M"));
    const QString a = folder[QLatin1Char('M')] + QStringLiteral("Q001/");
    mslink::Writer::createFolder(a);
    const QStringList held{QStringLiteral("IBM"), QStringLiteral("MSFT"), QStringLiteral("AAPL")};
    {
        mslink::Writer w;
        w.openFolder(a);
        for (const QString& t : held) {
            w.addSecurity(t, t + QStringLiteral(" INC"));
            w.appendRecord(20240102, 0, 1, 2, 0.5f, 1.5f, 100, 0);
            w.flush();
        }
        w.release();
    }
    writeFile(a + QStringLiteral("MASTER"), readAll(a + QStringLiteral("MASTER")).left(100));
    QMap<QString, QByteArray> before;
    for (const QString& f : QDir(a).entryList(QDir::Files))
        before[f] = readAll(a + f);

    addSymbols(held + QStringList{QStringLiteral("NEWCO")});
    const Run r = run();
    EXPECT_EQ(r.status, 5) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_TRUE(r.err.contains(QStringLiteral("is damaged"))) << qPrintable(r.err);
    QMap<QString, QByteArray> after;
    for (const QString& f : QDir(a).entryList(QDir::Files))
        after[f] = readAll(a + f);
    EXPECT_EQ(after, before);
    const QStringList folders = QDir(folder[QLatin1Char('M')]).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(folders.size(), 2) << qPrintable(folders.join(QLatin1Char(' ')));
    const QStringList written =
        checkFolder(folder[QLatin1Char('M')] + folders[1] + QLatin1Char('/'), true, QStringLiteral("after the run"));
    EXPECT_EQ(written, QStringList{QStringLiteral("NEWCO")});
}
