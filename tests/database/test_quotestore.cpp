#include "testutil.h"

#include "core/dates.h"
#include "database/barpack.h"
#include "database/db.h"
#include "database/quotestore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

core::Bar bar(qint32 date, const char* o, const char* h, const char* l, const char* c, const char* v,
              const char* oi = "")
{
    core::Bar b;
    b.date = date;
    b.open = core::Figure::parse(QString::fromLatin1(o));
    b.high = core::Figure::parse(QString::fromLatin1(h));
    b.low = core::Figure::parse(QString::fromLatin1(l));
    b.close = core::Figure::parse(QString::fromLatin1(c));
    b.volume = core::Figure::parse(QString::fromLatin1(v));
    b.openInterest = core::Figure::parse(QString::fromLatin1(oi));
    return b;
}

core::Bar roundTrip(const core::Bar& in, qsizetype* size = nullptr)
{
    QByteArray bytes;
    barpack::pack(in, bytes);
    if (size)
        *size = bytes.size();
    core::Bar out;
    out.date = in.date;
    EXPECT_TRUE(barpack::unpack(bytes, out)) << in.close.text.toStdString();
    return out;
}

}  // namespace

// Every figure comes back with the very text it went in with, and its
// number as reading that text gives it.
TEST(BarPackTest, FiguresComeBackWithTheirExactTexts)
{
    const core::Bar cases[] = {
        bar(20261204, "123.45", "125.00", "122.1", "124.50", "1234567"),  // decimals differ: general form
        bar(20261204, "0.0450", "0.0500", "0.0400", "0.0480", "0"),       // leading zeros of the fraction
        bar(20261204, "-1.25", "0.50", "-2.00", "-0.75", "10"),           // negative prices (spreads)
        bar(20261204, "1e5", ".5", "007", "12.", "1.5e6"),                // texts that are not plain decimals
        bar(20261204, "31000", "31500", "30900", "31250", "123456789012", "45000"),
        bar(20261204, "", "10.5", "10.1", "10.3", ""),  // no open (KBF), no volume
        bar(20261204, "123456789012345678", "1", "1", "1", "1"),
        bar(20261204, "-0.00", "1.00", "1.00", "1.00", "5"),  // a negative zero keeps its sign
        bar(20261204, "1234567890123456789012345", "1.0000000000000000001", "1", "1", "99999999999999999999"),
    };
    for (const core::Bar& in : cases) {
        const core::Bar out = roundTrip(in);
        for (auto f : {&core::Bar::open, &core::Bar::high, &core::Bar::low, &core::Bar::close, &core::Bar::volume,
                       &core::Bar::openInterest}) {
            EXPECT_EQ((out.*f).text, (in.*f).text);
            EXPECT_EQ((out.*f).value, (in.*f).text.toDouble()) << (in.*f).text.toStdString();
        }
    }
}

TEST(BarPackTest, AnEverydayBarTakesAFewBytesAndDamageIsRefused)
{
    qsizetype size = 0;
    roundTrip(bar(20261204, "187.12", "189.40", "186.55", "188.90", "53412900"), &size);
    EXPECT_LE(size, 14);

    QByteArray bytes;
    barpack::pack(bar(20261204, "187.12", "189.40", "186.55", "188.90", "53412900"), bytes);
    core::Bar out;
    EXPECT_FALSE(barpack::unpack(bytes.left(bytes.size() - 1), out));   // cut short
    EXPECT_FALSE(barpack::unpack(bytes + QByteArray(1, '\x01'), out));  // trailing bytes
    EXPECT_FALSE(barpack::unpack(QByteArray("\xfe\x01", 2), out));      // unknown head
    EXPECT_FALSE(barpack::unpack(QByteArray("\xff\x40\x7f", 3), out));  // text longer than the bytes
    EXPECT_FALSE(barpack::unpack(QByteArray(), out));
}

class QuoteStoreTest : public QuotarisTest {
protected:
    QString storePath() const { return QDir(dataFolder()).filePath(QStringLiteral("quotestore.sqlite")); }
};

