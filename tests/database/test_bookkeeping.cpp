#include "databasetest.h"
#include "testutil.h"

#include "database/bookkeeping.h"
#include "database/clsdata.h"
#include "database/db.h"
#include "database/startup.h"

namespace {
struct HistoryRow {
    QString ticker;
    QDate start, end;
    bool gelukt, mislukt, timeout;
};
}  // namespace

class BookkeepingTest : public DatabaseTest {
protected:
    enum Outcome { Success, Failure, Timeout };
    void attempt(const QString& ticker, Outcome outcome, QDate start, QDate end)
    {
        data->historyticker = ticker;
        data->historynaam = ticker + QStringLiteral(" name");
        data->historystartdate = start;
        data->historyenddate = end;
        data->historygelukt = outcome == Success;
        data->historymislukt = outcome == Failure;
        data->historytimeout = outcome == Timeout;
        data->writehistory();
    }
    QVector<HistoryRow> history()
    {
        QVector<HistoryRow> rows;
        Statement st = data->db().prepare(QStringLiteral(
            "SELECT ticker, startdatum, einddatum, gelukt, nietgelukt, timeout FROM history ORDER BY rowid"));
        while (st.next())
            rows.append({st.text(0), QDate::fromString(st.text(1), Qt::ISODate),
                         QDate::fromString(st.text(2), Qt::ISODate), st.integer(3) != 0, st.integer(4) != 0,
                         st.integer(5) != 0});
        return rows;
    }
    static QDate march(int day) { return QDate(2004, 3, day); }
};

TEST_F(BookkeepingTest, AWeekendDayIsNeverRecorded)
{
    attempt(QStringLiteral("IBM"), Success, march(6), march(6));  // a Saturday
    attempt(QStringLiteral("IBM"), Failure, march(7), march(7));  // a Sunday
    EXPECT_TRUE(history().isEmpty());
    attempt(QStringLiteral("IBM"), Failure, march(6), march(8));
    EXPECT_EQ(history().size(), 1);
}

TEST_F(BookkeepingTest, FailuresCloseTogetherMerge)
{
    attempt(QStringLiteral("IBM"), Failure, march(1), march(5));
    attempt(QStringLiteral("IBM"), Failure, march(12), march(20));
    auto rows = history();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].start, march(1));
    EXPECT_EQ(rows[0].end, march(20));
    EXPECT_TRUE(rows[0].mislukt);

    attempt(QStringLiteral("AAPL"), Failure, march(1), march(5));
    attempt(QStringLiteral("AAPL"), Failure, march(20), march(25));
    rows = history();
    EXPECT_EQ(rows.size(), 3);
}

TEST_F(BookkeepingTest, SuccessesExtendForwardAndNeverBackward)
{
    attempt(QStringLiteral("IBM"), Success, march(1), march(5));
    attempt(QStringLiteral("IBM"), Success, march(8), march(12));
    auto rows = history();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].start, march(1));
    EXPECT_EQ(rows[0].end, march(12));

    attempt(QStringLiteral("MSFT"), Success, march(8), march(12));
    attempt(QStringLiteral("MSFT"), Success, march(1), march(5));
    rows = history();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].start, march(8));
    EXPECT_EQ(rows[1].end, march(12));

    // An attempt inside a recorded range does not shorten it.
    attempt(QStringLiteral("IBM"), Success, march(2), march(3));
    EXPECT_EQ(history()[0].end, march(12));
}

TEST_F(BookkeepingTest, ASuccessRepairsAnEarlierFailure)
{
    // A failed single day that now succeeded disappears.
    attempt(QStringLiteral("IBM"), Failure, march(3), march(3));
    attempt(QStringLiteral("IBM"), Success, march(3), march(3));
    auto rows = history();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_TRUE(rows[0].gelukt);

    // A failed range followed by a later success is cut back to the day
    // before the success.
    attempt(QStringLiteral("ASML.AS"), Failure, march(1), march(5));
    attempt(QStringLiteral("ASML.AS"), Success, march(10), march(15));
    rows = history();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[1].end, march(9));
    EXPECT_TRUE(rows[2].gelukt);
    EXPECT_EQ(rows[2].start, march(10));
}

