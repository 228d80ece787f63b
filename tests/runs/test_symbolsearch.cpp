#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/startup.h"
#include "fakeservice.h"
#include "runs/symbolsearch.h"
#include "support/state.h"
#include "support/yield.h"
#include "testutil.h"

// Starts what `start` starts and waits for the search's answer; false when
// nothing was started.
static bool searched(SymbolSearch& s, const std::function<bool()>& start)
{
    bool done = false;
    QObject scope;
    QObject::connect(&s, &SymbolSearch::searched, &scope, [&done] { done = true; });
    if (!start())
        return false;
    waitUntil([&done] { return done; }, 60000);
    return true;
}

static void internetsearch(SymbolSearch& s)
{
    searched(s, [&s] {
        s.internetsearch();
        return true;
    });
}

static bool next50(SymbolSearch& s)
{
    return searched(s, [&s] { return s.next50(); });
}

static bool previous50(SymbolSearch& s)
{
    return searched(s, [&s] { return s.previous50(); });
}

class SymbolSearchTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        fake.useForAllHosts();
        settings().teller3 = 2;
    }

    QList<QByteArray> symbols(int n, const QByteArray& prefix = "S")
    {
        QList<QByteArray> all;
        for (int i = 0; i < n; ++i) {
            const QByteArray s = prefix + QByteArray::number(i).rightJustified(3, '0');
            fake.addQuote(FakeQuoteService::quote(s, "6/4/2004", "1", "10", s + " CORP", "NYSE"));
            all << s;
        }
        return all;
    }

    int count(const QString& sql)
    {
        clsData d;
        return d.db().scalar(sql).toInt();
    }

    FakeQuoteService fake;
};

