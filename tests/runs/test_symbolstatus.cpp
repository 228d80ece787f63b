#include "testutil.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/quotestore.h"
#include "database/startup.h"
#include "runs/chartframe.h"
#include "runs/storecompare.h"
#include "runs/symbolstatus.h"
#include "support/state.h"
#include "writers/codecs/kbf/kbfwriter.h"

#include <QDir>

using symbolstatus::FileState;
using symbolstatus::Outcome;

namespace {
QByteArray asciiLine(QDate day, double high = 2)
{
    return day.toString(QStringLiteral("yyyyMMdd")).toLatin1() + ",1," + QByteArray::number(high) + ",1,1.5,100\r\n";
}

lists::Symbol symbol(const char* ticker)
{
    lists::Symbol s;
    s.ticker = QLatin1String(ticker);
    s.name = s.ticker;
    return s;
}
}  // namespace

TEST(TradingDaysTest, CountsWeekdaysAfterTheFirstUpToTheSecond)
{
    const QDate fri(2024, 3, 8), mon(2024, 3, 11), wed(2024, 3, 13);
    EXPECT_EQ(symbolstatus::tradingDaysBetween(fri, mon), 1);
    EXPECT_EQ(symbolstatus::tradingDaysBetween(fri, wed), 3);
    EXPECT_EQ(symbolstatus::tradingDaysBetween(fri, fri.addDays(1)), 0);  // a Saturday
    EXPECT_EQ(symbolstatus::tradingDaysBetween(mon, mon.addDays(7)), 5);
    EXPECT_EQ(symbolstatus::tradingDaysBetween(mon, mon.addDays(7 * 52 + 2)), 5 * 52 + 2);
    EXPECT_EQ(symbolstatus::tradingDaysBetween(wed, fri), 0);
    EXPECT_EQ(symbolstatus::tradingDaysBetween(QDate(), wed), 0);
}

class SymbolStatusTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        ascii = path("ascii/");
        kbf = path("kbf/");
        QDir().mkpath(ascii);
        QDir().mkpath(kbf);
        ProgramSettings& s = settings();
        s.format('C').on = true;
        s.format('C').folder = ascii;
        s.format('K').on = true;
        s.format('K').folder = kbf;
        db = Database::openDefault();
    }
    void TearDown() override
    {
        db.reset();
        QuotarisTest::TearDown();
    }
    void asciiUntil(const char* ticker, QDate last)
    {
        writeFile(ascii + QLatin1String(ticker) + ".asc", asciiLine(last.addDays(-1)) + asciiLine(last));
    }

    QString ascii, kbf;
    std::unique_ptr<Database> db;
};

// Behind is counted in weekdays against the newest last day of the same
// format; a symbol without a file is missing in that format only.
TEST_F(SymbolStatusTest, MarksBehindAgainstTheNewestOfEachFormatAndMissingFiles)
{
    const QDate fri(2024, 3, 15);
    asciiUntil("NEW", fri);
    asciiUntil("TUE", QDate(2024, 3, 12));     // Wed, Thu, Fri later: 3, not behind
    asciiUntil("MON", QDate(2024, 3, 11));     // 4 trading days: behind
    asciiUntil("WEEKEND", QDate(2024, 3, 8));  // Fri before: 5: behind
    writeFile(kbf + "MON.kbf", {});            // an empty file counts as none

    const QVector<symbolstatus::SymbolStatus> st =
        symbolstatus::statusOf(*db, {symbol("NEW"), symbol("TUE"), symbol("MON"), symbol("WEEKEND"), symbol("GONE")});
    ASSERT_EQ(st.size(), 5);
    ASSERT_EQ(st[0].formats.size(), 2);
    EXPECT_EQ(st[0].formats[0].letter, QLatin1Char('C'));
    EXPECT_EQ(st[0].formats[1].letter, QLatin1Char('K'));
    const FileState expected[] = {FileState::Ok, FileState::Ok, FileState::Behind, FileState::Behind,
                                  FileState::Missing};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(st[i].formats[0].state, expected[i]) << qPrintable(st[i].ticker);
        EXPECT_EQ(st[i].formats[1].state, FileState::Missing) << qPrintable(st[i].ticker);
        EXPECT_EQ(st[i].worst(), FileState::Missing);
    }
    EXPECT_EQ(st[2].formats[0].last, QDate(2024, 3, 11));
    EXPECT_FALSE(st[4].formats[0].last.isValid());

    // The newest of a format is that format's own: an old KBF file alone
    // is not behind.
    Quote q;
    q.date = 20200102;
    q.high = q.low = q.close = QStringLiteral("5");
    q.volume = QStringLiteral("1");
    writeFile(kbf + "MON.kbf", KbfWriter::record(q));
    const auto again = symbolstatus::statusOf(*db, {symbol("NEW"), symbol("MON")});
    EXPECT_EQ(again[1].formats[1].last, QDate(2020, 1, 2));
    EXPECT_EQ(again[1].formats[1].state, FileState::Ok);
    EXPECT_EQ(again[0].formats[1].state, FileState::Missing);

    settings().format('C').on = false;
    EXPECT_EQ(symbolstatus::formatsShown(), QVector<QChar>{QLatin1Char('K')});
}