TEST_F(QuoteStoreTest, KeepsBarsSourcesRepairsAndEventsAcrossReopening)
{
    const QDateTime fetched(QDate(2026, 12, 4), QTime(22, 5), Qt::UTC);
    {
        QuoteStore store(storePath());
        const int src = store.source(QStringLiteral("127.0.0.1:8080"), fetched);
        EXPECT_EQ(store.source(QStringLiteral("127.0.0.1:8080"), fetched), src);  // one per run and host
        store.begin();
        store.put(QStringLiteral("AAPL"), bar(20261203, "180.00", "182.00", "179.50", "181.25", "1000"), src);
        core::Bar provisional = bar(20261204, "181.30", "183.00", "181.00", "182.10", "400");
        provisional.set(core::Bar::Provisional);
        store.put(QStringLiteral("AAPL"), provisional, src);
        core::Bar repaired = bar(20261202, "178.00", "180.00", "177.00", "179.00", "900");
        repaired.set(core::Bar::Repaired);
        const core::Bar sent = bar(20261202, "178.00", "180.00", "177.00", "1790.0", "900");
        store.put(QStringLiteral("AAPL"), repaired, src, &sent);
        store.putEvent(QStringLiteral("AAPL"), {20261203, QStringLiteral("split"), QStringLiteral("4:1")});
        store.commit();
    }
    QuoteStore store(storePath());
    const QVector<QuoteStore::Row> rows = store.rows(QStringLiteral("AAPL"));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].bar.date, 20261202);
    EXPECT_TRUE(rows[0].bar.has(core::Bar::Repaired));
    ASSERT_TRUE(rows[0].asSent.has_value());
    EXPECT_EQ(rows[0].asSent->close.text, QStringLiteral("1790.0"));
    EXPECT_FALSE(rows[1].asSent.has_value());
    EXPECT_TRUE(rows[2].bar.has(core::Bar::Provisional));
    EXPECT_EQ(store.sourceInfo(rows[1].source)->fetched, fetched);
    EXPECT_EQ(store.lastDay(QStringLiteral("AAPL")), 20261204);
    EXPECT_EQ(store.bars(QStringLiteral("AAPL"), 20261203, 20261203).size(), 1);
    EXPECT_EQ(store.events(QStringLiteral("AAPL")).value(0).value, QStringLiteral("4:1"));

    // The final bar replaces the provisional one; values that come without a
    // repair drop what was kept as sent.
    store.put(QStringLiteral("AAPL"), bar(20261204, "181.30", "184.00", "181.00", "183.70", "900"), 1);
    store.put(QStringLiteral("AAPL"), bar(20261202, "178.00", "180.00", "177.00", "179.00", "900"), 1);
    const QVector<QuoteStore::Row> after = store.rows(QStringLiteral("AAPL"));
    EXPECT_FALSE(after[2].bar.has(core::Bar::Provisional));
    EXPECT_EQ(after[2].bar.close.text, QStringLiteral("183.70"));
    EXPECT_FALSE(after[0].asSent.has_value());
    EXPECT_TRUE(store.check().isEmpty());
    const QuoteStore::Summary s = store.summary();
    EXPECT_EQ(s.symbols, 1);
    EXPECT_EQ(s.bars, 3);
    EXPECT_EQ(s.first, 20261202);
    EXPECT_EQ(s.last, 20261204);
}

TEST_F(QuoteStoreTest, ARenamedTickerCarriesItsBarsAndKeepsTheNewTickersDays)
{
    QuoteStore store(storePath());
    store.put(QStringLiteral("OLD"), bar(20261201, "1.00", "1.00", "1.00", "1.00", "1"), 1);
    store.put(QStringLiteral("OLD"), bar(20261202, "2.00", "2.00", "2.00", "2.00", "2"), 1);
    store.put(QStringLiteral("NEW"), bar(20261202, "9.00", "9.00", "9.00", "9.00", "9"), 1);
    store.renameSymbol(QStringLiteral("OLD"), QStringLiteral("NEW"));
    const QVector<core::Bar> bars = store.bars(QStringLiteral("NEW"));
    ASSERT_EQ(bars.size(), 2);
    EXPECT_EQ(bars[0].close.text, QStringLiteral("1.00"));
    EXPECT_EQ(bars[1].close.text, QStringLiteral("9.00"));
    EXPECT_TRUE(store.bars(QStringLiteral("OLD")).isEmpty());
    EXPECT_EQ(store.tickers(), QStringList{QStringLiteral("NEW")});

    store.renameSymbol(QStringLiteral("NEW"), QStringLiteral("NEWER"));
    EXPECT_EQ(store.bars(QStringLiteral("NEWER")).size(), 2);
}

