#include "currentrunfixture.h"
#include "runwait.h"

#include "database/bookkeeping.h"
#include "database/quotestore.h"
#include "runs/currentreport.h"
#include "runs/currentrun.h"
#include "runs/historyreport.h"
#include "runs/historyrun.h"
#include "runs/options.h"
#include "runs/repairundo.h"
#include "support/settingsstore.h"

#include <QLocale>

namespace {

QStringList findingLines()
{
    Database db(paths::databaseFile());
    QStringList out;
    for (const bookkeeping::FindingRow& r : bookkeeping::findings(db))
        out << r.line();
    return out;
}

QString storedDate()
{
    return QDate::fromString(QString::fromLatin1(kDate), QStringLiteral("M/d/yyyy")).toString(Qt::ISODate);
}

// A history answer (newest first) of `closes` on the weekdays from `first`.
QByteArray historyBody(const QDate& first, const QVector<double>& closes)
{
    QList<QByteArray> rows;
    QDate d = first;
    for (double c : closes) {
        while (d.dayOfWeek() >= Qt::Saturday)
            d = d.addDays(1);
        const QByteArray p = QByteArray::number(c);
        const QByteArray day = QByteArray::number(d.day()) + '-' +
                               QLocale::c().monthName(d.month(), QLocale::ShortFormat).toLatin1() + '-' +
                               QByteArray::number(d.year() % 100).rightJustified(2, '0');
        rows.prepend(day + ',' + p + ',' + p + ',' + p + ',' + p + ",1000," + p + '\n');
        d = d.addDays(1);
    }
    return "Date,Open,High,Low,Close,Volume,Adj Close\n" + rows.join();
}

}  // namespace

class IntegrityCurrentRunTest : public CurrentRunTest {
protected:
    // BAD has a high below its close; GOOD is sound; ^IDX has no volume.
    void serve()
    {
        addSymbols({QStringLiteral("GOOD")});
        addSymbols({QStringLiteral("BAD"), QStringLiteral("^IDX")}, 1, false);
        fake.addQuote({"BAD", kDate, "4:00pm", "10.5", "10.6", "10", "10.75", "1200", "BAD CORP", "NYSE"});
        fake.addQuote({"^IDX", kDate, "4:00pm", "500", "510", "495", "505", "0", "INDEX", "NYSE"});
    }

    QString asciiLine(const QString& ticker)
    {
        return QString::fromLatin1(readAll(ascii + ticker + QStringLiteral(".asc"))).trimmed();
    }

    CurrentRun run;
};

TEST_F(IntegrityCurrentRunTest, FlagWritesAsSentAndRecordsTheFinding)
{
    serve();
    ASSERT_TRUE(runToEnd(run));
    const QString day = storedDate();
    EXPECT_EQ(findingLines(),
              QStringList{QStringLiteral("BAD %1 bounds: high 10.6 below close 10.75; flagged").arg(day)});
    EXPECT_EQ(run.summary().findings, 1);
    EXPECT_TRUE(asciiLine(QStringLiteral("BAD")).endsWith(QStringLiteral(",10.5,10.6,10,10.75,1200")));
    // An index without volume is no finding.
    EXPECT_FALSE(asciiLine(QStringLiteral("^IDX")).isEmpty());

    // The next run starts with an empty table.
    ASSERT_TRUE(runToEnd(run));
    EXPECT_EQ(findingLines().size(), 1);
}

TEST_F(IntegrityCurrentRunTest, RepairReachesEveryFormat)
{
    serve();
    ASSERT_EQ(options::setByName(QStringLiteral("IntegrityAction"), QStringLiteral("repair")), QString());
    ASSERT_TRUE(runToEnd(run));
    EXPECT_TRUE(asciiLine(QStringLiteral("BAD")).endsWith(QStringLiteral(",10.5,10.75,10,10.75,1200")));
    EXPECT_TRUE(QString::fromLatin1(readAll(runFile())).contains(QStringLiteral("BAD,")));
    EXPECT_TRUE(QString::fromLatin1(readAll(runFile())).contains(QStringLiteral(",10.5,10.75,10,10.75,")));
    EXPECT_EQ(findingLines().value(0).section(QStringLiteral("; "), 1), QStringLiteral("repaired: high 10.6 -> 10.75"));
}