TEST_F(SymbolStatusTest, TheOutcomeOfTheLastDownloadComesFromTheBookkeeping)
{
    {
        clsData d;
        d.tickersmislukt({"FAIL"});
        d.voegvervallentoe("GONE");
        d.historyticker = "SLOW";
        d.historystartdate = QDate(2024, 1, 1);
        d.historyenddate = QDate(2024, 2, 1);
        d.historytimeout = true;
        d.writehistory();
    }
    const symbolstatus::StatusReader reader(*db, {QLatin1Char('C')});
    EXPECT_EQ(reader.read(symbol("fail")).outcome, Outcome::Failed);
    EXPECT_EQ(reader.read(symbol("GONE")).outcome, Outcome::NotFound);
    EXPECT_EQ(reader.read(symbol("SLOW")).outcome, Outcome::HistoryTimedOut);
    EXPECT_EQ(reader.read(symbol("FINE")).outcome, Outcome::Ok);
    EXPECT_EQ(symbolstatus::outcomeText(Outcome::NotFound), QStringLiteral("not found"));
}

namespace {
// Every weekday from `from` for `count` days.
storedfiles::Series weekdays(QDate from, int count)
{
    storedfiles::Series s;
    for (QDate d = from; s.days.size() < count; d = d.addDays(1)) {
        if (d.dayOfWeek() <= 5)
            s.days.append({d, 10, 10.0 + s.days.size() % 7, 9, 10, 100, 0});
    }
    return s;
}
}  // namespace

TEST(ChartFrameTest, RangesEndAtTheLastDayAndLongStretchesAreGrouped)
{
    ChartFrame f;
    f.setSeries(weekdays(QDate(1985, 1, 1), 10000), {QDate(1990, 1, 2)});
    EXPECT_EQ(f.first(), 0);
    EXPECT_EQ(f.last(), 9999);
    const QVector<ChartFrame::Bar> all = f.bars();
    EXPECT_LE(all.size(), ChartFrame::kMaxBars);
    EXPECT_GT(all.size(), ChartFrame::kMaxBars / 2);
    double volume = 0;
    int flagged = 0;
    for (const ChartFrame::Bar& b : all) {
        volume += b.volume;
        flagged += b.flagged;
    }
    EXPECT_DOUBLE_EQ(volume, 100.0 * 10000);  // every day in one bar
    EXPECT_EQ(flagged, 1);
    EXPECT_DOUBLE_EQ(all.front().high, 16);  // the highest of the grouped days
    EXPECT_EQ(all.front().first, QDate(1985, 1, 1));
    EXPECT_EQ(all.back().last, f.days().back().date);

    const QDate end = f.days().back().date;
    f.showRange(ChartFrame::Range::OneMonth);
    EXPECT_EQ(f.last(), 9999);
    EXPECT_GT(f.days()[f.first()].date, end.addMonths(-1));
    EXPECT_LE(f.days()[f.first() - 1].date, end.addMonths(-1));
    EXPECT_EQ(f.bars().size(), f.visibleCount());  // one bar a day
    f.showRange(ChartFrame::Range::FiveYears);
    EXPECT_NEAR(f.visibleCount(), 5 * 261, 5);
}

TEST(ChartFrameTest, ZoomKeepsTheAnchorAndPanStaysWithinTheDays)
{
    ChartFrame f;
    f.setSeries(weekdays(QDate(2020, 1, 1), 1000));
    f.zoom(0.5, 750);  // the anchor three quarters in stays three quarters in
    EXPECT_EQ(f.visibleCount(), 500);
    EXPECT_NEAR(double(750 - f.first()) / (f.visibleCount() - 1), 0.75, 0.01);
    for (int i = 0; i < 50; ++i)
        f.zoom(0.5);
    EXPECT_EQ(f.visibleCount(), ChartFrame::kMinDays);
    f.pan(-5000);
    EXPECT_EQ(f.first(), 0);
    f.pan(5000);
    EXPECT_EQ(f.last(), 999);
    EXPECT_EQ(f.visibleCount(), ChartFrame::kMinDays);
    f.zoom(1000);
    EXPECT_EQ(f.visibleCount(), 1000);

    ChartFrame empty;
    empty.setSeries({});
    empty.zoom(0.5);
    empty.pan(3);
    EXPECT_TRUE(empty.bars().isEmpty());
    EXPECT_EQ(empty.nearest(QDate(2020, 1, 1)), -1);
}