// A file that is not a store, or is from a newer version, is refused with a
// message that names it, and is left exactly as it was.
TEST_F(QuoteStoreTest, RefusesWhatIsNotItsOwnAndLeavesItUntouched)
{
    const auto refused = [&](const QByteArray& content, const char* expected) {
        QFile f(storePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        try {
            QuoteStore store(storePath());
            ADD_FAILURE() << "opened: " << expected;
        } catch (const StoreError& e) {
            EXPECT_TRUE(e.description().contains(storePath())) << e.description().toStdString();
            EXPECT_TRUE(e.description().contains(QLatin1String(expected))) << e.description().toStdString();
        }
        QFile back(storePath());
        ASSERT_TRUE(back.open(QIODevice::ReadOnly));
        EXPECT_EQ(back.readAll(), content);
        EXPECT_FALSE(QFile::exists(storePath() + QStringLiteral("-wal")));
    };
    refused(QByteArray("Date,Open,High,Low,Close\n").repeated(200), "is not a quote store");

    // Another program's SQLite database.
    const QString other = QDir(dataFolder()).filePath(QStringLiteral("other.sqlite"));
    {
        Database db(other, Database::Mode::CreateIfMissing, Database::Key::None);
        db.exec(QStringLiteral("CREATE TABLE t(x)"));
    }
    QFile o(other);
    ASSERT_TRUE(o.open(QIODevice::ReadOnly));
    refused(o.readAll(), "is not a quote store");

    // A store of a later version.
    QFile::remove(storePath());
    {
        QuoteStore store(storePath());
    }
    {
        Database db(storePath(), Database::Mode::OpenExisting, Database::Key::None);
        db.exec(QStringLiteral("PRAGMA user_version=%1").arg(QuoteStore::kVersion + 1));
        db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        db.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    }
    QFile newer(storePath());
    ASSERT_TRUE(newer.open(QIODevice::ReadOnly));
    refused(newer.readAll(), "newer version");
}

TEST_F(QuoteStoreTest, AFullDiskFailsTheWriteWithTheReasonAndKeepsWhatWasCommitted)
{
    const QString folder = QDir(dataFolder()).filePath(QStringLiteral("small"));
    QDir().mkpath(folder);
    SmallDisk disk(folder, 512);
    if (!disk.mounted())
        GTEST_SKIP() << "no right to mount a small disk";
    const QString path = QDir(folder).filePath(QStringLiteral("quotestore.sqlite"));
    QuoteStore store(path);
    store.put(QStringLiteral("KEEP"), bar(20261201, "1.00", "1.00", "1.00", "1.00", "1"), 1);
    disk.fill(0);
    bool failed = false;
    try {
        store.begin();
        for (int d = 0; d < 20000; ++d)
            store.put(QStringLiteral("T%1").arg(d), bar(20261201, "1.00", "2.00", "0.50", "1.50", "100"), 1);
        store.commit();
    } catch (const StoreError& e) {
        failed = true;
        store.rollback();
        EXPECT_TRUE(e.description().contains(QLatin1String("No space left on device")))
            << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(path));
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(store.bars(QStringLiteral("KEEP")).size(), 1);
}

// A symbol's days put at once: months the store lacks are written whole,
// a month it holds is merged day by day.
TEST_F(QuoteStoreTest, DaysPutAtOnceMergeWithTheMonthsTheStoreHolds)
{
    QuoteStore store(storePath());
    store.put(QStringLiteral("MRG"), bar(20261103, "9.00", "9.00", "9.00", "9.00", "9"), 1);
    store.put(QStringLiteral("MRG"), bar(20261130, "8.00", "8.00", "8.00", "8.00", "8"), 1);
    QVector<core::Bar> days;
    for (const qint32 d : {20261030, 20261102, 20261103, 20261201})
        days.append(bar(d, "1.00", "2.00", "0.50", "1.50", "100"));
    store.begin();
    store.putDays(QStringLiteral("MRG"), days, 2);
    store.commit();
    const QVector<QuoteStore::Row> rows = store.rows(QStringLiteral("MRG"));
    QStringList seen;
    for (const QuoteStore::Row& r : rows)
        seen << QStringLiteral("%1 %2 %3").arg(r.bar.date).arg(r.bar.close.text).arg(r.source);
    EXPECT_EQ(seen, (QStringList{"20261030 1.50 2", "20261102 1.50 2", "20261103 1.50 2", "20261130 8.00 1",
                                 "20261201 1.50 2"}));
    EXPECT_EQ(store.summary().bars, 5);
    EXPECT_TRUE(store.check().isEmpty());
}

// A symbol first seen in a transaction that is rolled back is gone with it:
// its id may be given to another symbol, whose days must not reach it.
TEST_F(QuoteStoreTest, ASymbolOfARolledBackTransactionTakesNoLaterDays)
{
    QuoteStore store(storePath());
    store.begin();
    store.put(QStringLiteral("GONE"), bar(20261201, "1.00", "1.00", "1.00", "1.00", "1"), 1);
    store.rollback();
    store.put(QStringLiteral("OTHER"), bar(20261202, "2.00", "2.00", "2.00", "2.00", "2"), 1);
    store.put(QStringLiteral("GONE"), bar(20261203, "3.00", "3.00", "3.00", "3.00", "3"), 1);

    const auto other = store.bars(QStringLiteral("OTHER"));
    ASSERT_EQ(other.size(), 1);
    EXPECT_EQ(other[0].date, 20261202);
    const auto gone = store.bars(QStringLiteral("GONE"));
    ASSERT_EQ(gone.size(), 1);
    EXPECT_EQ(gone[0].date, 20261203);
    EXPECT_EQ(store.tickers(), (QStringList{QStringLiteral("GONE"), QStringLiteral("OTHER")}));
}

// Days put at once keep the values as sent of their repaired days, and a
// day put again unrepaired drops them; days outside the put keep theirs.
TEST_F(QuoteStoreTest, DaysPutAtOnceKeepAndDropTheValuesAsSent)
{
    QuoteStore store(storePath());
    const core::Bar sent = bar(20261102, "1.00", "99.00", "0.50", "1.50", "100");
    QVector<core::Bar> days;
    for (const qint32 d : {20261030, 20261102, 20261103, 20261201}) {
        days.append(bar(d, "1.00", "2.00", "0.50", "1.50", "100"));
        if (d == 20261102 || d == 20261201)
            days.last().flags = core::Bar::Repaired;
    }
    store.begin();
    store.putDays(QStringLiteral("RPR"), days, 1,
                  {{20261102, sent}, {20261201, bar(20261201, "3.00", "2.00", "0.50", "1.50", "100")}});
    store.commit();
    auto rows = store.rows(QStringLiteral("RPR"));
    ASSERT_EQ(rows.size(), 4);
    ASSERT_TRUE(rows[1].asSent.has_value());
    EXPECT_EQ(rows[1].asSent->high.text, QStringLiteral("99.00"));
    EXPECT_FALSE(rows[0].asSent.has_value());

    // The 2nd comes again as sent and correct: its kept values go; the
    // 1st of December is not in this put and keeps them.
    store.begin();
    store.putDays(QStringLiteral("RPR"), {bar(20261102, "1.00", "2.00", "0.50", "1.50", "100")}, 2);
    store.commit();
    rows = store.rows(QStringLiteral("RPR"));
    ASSERT_EQ(rows.size(), 4);
    EXPECT_FALSE(rows[1].asSent.has_value());
    EXPECT_EQ(rows[1].source, 2);
    ASSERT_TRUE(rows[3].asSent.has_value());
    EXPECT_EQ(rows[3].asSent->open.text, QStringLiteral("3.00"));
}

// Days after a month row's last go on its end, earlier ones are merged in,
// and a row whose days are out of order (as older rows may be) still reads
// with the later entry of a day holding. Thousands of distinct prices come
// back with their own texts.
TEST_F(QuoteStoreTest, MonthRowsTakeLaterAndEarlierDaysAndReadInAnyOrder)
{
    QuoteStore store(storePath());
    const auto price = [](int cents) {
        return QStringLiteral("%1.%2").arg(cents / 100).arg(cents % 100, 2, 10, QLatin1Char('0')).toLatin1();
    };
    QVector<core::Bar> days;
    for (int i = 0; i < 3000; ++i) {
        const QDate d = QDate(2010, 1, 1).addDays(i);
        const QByteArray o = price(1000 + i * 7), c = price(1000 + i * 11);
        days.append(bar(core::dateNumber(d), o.constData(), c.constData(), "1.00", c.constData(), "100"));
    }
    store.begin();
    store.putDays(QStringLiteral("LONG"), days, 1);
    store.commit();
    const QVector<core::Bar> back = store.bars(QStringLiteral("LONG"));
    ASSERT_EQ(back.size(), days.size());
    for (qsizetype i = 0; i < days.size(); ++i) {
        ASSERT_EQ(back[i].date, days[i].date);
        ASSERT_EQ(back[i].open.text, days[i].open.text) << i;
        ASSERT_EQ(back[i].close.text, days[i].close.text) << i;
    }

    store.put(QStringLiteral("ROW"), bar(20261110, "10.00", "10.00", "10.00", "10.00", "10"), 1);
    store.put(QStringLiteral("ROW"), bar(20261120, "20.00", "20.00", "20.00", "20.00", "20"), 1);  // on the end
    store.put(QStringLiteral("ROW"), bar(20261105, "5.00", "5.00", "5.00", "5.00", "5"), 1);       // merged in
    store.put(QStringLiteral("ROW"), bar(20261120, "21.00", "21.00", "21.00", "21.00", "21"), 2);  // replaced
    QStringList seen;
    for (const core::Bar& b : store.bars(QStringLiteral("ROW"), 20261101, 20261130))
        seen << QStringLiteral("%1 %2").arg(b.date).arg(b.close.text);
    EXPECT_EQ(seen, (QStringList{"20261105 5.00", "20261110 10.00", "20261120 21.00"}));
    EXPECT_EQ(store.summary().bars, 3003);

    // A row written out of order, day 12 twice: read as the days in order.
    QByteArray row;
    for (const auto& [day, close] : {std::pair{12, "1.00"}, {3, "3.00"}, {12, "12.00"}}) {
        QByteArray figures;
        barpack::pack(bar(20261200 + day, close, close, close, close, "7"), figures);
        row.append(static_cast<char>(day));
        barpack::putVarint(row, 0);
        barpack::putVarint(row, 1);
        barpack::putVarint(row, static_cast<quint64>(figures.size()));
        row.append(figures);
    }
    {
        Database db(storePath(), Database::Mode::OpenExisting, Database::Key::None);
        const int month = 2026 * 12 + 11;
        Statement st = db.prepare(QStringLiteral("INSERT INTO bar(symbol, month, days, entries) "
                                                 "SELECT id, ?, 3, ? FROM symbol WHERE ticker='ROW'"));
        st.bindInteger(1, month);
        st.bindBlob(2, row.constData(), static_cast<int>(row.size()));
        st.run();
    }
    QuoteStore again(storePath());
    seen.clear();
    for (const core::Bar& b : again.bars(QStringLiteral("ROW"), 20261201))
        seen << QStringLiteral("%1 %2").arg(b.date).arg(b.close.text);
    EXPECT_EQ(seen, (QStringList{"20261203 3.00", "20261212 12.00"}));
    // A later day goes after the row's days, which are taken apart once.
    again.put(QStringLiteral("ROW"), bar(20261215, "15.00", "15.00", "15.00", "15.00", "15"), 1);
    seen.clear();
    for (const core::Bar& b : again.bars(QStringLiteral("ROW"), 20261201))
        seen << QStringLiteral("%1 %2").arg(b.date).arg(b.close.text);
    EXPECT_EQ(seen, (QStringList{"20261203 3.00", "20261212 12.00", "20261215 15.00"}));
}

// Day numbers count from 1970-01-01 across leap years and centuries; a day
// that does not exist, as a bound one day off a month's end, falls in order.
TEST(QuoteStoreDays, DayNumbersCountDaysAndKeepImpossibleDaysInOrder)
{
    EXPECT_EQ(QuoteStore::dayNumber(19700101), 0);
    EXPECT_EQ(QuoteStore::dayNumber(20000301), 11017);
    EXPECT_EQ(QuoteStore::dayNumber(19000228), -25509);
    EXPECT_EQ(QuoteStore::dateOf(QuoteStore::dayNumber(20240229)), 20240229);
    EXPECT_EQ(QuoteStore::dayNumber(20261200), QuoteStore::dayNumber(20261130));
    EXPECT_EQ(QuoteStore::dayNumber(20261232), QuoteStore::dayNumber(20270101));
}