// The report shows the repaired day as sent and as written; the undo puts
// the values as sent back in the files and the store, and the report then
// has no repaired day left.
TEST_F(IntegrityCurrentRunTest, RepairedDayIsReportedAndItsUndoPutsTheValuesAsSentBack)
{
    serve();
    ASSERT_EQ(options::setByName(QStringLiteral("IntegrityAction"), QStringLiteral("repair")), QString());
    ASSERT_TRUE(runToEnd(run));
    const QString day = storedDate();
    CurrentReport report;
    report.load();
    ASSERT_EQ(report.repaired.size(), 1);
    EXPECT_EQ(report.repaired[0].line(),
              QStringLiteral("BAD %1 sent 10.5 10.6 10 10.75 1200; written 10.5 10.75 10 10.75 1200").arg(day));

    const QDate d = QDate::fromString(day, Qt::ISODate);
    const qint32 date = d.year() * 10000 + d.month() * 100 + d.day();
    {
        Database db(paths::databaseFile());
        QuoteStore store;
        EXPECT_EQ(repairundo::undo(store, db, QStringLiteral("GOOD"), date).status,
                  repairundo::Result::Status::NotRepaired);
        EXPECT_EQ(repairundo::undo(store, db, QStringLiteral("BAD"), date - 1).status,
                  repairundo::Result::Status::NoSuchDay);
        const repairundo::Result r = repairundo::undo(store, db, QStringLiteral("BAD"), date);
        EXPECT_EQ(r.status, repairundo::Result::Status::Undone);
        ASSERT_EQ(r.files.size(), 1);
        EXPECT_EQ(r.files[0].letter, QLatin1Char('C'));
        EXPECT_EQ(r.files[0].state, repairundo::FileOutcome::State::Rewritten);
        EXPECT_TRUE(QFile::exists(r.files[0].note));
        ASSERT_FALSE(r.runWide.isEmpty());
        EXPECT_TRUE(r.runWide[0].startsWith(QStringLiteral("P ("))) << qPrintable(r.runWide.join(u','));

        const QVector<QuoteStore::Row> rows = store.rows(QStringLiteral("BAD"), date, date);
        ASSERT_EQ(rows.size(), 1);
        EXPECT_FALSE(rows[0].bar.has(core::Bar::Repaired));
        EXPECT_FALSE(rows[0].asSent);
        EXPECT_EQ(rows[0].bar.high.text, QStringLiteral("10.6"));
        EXPECT_EQ(repairundo::undo(store, db, QStringLiteral("BAD"), date).status,
                  repairundo::Result::Status::NotRepaired);
    }
    EXPECT_TRUE(asciiLine(QStringLiteral("BAD")).endsWith(QStringLiteral(",10.5,10.6,10,10.75,1200")));
    // The run file is the run's: it keeps what the run wrote.
    EXPECT_TRUE(QString::fromLatin1(readAll(runFile())).contains(QStringLiteral(",10.5,10.75,10,10.75,")));
    report.load();
    EXPECT_TRUE(report.repaired.isEmpty());
    EXPECT_EQ(report.findings.size(), 1);

    // The undo is remembered: the same day sent again stays as sent, with
    // no finding, in the files and the store.
    ASSERT_TRUE(runToEnd(run));
    EXPECT_TRUE(asciiLine(QStringLiteral("BAD")).endsWith(QStringLiteral(",10.5,10.6,10,10.75,1200")));
    EXPECT_TRUE(findingLines().isEmpty()) << qPrintable(findingLines().join(u'|'));
    {
        QuoteStore store;
        const QVector<QuoteStore::Row> rows = store.rows(QStringLiteral("BAD"), date, date);
        ASSERT_EQ(rows.size(), 1);
        EXPECT_TRUE(rows[0].bar.has(core::Bar::KeptAsSent));
        EXPECT_FALSE(rows[0].bar.has(core::Bar::Repaired));
        EXPECT_EQ(rows[0].bar.high.text, QStringLiteral("10.6"));
    }
    // Other values sent for the day are checked again.
    fake.setQuote({"BAD", kDate, "4:00pm", "10.5", "10.55", "10", "10.75", "1300", "BAD CORP", "NYSE"});
    ASSERT_TRUE(runToEnd(run));
    EXPECT_TRUE(asciiLine(QStringLiteral("BAD")).endsWith(QStringLiteral(",10.5,10.75,10,10.75,1300")));
    EXPECT_EQ(findingLines().size(), 1);
}