TEST_F(BookkeepingTest, TimeoutsAlwaysAddARowAndQuotesInTickersWork)
{
    attempt(QStringLiteral("O'X"), Timeout, march(1), march(5));
    attempt(QStringLiteral("O'X"), Timeout, march(1), march(5));
    attempt(QStringLiteral("O'X"), Failure, march(8), march(9));
    attempt(QStringLiteral("O'X"), Failure, march(10), march(12));
    attempt(QStringLiteral("O'X"), Success, march(15), march(16));
    const auto rows = history();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_TRUE(rows[0].timeout && !rows[0].gelukt && !rows[0].mislukt);
    EXPECT_EQ(rows[2].end, march(14));
    EXPECT_EQ(rows[3].ticker, QStringLiteral("O'X"));
    EXPECT_EQ(data->db().scalar(QStringLiteral("SELECT naam FROM history LIMIT 1")).toString(),
              QStringLiteral("O\"X name"));
    EXPECT_TRUE(msgs.shown.isEmpty());

    data->leeghistory();
    EXPECT_TRUE(history().isEmpty());
}

TEST_F(BookkeepingTest, CurrentRunTablesKeepEachTickerOnce)
{
    data->voegvervallentoe(QStringLiteral("DEAD"));
    data->voegvervallentoe(QStringLiteral("dead"));
    data->voegvervallentoe(QStringLiteral("O'K"));
    data->voegverWorpentoe(QStringLiteral("REJ"));
    data->voegverWorpentoe(QStringLiteral("REJ"));
    data->tickersmislukt({QStringLiteral("F1"), QStringLiteral("F'2"), QString()});
    Database& db = data->db();
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM vervallen")).toInt(), 2);
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM verworpen")).toInt(), 1);
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM nietgelukt WHERE ticker = ?"), {"F'2"}).toInt(), 1);
    db.exec(QStringLiteral("INSERT INTO newtickers VALUES ('A', 'B')"));

    data->leegvervallen();
    data->leegnietgelukt();
    data->leegnewtickers();
    for (const char* t : {"vervallen", "verworpen", "nietgelukt", "newtickers"})
        EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM ") + QLatin1String(t)).toInt(), 0) << t;
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(BookkeepingTest, HistoryReadsFilterByOutcomeInTableOrder)
{
    attempt(QStringLiteral("MSFT"), Failure, march(1), march(5));
    attempt(QStringLiteral("IBM"), Success, march(1), march(5));
    attempt(QStringLiteral("O'X"), Timeout, march(8), march(9));
    attempt(QStringLiteral("AAPL"), Failure, march(15), march(16));
    Database& db = data->db();
    using bookkeeping::HistoryOutcome;
    using Row = bookkeeping::HistoryRow;

    EXPECT_EQ(bookkeeping::historyRanges(db, HistoryOutcome::Downloaded),
              QVector<Row>({{"IBM", {}, march(1), march(5)}}));
    EXPECT_EQ(bookkeeping::historyRanges(db, HistoryOutcome::NotDownloaded),
              QVector<Row>({{"MSFT", {}, march(1), march(5)}, {"AAPL", {}, march(15), march(16)}}));
    EXPECT_EQ(bookkeeping::historyRanges(db, HistoryOutcome::TimedOut),
              QVector<Row>({{"O'X", {}, march(8), march(9)}}));

    // A retry takes every range not got, timed out ones too (marked, so a
    // stopped retry can put them back as they were), with the names as stored.
    EXPECT_EQ(bookkeeping::unsuccessfulHistory(db), QVector<Row>({{"MSFT", "MSFT name", march(1), march(5)},
                                                                  {"O'X", "O\"X name", march(8), march(9), true},
                                                                  {"AAPL", "AAPL name", march(15), march(16)}}));
    EXPECT_EQ(bookkeeping::unsuccessfulHistoryCount(db), 3);

    data->leeghistory();
    EXPECT_TRUE(bookkeeping::unsuccessfulHistory(data->db()).isEmpty());
    EXPECT_EQ(bookkeeping::unsuccessfulHistoryCount(data->db()), 0);
}

TEST_F(BookkeepingTest, DroppedTickersSortedForTheReportOrAsRecordedForRemoval)
{
    for (const char* t : {"zz", "AA", "mm"})
        data->voegvervallentoe(QLatin1String(t));
    Database& db = data->db();
    EXPECT_EQ(bookkeeping::droppedTickers(db), QStringList({"AA", "mm", "zz"}));
    EXPECT_EQ(bookkeeping::droppedTickersAsRecorded(db), QStringList({"zz", "AA", "mm"}));
}

TEST_F(BookkeepingTest, FindingsReadByTickerAndDateAndEmptiedPerRun)
{
    data->voegfindingstoe({{QStringLiteral("BP.L"), 20260107, QStringLiteral("jump"), QStringLiteral("seen 1"),
                            QStringLiteral("flagged")},
                           {QStringLiteral("ABC"), 20260105, QStringLiteral("bounds"), QStringLiteral("it's low"),
                            QStringLiteral("repaired: low 9 -> 8")},
                           {QStringLiteral("bp.l"), 20260102, QStringLiteral("repeat"), QStringLiteral("seen 2"),
                            QStringLiteral("skipped")},
                           {QStringLiteral("BP.L"), 20260107, QStringLiteral("bounds"), QStringLiteral("seen 3"),
                            QStringLiteral("flagged")}});
    Database& db = data->db();
    QStringList lines;
    for (const bookkeeping::FindingRow& r : bookkeeping::findings(db))
        lines << r.line();
    EXPECT_EQ(lines, (QStringList{"ABC 2026-01-05 bounds: it's low; repaired: low 9 -> 8",
                                  "bp.l 2026-01-02 repeat: seen 2; skipped", "BP.L 2026-01-07 jump: seen 1; flagged",
                                  "BP.L 2026-01-07 bounds: seen 3; flagged"}));
    // What a chart marks: each day once, whatever the ticker's case.
    EXPECT_EQ(bookkeeping::findingDates(db, QStringLiteral("Bp.L")),
              (QVector<QDate>{QDate(2026, 1, 2), QDate(2026, 1, 7)}));
    data->leegfindings();
    EXPECT_TRUE(bookkeeping::findings(db).isEmpty());
}

// The integrity check keeps its findings in a table of its own, which an
// older database does not have yet.
TEST_F(BookkeepingTest, FindingDatesOfOneTickerOnceEachInDateOrder)
{
    Database& db = data->db();
    db.exec(QStringLiteral("DROP TABLE findings"));  // as in a database not opened since
    EXPECT_TRUE(bookkeeping::findingDates(db, QStringLiteral("ABC")).isEmpty());

    db.exec(QStringLiteral("CREATE TABLE findings (ticker TEXT COLLATE NOCASE, datum TEXT, kind TEXT)"));
    for (const char* row : {"ABC|2024-03-15", "abc|2024-01-02", "ABC|2024-03-15", "XYZ|2024-02-01", "ABC|"}) {
        const QStringList parts = QString::fromLatin1(row).split(QLatin1Char('|'));
        db.exec(QStringLiteral("INSERT INTO findings (ticker, datum, kind) VALUES (?, ?, 'spike')"),
                {parts[0], parts[1]});
    }
    EXPECT_EQ(bookkeeping::findingDates(db, QStringLiteral("Abc")),
              (QVector<QDate>{QDate(2024, 1, 2), QDate(2024, 3, 15)}));
    EXPECT_TRUE(bookkeeping::findingDates(db, QStringLiteral("NONE")).isEmpty());
}
