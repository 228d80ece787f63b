#include "fakeservice.h"
#include "gapstore.h"
#include "historytable.h"

#include "database/db.h"
#include "database/startup.h"
#include "runs/gapcount.h"
#include "runs/gapfill.h"
#include "support/paths.h"
#include "support/runlock.h"
#include "support/state.h"
#include "support/yield.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// The start page's figure and fill, without the page: twelve symbols of one
// exchange on list 1, the fake chart host answering every weekday.
class GapCountTest : public GapStoreTest<20> {
protected:
    void SetUp() override
    {
        GapStoreTest<20>::SetUp();
        ASSERT_TRUE(runStartup().opened);
        ASSERT_TRUE(fake.isListening());
        fake.useForAllHosts();
        fake.setResponder(fakehistory::responder());
        quickRuns(30);
        formatOn('C', QStringLiteral("ascii"));
        Database db(paths::databaseFile());
        for (const QString& t : std::as_const(tickers))
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                                   "VALUES (1, ?, ?, 'Stock', 1)"),
                    {t, t + QStringLiteral(" NV")});
        // S3 lacks a session, S5 holds an earlier one as provisional.
        fill([this](int symbol, qint32 d) { return symbol == 3 && d == days[15]; });
        store->begin();
        store->put(tickers[5], day(days[12], "100", true), 1);
        store->commit();
    }

    // Starts the fill and turns the event loop until it has ended.
    bool fillToEnd(gapfill::GapCount& count, const std::function<void()>& meanwhile = {})
    {
        QEventLoop loop;
        bool ended = false;
        QObject::connect(&count, &gapfill::GapCount::finished, &loop, [&] {
            ended = true;
            loop.quit();
        });
        if (!count.fill())
            return false;
        if (meanwhile)
            meanwhile();
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        if (!ended)
            loop.exec();
        return ended;
    }

    int historyRequests() const
    {
        int n = 0;
        for (const FakeQuoteService::Request& r : fake.requests())
            n += r.path == "/table.csv";
        return n;
    }

    FakeQuoteService fake;
};

}  // namespace

// A refresh with nothing changed reads nothing; a change of the store does.
TEST_F(GapCountTest, SurveysAgainOnlyWhenTheStoreOrTheDatabaseChanged)
{
    gapfill::GapCount count;
    EXPECT_EQ(count.figure().symbols, 2);
    EXPECT_EQ(count.figure().asking, 2);
    EXPECT_EQ(count.figure().symbols, 2);
    EXPECT_EQ(count.surveys(), 1);

    store->begin();
    store->put(tickers[3], day(days[15]), 1);
    store->commit();
    EXPECT_EQ(count.figure().symbols, 1);
    EXPECT_EQ(count.surveys(), 2);

    // A symbol taken off the lists is no longer counted.
    Database(paths::databaseFile())
        .exec(QStringLiteral("UPDATE fondsen SET list1 = 0 WHERE codeyahoo = ?"), {tickers[5]});
    EXPECT_EQ(count.figure().symbols, 0);
    EXPECT_EQ(count.surveys(), 3);
    count.invalidate();
    EXPECT_EQ(count.figure().symbols, 0);
    EXPECT_EQ(count.surveys(), 4);
}

TEST_F(GapCountTest, WithoutAStoreThereIsNoFigure)
{
    store.reset();
    QFile::remove(QuoteStore::defaultPath());
    gapfill::GapCount count;
    EXPECT_EQ(count.figure().symbols, -1);
    EXPECT_EQ(count.figure().asking, 0);
}

// One history request per symbol with gaps; the outcome is shown once, and
// the figure counted again drops to nothing.
TEST_F(GapCountTest, AFillAsksOncePerSymbolReportsAndTheFigureDrops)
{
    gapfill::GapCount count;
    ASSERT_EQ(count.figure().symbols, 2);
    int progressed = 0;
    QObject::connect(&count, &gapfill::GapCount::progress, [&](int finished, int total, const QString&) {
        EXPECT_EQ(total, 2);
        progressed = finished;
    });
    ASSERT_TRUE(fillToEnd(count));
    EXPECT_FALSE(count.filling());
    EXPECT_EQ(progressed, 2);
    EXPECT_EQ(historyRequests(), 2);
    ASSERT_EQ(msgs.shown.size(), 1) << qPrintable(msgs.texts().join(QLatin1Char('\n')));
    const QString text = msgs.shown.last().text;
    EXPECT_EQ(msgs.shown.last().title, QStringLiteral("Fill gaps"));
    EXPECT_TRUE(text.contains(QStringLiteral("S3.AS: filled ") + gapfill::dateText(days[15]))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("S5.AS: filled ") + gapfill::dateText(days[12]))) << qPrintable(text);
    EXPECT_EQ(count.figure().symbols, 0);
    EXPECT_EQ(count.figure().asking, 0);

    // Nothing left to ask: no request, and a message that says so.
    fake.clearRequests();
    EXPECT_FALSE(count.fill());
    EXPECT_EQ(historyRequests(), 0);
    EXPECT_TRUE(msgs.shown.last().text.startsWith(QStringLiteral("Nothing to ask for")))
        << qPrintable(msgs.shown.last().text);
}

// The fill holds the data folder as a download does: a run holding it
// refuses the fill, which asks nothing.
TEST_F(GapCountTest, AFolderHeldByAnotherRunRefusesTheFill)
{
    RunLock other;
    QString refusal;
    ASSERT_TRUE(other.acquire(QStringLiteral("download"), &refusal));
    gapfill::GapCount count;
    ASSERT_TRUE(fillToEnd(count));
    EXPECT_EQ(historyRequests(), 0);
    ASSERT_EQ(msgs.shown.size(), 1);
    EXPECT_NE(msgs.shown.last().title, QStringLiteral("Fill gaps")) << qPrintable(msgs.shown.last().text);
    other.release();
    EXPECT_EQ(count.figure().symbols, 2);
}

// Stop ends the request that is out at once; the fill then reports what it
// got.
TEST_F(GapCountTest, StopEndsTheFillAtOnce)
{
    fake.holdAnswers(true);
    gapfill::GapCount count;
    QElapsedTimer stopped;
    ASSERT_TRUE(fillToEnd(count, [&] {
        EXPECT_TRUE(waitUntil([this] { return !fake.requests().isEmpty(); }, 30000));
        stopped.start();
        count.stop();
    }));
    EXPECT_LT(stopped.elapsed(), 2000);
    fake.holdAnswers(false);
    fake.releaseAnswers();
    ASSERT_FALSE(msgs.shown.isEmpty());
    EXPECT_EQ(msgs.shown.last().title, QStringLiteral("Fill gaps"));
    EXPECT_TRUE(msgs.shown.last().text.contains(QStringLiteral("still missing"))) << qPrintable(msgs.shown.last().text);
    EXPECT_EQ(count.figure().symbols, 2);
}