TEST_F(IntegrityCurrentRunTest, SkipCountsTheQuoteAsRejected)
{
    serve();
    store::write(QStringLiteral("IntegrityAction"), QStringLiteral("skip"));
    ASSERT_TRUE(runToEnd(run));
    EXPECT_FALSE(QFile::exists(ascii + QStringLiteral("BAD.asc")));
    EXPECT_TRUE(QFile::exists(ascii + QStringLiteral("GOOD.asc")));
    EXPECT_FALSE(QString::fromLatin1(readAll(runFile())).contains(QStringLiteral("BAD,")));
    CurrentReport report;
    report.load();
    EXPECT_EQ(report.rejected, QStringList{QStringLiteral("BAD")});
    ASSERT_EQ(report.findings.size(), 1);
    EXPECT_EQ(report.findings[0].done, QStringLiteral("skipped"));
    EXPECT_EQ(report.findings[0].kind, QStringLiteral("bounds"));
}

TEST_F(IntegrityCurrentRunTest, AQuoteOlderThanTheStoredDaysIsStale)
{
    addSymbols({QStringLiteral("OLD")});
    writeFile(ascii + QStringLiteral("OLD.asc"), "20991231,10,11,9,10.75,1200\r\n");
    ASSERT_TRUE(runToEnd(run));
    EXPECT_EQ(findingLines(),
              QStringList{QStringLiteral("OLD %1 stale: older than the stored 2099-12-31; flagged").arg(storedDate())});
}

class IntegrityHistoryRunTest : public CurrentRunTest {
protected:
    void SetUp() override
    {
        CurrentRunTest::SetUp();
        settings().dcurrent = 1;
        Database db(paths::databaseFile());
        db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                               "VALUES (1, 'BP.L', 'BP', 'Unknown', 1)"));
    }

    bool go()
    {
        run.startDate = kStart;
        run.endDate = kStart.addDays(40);
        return runToEnd(run);
    }

    QStringList closes()
    {
        QStringList out;
        for (const QString& line : QString::fromLatin1(readAll(ascii + QStringLiteral("BP_L.asc")))
                                       .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            out << line.section(QLatin1Char(','), 4, 4);
        return out;
    }

    // The provider sends pence for the first ten days, pounds after.
    void servePenceThenPounds()
    {
        QVector<double> sent;
        for (int i = 0; i < 10; ++i)
            sent << 1200 + i;
        for (int i = 0; i < 10; ++i)
            sent << 12.1 + i / 10.0;
        fake.setPage("/table.csv", "BP.L", {200, historyBody(kStart, sent), "text/csv"});
    }

    const QDate kStart{2004, 1, 5};
    HistoryRun run;
};