TEST(ChartFrameTest, GapsOfMoreThanAWeekAndTheDayUnderThePointer)
{
    storedfiles::Series s;
    for (QDate d : {QDate(2024, 3, 1), QDate(2024, 3, 4), QDate(2024, 3, 11), QDate(2024, 3, 22), QDate(2024, 3, 25)})
        s.days.append({d, 1.5, 2.25, 1, 2, 1200, 0});
    s.hasOpen = false;
    ChartFrame f;
    f.setSeries(s, {QDate(2024, 3, 22)});
    const QVector<ChartFrame::Gap> gaps = f.gaps();  // a weekend and exactly a week are no gaps
    ASSERT_EQ(gaps.size(), 1);
    EXPECT_EQ(gaps[0].before, QDate(2024, 3, 11));
    EXPECT_EQ(gaps[0].after, QDate(2024, 3, 22));

    EXPECT_EQ(f.nearest(QDate(2024, 3, 3)), 1);  // Sunday: the Monday is nearer
    EXPECT_EQ(f.nearest(QDate(2024, 3, 2)), 0);
    EXPECT_EQ(f.nearest(QDate(2000, 1, 1)), 0);
    EXPECT_EQ(f.nearest(QDate(2030, 1, 1)), 4);
    EXPECT_EQ(f.describe(3), QStringLiteral("2024-03-22  H 2.25  L 1.00  C 2.00  V 1200  (flagged by the check)"));
}

// "ok" only for a symbol whose files hold the latest session; one never
// downloaded says so instead.
TEST_F(SymbolStatusTest, OkOnlyWhenTheFilesHoldTheLatestSession)
{
    // KBF stays on with no file at all (its folder gone): it does not make
    // every symbol old.
    asciiUntil("NEW", QDate(2024, 3, 15));
    asciiUntil("OLD", QDate(2024, 3, 14));
    const QVector<symbolstatus::SymbolStatus> st =
        symbolstatus::statusOf(*db, {symbol("NEW"), symbol("OLD"), symbol("NEVER")});
    ASSERT_EQ(st.size(), 3);
    EXPECT_EQ(st[0].outcome, Outcome::Ok);
    EXPECT_EQ(st[1].outcome, Outcome::OldSession);
    EXPECT_EQ(st[2].outcome, Outcome::NotDownloaded);
    EXPECT_EQ(symbolstatus::outcomeText(st[2].outcome), QStringLiteral("not downloaded"));
    EXPECT_EQ(symbolstatus::outcomeText(st[1].outcome), QStringLiteral("old session"));
}

// MetaStock keeps single precision: a stored 12.34 is the same as its float;
// a file without an open (KBF) is not compared on it.
TEST(StoreCompareTest, ComparesInTheFilesOwnPrecisionAndFields)
{
    const auto figure = [](const char* t) { return core::Figure::parse(QString::fromLatin1(t)); };
    const QVector<core::Bar> stored{
        {20240102, figure("12.3"), figure("12.5"), figure("12.1"), figure("12.34"), figure("1000"), {}, 0},
        {20240103, figure("12.4"), figure("12.9"), figure("12.3"), figure("12.8"), figure("1100"), {}, 0}};
    storedfiles::Series file;
    file.days = {{QDate(2024, 1, 2), 12.3f, 12.5f, 12.1f, 12.34f, 1000, 0},
                 {QDate(2024, 1, 4), 12.4f, 12.9f, 12.3f, 12.8f, 1100, 0}};
    storecompare::FormatComparison single = storecompare::compare(stored, file, true);
    EXPECT_EQ(single.same, 1);
    EXPECT_EQ(single.fileOnly, 1);
    ASSERT_EQ(single.days.size(), 1);
    EXPECT_EQ(single.days[0].kind, storecompare::Day::Kind::Lacking);
    EXPECT_EQ(single.days[0].stored.date, 20240103);
    // In double precision the float's 12.34 is another number.
    const storecompare::FormatComparison exact = storecompare::compare(stored, file, false);
    EXPECT_EQ(exact.same, 0);
    ASSERT_EQ(exact.days.size(), 2);
    EXPECT_EQ(exact.days[0].kind, storecompare::Day::Kind::Differs);
    EXPECT_EQ(storecompare::figureText(exact.days[0].file->close, true), QStringLiteral("12.34"));

    file.days = {{QDate(2024, 1, 2), 99, 12.5, 12.1, 12.34, 1000, 0}};
    file.hasOpen = false;
    EXPECT_EQ(storecompare::compare(stored.mid(0, 1), file, false).same, 1);
    file.hasOpen = true;
    EXPECT_EQ(storecompare::compare(stored.mid(0, 1), file, false).same, 0);
}

