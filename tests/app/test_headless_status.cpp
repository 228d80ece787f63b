#include "testutil.h"

#include "database/clsdata.h"
#include "database/lists.h"
#include "database/quotestore.h"
#include "database/startup.h"

#include <QDir>

namespace {
QByteArray day(const char* yyyymmdd) { return QByteArray(yyyymmdd) + ",10,11,9,10.5,1000\r\n"; }
}  // namespace

class HeadlessStatusTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        {
            clsData d;
            // Named so that the list's order (market, type, name) is A, B, C.
            for (const char* t : {"AAA", "BBB", "CCC", "DDD"}) {
                d.tickercode = QLatin1String(t);
                d.fondsnaam = QLatin1String(t) + QStringLiteral(" Corp");
                d.MarktNaam = QStringLiteral("Amsterdam");
                d.fondstype = QStringLiteral("Stock");
                d.go();
                d.addtodatabase2(d.tickercode, d.fondsnaam, d.marketid, d.fondstype);
            }
        }
        Lijstinvoeg onList;
        for (const char* t : {"AAA", "BBB", "CCC"})
            onList.downloaden(QLatin1String(t), true, lists::column(3));
        onList.downloaden(QStringLiteral("DDD"), true, lists::column(5));
        ascii = path("ascii/");
        QDir().mkpath(ascii);
        const ProgramRun on = runQuotaris({"format", "C", "on", "--folder", ascii});
        ASSERT_EQ(on.status, 0) << qPrintable(on.err);
        writeFile(ascii + "AAA.asc", day("20240314") + day("20240315"));
        writeFile(ascii + "BBB.asc", day("20240308"));  // five trading days behind
        writeFile(ascii + "DDD.asc", day("20240301"));
    }
    QString ascii;
};

TEST_F(HeadlessStatusTest, PrintsOneLinePerSymbolAndFormatWithTheState)
{
    ProgramRun r = runQuotaris({"status", "--list", "3"});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.lines(), QStringList({"AAA,C,2024-03-15,ok", "BBB,C,2024-03-08,behind", "CCC,C,,missing"}));

    r = runQuotaris({"status", "--list", "3", "--stale"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.lines(), QStringList({"BBB,C,2024-03-08,behind", "CCC,C,,missing"}));

    // Every list at once: DDD of list 5 is measured against AAA too.
    r = runQuotaris({"status", "--stale"});
    EXPECT_EQ(r.status, 0);
    QStringList all = r.lines();
    all.sort();
    EXPECT_EQ(all, QStringList({"BBB,C,2024-03-08,behind", "CCC,C,,missing", "DDD,C,2024-03-01,behind"}));

    // A second format has its own newest day.
    ASSERT_EQ(runQuotaris({"format", "S", "on", "--folder", ascii}).status, 0);
    writeFile(ascii + "CCC.prn", "CCC,D,200102,1,2,1,2,5,1\r\n");
    r = runQuotaris({"status", "--list", "3"});
    EXPECT_EQ(r.lines(), QStringList({"AAA,S,,missing", "AAA,C,2024-03-15,ok", "BBB,S,,missing",
                                      "BBB,C,2024-03-08,behind", "CCC,S,2020-01-02,ok", "CCC,C,,missing"}));
}

TEST_F(HeadlessStatusTest, ASymbolsStoredBarsBesideItsFiles)
{
    EXPECT_EQ(runQuotaris({"status", "--symbol", "AAA"}).status, 1);  // no store yet
    {
        const auto figure = [](const char* t) { return core::Figure::parse(QString::fromLatin1(t)); };
        QuoteStore store;
        store.begin();
        const int source = store.source(QStringLiteral("quotes.example"), QDateTime::currentDateTimeUtc());
        for (const auto& [date, close] : {std::pair{20240313, "10.5"}, {20240314, "10.50"}, {20240315, "10.75"}})
            store.put(QStringLiteral("AAA"),
                      core::Bar{date, figure("10"), figure("11"), figure("9"), figure(close), figure("1000"), {}, 0},
                      source);
        store.commit();
    }
    const ProgramRun r = runQuotaris({"status", "--symbol", "AAA"});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.lines(), (QStringList{"AAA,C," + ascii +
                                          "AAA.asc: 3 stored days, 1 same, 1 differ, 1 lacking, "
                                          "0 only in the file",
                                      "  2024-03-13 lacking: store 10 11 9 10.5 1000",
                                      "  2024-03-15 differs: store 10 11 9 10.75 1000; file 10 11 9 10.5 1000"}));
    EXPECT_EQ(runQuotaris({"status", "--symbol", "BBB"}).status, 1);  // nothing stored
    EXPECT_EQ(runQuotaris({"status", "--symbol", "AAA", "--stale"}).status, 2);
}