// The provider sent pence for the first ten days, pounds after.
TEST_F(IntegrityHistoryRunTest, UnitSwitchedBlockIsRepairedBeforeAnyFormatSeesIt)
{
    servePenceThenPounds();
    store::write(QStringLiteral("IntegrityAction"), QStringLiteral("repair"));
    ASSERT_TRUE(go());
    const QStringList c = closes();
    ASSERT_EQ(c.size(), 20);
    EXPECT_EQ(c[0], QStringLiteral("12"));
    EXPECT_EQ(c[9], QStringLiteral("12.09"));
    EXPECT_EQ(c[10], QStringLiteral("12.1"));
    // The run file got the same repaired days.
    EXPECT_FALSE(QString::fromLatin1(readAll(runFile())).contains(QStringLiteral(",1200,")));

    HistoryReport report;
    report.load();
    ASSERT_EQ(report.findings.size(), 1);
    EXPECT_EQ(report.findings[0].line(),
              QStringLiteral("BP.L 2004-01-05 unitswitch: 2004-01-05 to 2004-01-16 (10 days) at 100x the unit of the "
                             "later days; repaired: prices of 10 days divided by 100"));
    // Each day of the block, and none after it.
    ASSERT_EQ(report.repaired.size(), 10);
    EXPECT_EQ(report.repaired[0].line(),
              QStringLiteral("BP.L 2004-01-05 sent 1200 1200 1200 1200 1000; written 12 12 12 12 1000"));
    EXPECT_EQ(report.repaired[9].line(),
              QStringLiteral("BP.L 2004-01-16 sent 1209 1209 1209 1209 1000; written 12.09 12.09 12.09 12.09 1000"));
}

TEST_F(IntegrityHistoryRunTest, SkippedDaysAreLeftOutAndTheRestIsWritten)
{
    QVector<double> sent{12, 12.1, 1220, 12.3, 12.4, 12.5};
    fake.setPage("/table.csv", "BP.L", {200, historyBody(kStart, sent), "text/csv"});
    store::write(QStringLiteral("IntegrityAction"), QStringLiteral("skip"));
    ASSERT_TRUE(go());
    EXPECT_EQ(closes(), (QStringList{"12", "12.1", "12.3", "12.4", "12.5"}));
    EXPECT_EQ(findingLines().size(), 1);
    EXPECT_TRUE(findingLines().value(0).endsWith(QStringLiteral("; skipped")));
}

// The gateway names the split; the provider left the days before it
// unadjusted.
TEST_F(IntegrityHistoryRunTest, ASplitMissingFromEarlierDaysIsAppliedWithTheReportedRatio)
{
    QVector<double> sent{400, 404, 408, 102, 103, 104};
    const QByteArray body = historyBody(kStart, sent) + "Split,8-Jan-04,4:1\n";
    fake.setPage("/table.csv", "BP.L", {200, body, "text/csv"});
    store::write(QStringLiteral("IntegrityAction"), QStringLiteral("repair"));
    ASSERT_TRUE(go());
    EXPECT_EQ(closes(), (QStringList{"100", "101", "102", "102", "103", "104"}));
    ASSERT_EQ(findingLines().size(), 1);
    EXPECT_TRUE(findingLines()[0].startsWith(QStringLiteral("BP.L 2004-01-08 split: 4:1 split on 2004-01-08")));
}

// Every quote a run accepts is in the quote store, with the texts the
// service sent, the source it came from, and for a repaired day the values
// as they were sent.
TEST_F(IntegrityCurrentRunTest, TheStoreKeepsEveryQuoteAndARepairedDaysValuesAsSent)
{
    serve();
    ASSERT_EQ(options::setByName(QStringLiteral("IntegrityAction"), QStringLiteral("repair")), QString());
    ASSERT_TRUE(runToEnd(run));
    QuoteStore store;
    const QVector<QuoteStore::Row> bad = store.rows(QStringLiteral("BAD"));
    ASSERT_EQ(bad.size(), 1);
    EXPECT_EQ(bad[0].bar.high.text, QStringLiteral("10.75"));
    EXPECT_TRUE(bad[0].bar.has(core::Bar::Repaired));
    ASSERT_TRUE(bad[0].asSent.has_value());
    EXPECT_EQ(bad[0].asSent->high.text, QStringLiteral("10.6"));
    EXPECT_EQ(store.sourceInfo(bad[0].source)->host, settings().quoteHost);
    const QVector<QuoteStore::Row> index = store.rows(QStringLiteral("^IDX"));
    ASSERT_EQ(index.size(), 1);
    EXPECT_EQ(index[0].bar.close.text, QStringLiteral("505"));
    EXPECT_FALSE(index[0].asSent.has_value());
    EXPECT_EQ(store.summary().symbols, 3);
}