// The chart of a file marks the days the quote store holds with other values
// and the stored days the file lacks.
TEST_F(SymbolStatusTest, TheChartMarksTheDaysTheFileDiffersFromTheStore)
{
    writeFile(ascii + "AAA.asc", "20240102,10,11,9,10.5,1000\r\n20240104,10,11,9,10.5,1000\r\n"
                                 "20240105,10,11,9,10.5,1000\r\n");
    const auto figure = [](const char* t) { return core::Figure::parse(QString::fromLatin1(t)); };
    EXPECT_TRUE(chartsource::load(*db, QLatin1Char('C'), QStringLiteral("AAA")).differs.isEmpty());  // no store
    {
        QuoteStore store;
        store.begin();
        const int source = store.source(QStringLiteral("quotes.example"), QDateTime::currentDateTimeUtc());
        for (const auto& [date, close] : {std::pair{20240102, "10.5"}, {20240103, "10.6"}, {20240104, "10.7"}})
            store.put(QStringLiteral("AAA"),
                      core::Bar{date, figure("10"), figure("11"), figure("9"), figure(close), figure("1000"), {}, 0},
                      source);
        store.commit();
    }
    const chartsource::Loaded loaded = chartsource::load(*db, QLatin1Char('C'), QStringLiteral("AAA"));
    EXPECT_EQ(loaded.differs, QVector<QDate>{QDate(2024, 1, 4)});
    EXPECT_EQ(loaded.lacking, QVector<QDate>{QDate(2024, 1, 3)});

    ChartFrame frame;
    frame.setSeries(loaded.series, loaded.flagged);
    frame.setStoreDifferences(loaded.differs, loaded.lacking);
    const QVector<ChartFrame::Bar> bars = frame.bars();
    ASSERT_EQ(bars.size(), 3);
    EXPECT_EQ((QVector<bool>{bars[0].differs, bars[1].differs, bars[2].differs}), (QVector<bool>{false, true, false}));
    EXPECT_TRUE(frame.describe(1).endsWith(QStringLiteral("(the quote store holds other values)")));
    EXPECT_EQ(frame.lacking(), QVector<QDate>{QDate(2024, 1, 3)});
    // A new series forgets the comparison.
    frame.setSeries(loaded.series);
    EXPECT_TRUE(frame.lacking().isEmpty());
    EXPECT_FALSE(frame.bars()[1].differs);
}

// The list's status marks a symbol whose last stored day is provisional;
// the chart gets every provisional day.
TEST_F(SymbolStatusTest, TheStoresProvisionalDaysReachTheStatusAndTheChart)
{
    writeFile(ascii + "AAA.asc", "20240102,10,11,9,10.5,1000\r\n20240103,10,11,9,10.5,1000\r\n"
                                 "20240104,10,11,9,10.5,1000\r\n");
    const auto bar = [](qint32 date, bool provisional) {
        const auto figure = [](const char* t) { return core::Figure::parse(QString::fromLatin1(t)); };
        core::Bar b{date, figure("10"), figure("11"), figure("9"), figure("10.5"), figure("1000"), {}, 0};
        b.set(core::Bar::Provisional, provisional);
        return b;
    };
    {
        QuoteStore store;
        const int source = store.source(QStringLiteral("quotes.example"), QDateTime::currentDateTimeUtc());
        store.begin();
        store.put(QStringLiteral("AAA"), bar(20240102, true), source);  // a run that never came back that day
        store.put(QStringLiteral("AAA"), bar(20240103, false), source);
        store.put(QStringLiteral("AAA"), bar(20240104, true), source);
        store.put(QStringLiteral("BBB"), bar(20240103, true), source);
        store.put(QStringLiteral("BBB"), bar(20240104, false), source);
        store.commit();
    }
    {
        const symbolstatus::StatusReader reader(*db, {QLatin1Char('C')});
        EXPECT_EQ(reader.read(symbol("AAA")).provisional, QDate(2024, 1, 4));
        EXPECT_FALSE(reader.read(symbol("BBB")).provisional.isValid());  // only the last day counts
        EXPECT_FALSE(reader.read(symbol("CCC")).provisional.isValid());  // nothing stored
    }

    EXPECT_EQ(chartsource::load(*db, QLatin1Char('C'), QStringLiteral("AAA")).provisional,
              (QVector<QDate>{QDate(2024, 1, 2), QDate(2024, 1, 4)}));
}