// Only a symbol whose last stored day is provisional is marked; an earlier
// provisional day does not mark it.
TEST_F(HeadlessStatusTest, ASymbolWhoseLastStoredDayIsProvisionalIsMarked)
{
    {
        const auto figure = [](const char* t) { return core::Figure::parse(QString::fromLatin1(t)); };
        QuoteStore store;
        store.begin();
        const int source = store.source(QStringLiteral("quotes.example"), QDateTime::currentDateTimeUtc());
        const auto put = [&](const char* ticker, qint32 date, bool provisional) {
            core::Bar b{date, figure("10"), figure("11"), figure("9"), figure("10.5"), figure("1000"), {}, 0};
            b.set(core::Bar::Provisional, provisional);
            store.put(QLatin1String(ticker), b, source);
        };
        put("AAA", 20240314, false);
        put("AAA", 20240315, true);
        put("BBB", 20240307, true);
        put("BBB", 20240308, false);
        store.commit();
    }
    ProgramRun r = runQuotaris({"status", "--list", "3"});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.lines(),
              QStringList({"AAA,C,2024-03-15,ok,provisional 2024-03-15", "BBB,C,2024-03-08,behind", "CCC,C,,missing"}));
    r = runQuotaris({"status", "--symbol", "AAA"});
    EXPECT_EQ(r.lines().value(0), QStringLiteral("AAA: the last stored day 2024-03-15 is provisional"));
    r = runQuotaris({"status", "--symbol", "BBB"});
    EXPECT_FALSE(r.out.contains("provisional")) << qPrintable(r.out);
}

// The gaps column counts what `gaps` finds: missing sessions and earlier
// provisional days among the market's last 30 sessions, here told by the
// index as the market has too few symbols in the store.
TEST_F(HeadlessStatusTest, ASymbolWithGapsInTheStoreShowsHowMany)
{
    {
        const auto figure = [](const char* t) { return core::Figure::parse(QString::fromLatin1(t)); };
        QuoteStore store;
        store.begin();
        const int source = store.source(QStringLiteral("quotes.example"), QDateTime::currentDateTimeUtc());
        const auto put = [&](const char* ticker, qint32 date, bool provisional = false) {
            core::Bar b{date, figure("10"), figure("11"), figure("9"), figure("10.5"), figure("1000"), {}, 0};
            b.set(core::Bar::Provisional, provisional);
            store.put(QLatin1String(ticker), b, source);
        };
        for (qint32 d = 20240311; d <= 20240315; ++d) {
            put("^GSPC", d);
            put("BBB", d);
            if (d != 20240313)
                put("AAA", d, d == 20240312);
        }
        store.commit();
    }
    ProgramRun r = runQuotaris({"status", "--list", "3"});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.lines(), QStringList({"AAA,C,2024-03-15,ok,gaps 2", "BBB,C,2024-03-08,behind", "CCC,C,,missing"}));
    // The same count as `gaps` lists.
    r = runQuotaris({"gaps", "--list", "3"});
    EXPECT_TRUE(r.lines().contains(QStringLiteral("AAA: missing 2024-03-13; provisional 2024-03-12")))
        << qPrintable(r.out);
}

TEST_F(HeadlessStatusTest, WrongArgumentsExitTwo)
{
    EXPECT_EQ(runQuotaris({"status", "--list", "17"}).status, 2);
    EXPECT_EQ(runQuotaris({"status", "--list"}).status, 2);
    EXPECT_EQ(runQuotaris({"status", "extra"}).status, 2);
}