// A store file that is no store stops the run before any file is written,
// and the message names the file.
TEST_F(IntegrityCurrentRunTest, AStoreThatIsNoStoreStopsTheRunBeforeAnyFile)
{
    serve();
    writeFile(QuoteStore::defaultPath(), QByteArray("not a store\n").repeated(100));
    EXPECT_FALSE(runToEnd(run));
    EXPECT_FALSE(QFile::exists(ascii + QStringLiteral("BAD.asc")));
    EXPECT_TRUE(msgs.texts().join(u'|').contains(QuoteStore::defaultPath())) << qPrintable(msgs.texts().join(u'|'));
    EXPECT_EQ(readAll(QuoteStore::defaultPath()), QByteArray("not a store\n").repeated(100));
}

TEST_F(IntegrityHistoryRunTest, TheStoreHoldsEveryDayWrittenAndTheSentValuesOfRepairedOnes)
{
    servePenceThenPounds();
    store::write(QStringLiteral("IntegrityAction"), QStringLiteral("repair"));
    ASSERT_TRUE(go());
    QuoteStore quotes;
    const QVector<QuoteStore::Row> rows = quotes.rows(QStringLiteral("BP.L"));
    QStringList storedCloses;
    int repaired = 0;
    for (const QuoteStore::Row& r : rows) {
        storedCloses << r.bar.close.text;
        if (r.bar.has(core::Bar::Repaired)) {
            ++repaired;
            ASSERT_TRUE(r.asSent.has_value());
            EXPECT_GE(r.asSent->close.value, 1200);
        }
    }
    EXPECT_EQ(storedCloses, closes());
    EXPECT_EQ(repaired, 10);
}

// Undoing the repair of one day of a repaired block keeps that day as sent
// in the next download of the range; the rest of the block is repaired
// again.
TEST_F(IntegrityHistoryRunTest, AnUndoneDayOfARepairedBlockStaysAsSentInTheNextDownload)
{
    servePenceThenPounds();
    store::write(QStringLiteral("IntegrityAction"), QStringLiteral("repair"));
    ASSERT_TRUE(go());
    {
        Database db(paths::databaseFile());
        QuoteStore quotes;
        ASSERT_EQ(repairundo::undo(quotes, db, QStringLiteral("BP.L"), 20040105).status,
                  repairundo::Result::Status::Undone);
    }
    ASSERT_EQ(closes().value(0), QStringLiteral("1200"));

    ASSERT_TRUE(go());
    const QStringList c = closes();
    ASSERT_EQ(c.size(), 20);
    EXPECT_EQ(c[0], QStringLiteral("1200"));
    EXPECT_EQ(c[1], QStringLiteral("12.01"));
    EXPECT_EQ(c[10], QStringLiteral("12.1"));
    QuoteStore quotes;
    const QVector<QuoteStore::Row> rows = quotes.rows(QStringLiteral("BP.L"), 20040105, 20040106);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].bar.has(core::Bar::KeptAsSent));
    EXPECT_FALSE(rows[0].bar.has(core::Bar::Repaired));
    EXPECT_FALSE(rows[0].asSent);
    EXPECT_TRUE(rows[1].bar.has(core::Bar::Repaired));
    // The block's other days still make the finding.
    EXPECT_EQ(findingLines().size(), 1);
}