TEST_F(SymbolSearchTest, HitsAreComparedWithTheDatabase)
{
    fake.setLookup("corp", symbols(3));
    {
        clsData d;
        d.tickercode = QStringLiteral("S001");
        d.fondsnaam = QStringLiteral("Old name");
        d.MarktNaam = QStringLiteral("NYSE");
        d.fondstype = QStringLiteral("Stock");
        d.go();
        d.addtodatabase2(d.tickercode, d.fondsnaam, d.marketid, d.fondstype);
        d.addtodatabase2(QStringLiteral("S002"), QStringLiteral("S002 CORP"), d.marketid, QStringLiteral("Stock"));
    }
    SymbolSearch s;
    s.text = QStringLiteral("corp");
    s.kind = SymbolSearch::kindText(0);
    internetsearch(s);
    ASSERT_EQ(s.hits.size(), 3);
    EXPECT_EQ(s.hits[0].inDatabase, QStringLiteral("No"));
    EXPECT_EQ(s.hits[1].inDatabase, QStringLiteral("(Name corrected)S001 CORP"));
    EXPECT_EQ(s.hits[2].inDatabase, QStringLiteral("Yes"));
    EXPECT_EQ(s.summary, QStringLiteral("Showing 1 - 3 from 3 Results"));
    EXPECT_FALSE(s.canNext);
    EXPECT_FALSE(s.canPrevious);

    // Adding all tries only the one not yet stored.
    EXPECT_EQ(s.addAll(), 1);
    EXPECT_EQ(s.hits[0].inDatabase, QStringLiteral("Yes"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM fondsen WHERE typeyahoo = 'Stock'")), 3);
}

TEST_F(SymbolSearchTest, NamePagesAndMemberPages)
{
    fake.setLookup("many", symbols(135));
    SymbolSearch s;
    s.text = QStringLiteral("many");
    internetsearch(s);
    EXPECT_TRUE(s.canNext);
    EXPECT_FALSE(s.canPrevious);
    ASSERT_TRUE(next50(s));
    EXPECT_EQ(s.summary, QStringLiteral("Showing 51 - 100 from 135 Results"));
    EXPECT_TRUE(s.canNext);
    EXPECT_TRUE(s.canPrevious);
    ASSERT_TRUE(next50(s));
    EXPECT_EQ(s.hits.size(), 35);
    EXPECT_FALSE(s.canNext);
    EXPECT_FALSE(next50(s));
    ASSERT_TRUE(previous50(s));
    EXPECT_EQ(s.hits.first().ticker, QStringLiteral("S050"));

    fake.setMembers("^IDX", symbols(60, "M"));
    SymbolSearch m;
    m.components = QStringLiteral("^IDX");
    internetsearch(m);
    EXPECT_EQ(m.hits.size(), 50);
    EXPECT_TRUE(m.canNext);
    EXPECT_FALSE(m.canPrevious);
    ASSERT_TRUE(next50(m));
    EXPECT_EQ(m.hits.size(), 10);
    EXPECT_EQ(m.hits.first().ticker, QStringLiteral("M050"));
    EXPECT_EQ(m.summary, QStringLiteral("Showing 51 - 60"));
    EXPECT_FALSE(m.canNext);
    EXPECT_TRUE(m.canPrevious);
}

TEST_F(SymbolSearchTest, ExactSymbolAndAddingToAList)
{
    symbols(1, "E");
    SymbolSearch s;
    s.exact = true;
    s.text = QStringLiteral("UNKNOWN");
    internetsearch(s);
    EXPECT_TRUE(s.hits.isEmpty());
    EXPECT_EQ(s.summary, QStringLiteral("UNKNOWN Returned No Results"));

    s.text = QStringLiteral("E000");
    s.kind = SymbolSearch::kindText(2);
    internetsearch(s);
    ASSERT_EQ(s.hits.size(), 1);
    EXPECT_EQ(s.hits[0].type, QStringLiteral("Index"));
    EXPECT_EQ(s.summary, QStringLiteral("Showing 1 - 1 from 1 Results"));
    EXPECT_EQ(s.lijsttoevoegen2({0}, 4), QStringLiteral("1 Symbols added to Database\n1 Symbols added to list 4"));
    // Already stored: only the list.
    EXPECT_EQ(s.lijsttoevoegen2({0}, 6), QStringLiteral("1 Symbols added to list 6"));
    clsData d;
    const auto onSix = lists::symbolsOfList(d.db(), 6);
    ASSERT_EQ(onSix.size(), 1);
    EXPECT_TRUE(onSix[0].on[4]);
    EXPECT_EQ(onSix[0].name, QStringLiteral("E000 CORP"));
    EXPECT_EQ(onSix[0].market, QStringLiteral("NYSE"));
}

TEST_F(SymbolSearchTest, LocalSearch)
{
    EXPECT_EQ(SymbolSearch::likePattern(QStringLiteral("ab?d"), true), QStringLiteral("ab_d"));
    EXPECT_EQ(SymbolSearch::likePattern(QStringLiteral("abc"), true), QStringLiteral("%abc%"));
    EXPECT_EQ(SymbolSearch::likePattern(QStringLiteral("O'Re,il*"), true), QStringLiteral("OReil%"));
    EXPECT_EQ(SymbolSearch::likePattern(QStringLiteral("x_%y"), false), QStringLiteral("xy"));
    {
        clsData d;
        const int m = d.markt0();
        d.addtodatabase2(QStringLiteral("ABCD"), QStringLiteral("Abcd Holding"), m, QStringLiteral("Stock"));
        d.addtodatabase2(QStringLiteral("XY"), QStringLiteral("Xabc yz"), m, QStringLiteral("Stock"));
    }
    SymbolSearch s;
    EXPECT_EQ(s.localsearch(QStringLiteral("abc"), true).size(), 2);
    EXPECT_EQ(s.summary, QStringLiteral("Showing 1 - 2 of 2"));
    EXPECT_EQ(s.localsearch(QStringLiteral("abc*"), true).size(), 1);
    EXPECT_EQ(s.localsearch(QStringLiteral("abcd"), false).size(), 1);
    EXPECT_TRUE(s.localsearch(QStringLiteral("abc"), false).isEmpty());
    EXPECT_EQ(s.summary, QStringLiteral("abc Returned No Results"));
}

TEST_F(SymbolSearchTest, AwkwardSearchTextsLeaveTheDatabaseSound)
{
    // The service receives the text in UTF-8.
    fake.setLookup(QStringLiteral("O'Neil \"&\" Søn").toUtf8(), symbols(2));
    for (const QString& text : {QStringLiteral("O'Neil \"&\" Søn"), QStringLiteral("'; DROP TABLE fondsen; --"),
                                QStringLiteral("Ωmega %_*?"), QString(1000, QLatin1Char('\''))}) {
        for (bool exact : {false, true}) {
            SymbolSearch s;
            s.text = text;
            s.exact = exact;
            internetsearch(s);
            EXPECT_TRUE(s.answered);
            s.addAll();
            s.localsearch(text, true);
            s.localsearch(text, false);
        }
    }
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM fondsen")), 2);
    clsData d;
    EXPECT_EQ(d.db().scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
}
