// What both runs share as a session: start() hands control back at once,
// the end is reported once, Stop takes effect at once, and one data folder
// has one run at a time.
#include "currentrunfixture.h"
#include "historytable.h"
#include "runwait.h"

#include "runs/currentrun.h"
#include "runs/historyrun.h"
#include "support/settingsstore.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

// Turns the event loop for `ms`: whatever a run still had to report comes.
void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <class Run>
QVector<bool> endsOf(Run& run)
{
    QVector<bool> ends;
    const auto counting = QObject::connect(&run, &Run::finished, [&ends](bool ok) { ends << ok; });
    untilSignal(run, &Run::finished, [&] {
        run.start();
        // Nothing of the run has happened yet: the caller decides how to wait.
        EXPECT_TRUE(run.running());
        EXPECT_TRUE(ends.isEmpty());
    });
    settle(200);
    EXPECT_FALSE(run.running());
    QObject::disconnect(counting);
    return ends;
}

}  // namespace

class RunSessionTest : public CurrentRunTest {
protected:
    void setHistoryRange(HistoryRun& run) const
    {
        run.startDate = QDate(2004, 1, 5);
        run.endDate = QDate(2004, 1, 30);
    }
};

TEST_F(RunSessionTest, StartReturnsBeforeTheRunEndsAndTheEndComesOnce)
{
    addSymbols(numbered(QStringLiteral("T"), 200));  // two batches
    CurrentRun current;
    EXPECT_EQ(endsOf(current), QVector<bool>{true});
    EXPECT_EQ(current.summary().symbolsWritten, 200);

    fake.setResponder(fakehistory::responder());
    HistoryRun history;
    setHistoryRange(history);
    EXPECT_EQ(endsOf(history), QVector<bool>{true});
    EXPECT_EQ(history.summary().symbolsWritten, 200);

    // A run refused at its start reports its end the same way, once, after
    // start() has returned.
    current.severalLists = true;  // and no list is chosen
    QVector<bool> ends;
    QObject::connect(&current, &CurrentRun::finished, [&ends](bool ok) { ends << ok; });
    current.start();
    EXPECT_EQ(msgs.texts(), QStringList{QStringLiteral("First select one or more lists")});
    EXPECT_TRUE(ends.isEmpty());
    settle(200);
    EXPECT_EQ(ends, QVector<bool>{false});
}

// The first run of a process asks the update server before anything else,
// and waits for its answer without holding up the event loop.
TEST_F(RunSessionTest, TheFirstRunOfAProcessWaitsForTheUpdateCheck)
{
    addSymbols(numbered(QStringLiteral("T"), 10));
    FakeQuoteService updateServer;
    ASSERT_TRUE(updateServer.isListening());
    updateServer.setResponder([](const FakeQuoteService::Request&) -> std::optional<FakeQuoteService::Reply> {
        return FakeQuoteService::Reply{200, "999.0\r\n", "text/plain"};
    });
    updateServer.setDelay(500);
    store::write(QStringLiteral("UpdateHost"), updateServer.host());
    fake.clearRequests();

    CurrentRun current;
    int quoteRequestsMeanwhile = -1;
    bool runningMeanwhile = false;
    QTimer::singleShot(150, [&] {
        quoteRequestsMeanwhile = fake.requests().size();
        runningMeanwhile = current.running();
    });
    EXPECT_EQ(endsOf(current), QVector<bool>{true});
    EXPECT_EQ(quoteRequestsMeanwhile, 0);
    EXPECT_TRUE(runningMeanwhile);
    EXPECT_EQ(updateServer.requests().size(), 1);
    EXPECT_FALSE(fake.requests().isEmpty());
    EXPECT_EQ(current.summary().symbolsWritten, 10);
    // The later version is offered (an unattended answer: No) before the run goes on.
    ASSERT_FALSE(msgs.shown.isEmpty());
    EXPECT_EQ(msgs.shown.first().text, QStringLiteral("There is a new version of Quotaris\r\nDownload now?"));

    // Once a process: the next run goes at once.
    HistoryRun history;
    fake.setResponder(fakehistory::responder());
    setHistoryRange(history);
    EXPECT_EQ(endsOf(history), QVector<bool>{true});
    EXPECT_EQ(updateServer.requests().size(), 1);
}

TEST_F(RunSessionTest, StopEndsEitherRunWithinHalfASecond)
{
    addSymbols(numbered(QStringLiteral("T"), 400));
    fake.setResponder(fakehistory::responder());
    // Every answer would take 20 s; Stop comes with the first request.
    fake.setDelay(20000);
    auto stopOnFirstRequest = [this](RunSession& run, QElapsedTimer& sinceStop) {
        return QObject::connect(&fake, &FakeQuoteService::requestArrived, &run, [&run, &sinceStop] {
            if (!sinceStop.isValid()) {
                sinceStop.start();
                run.stop();
            }
        });
    };
    {
        CurrentRun run;
        QElapsedTimer sinceStop;
        stopOnFirstRequest(run, sinceStop);
        EXPECT_FALSE(runToEnd(run));
        ASSERT_TRUE(sinceStop.isValid());
        EXPECT_LT(sinceStop.elapsed(), 500);
        EXPECT_TRUE(run.summary().aborted);
    }
    {
        HistoryRun run;
        setHistoryRange(run);
        QElapsedTimer sinceStop;
        stopOnFirstRequest(run, sinceStop);
        EXPECT_FALSE(runToEnd(run));
        ASSERT_TRUE(sinceStop.isValid());
        EXPECT_LT(sinceStop.elapsed(), 500);
        EXPECT_TRUE(run.summary().aborted);
    }
    // The Stop was the stopped run's alone: the next run gets every quote.
    fake.setDelay(0);
    CurrentRun next;
    EXPECT_TRUE(runToEnd(next));
    EXPECT_EQ(next.summary().symbolsWritten, 400);
}

TEST_F(RunSessionTest, TwoRunsOnOneDataFolderNeverRunAtOnce)
{
    addSymbols({QStringLiteral("AAA"), QStringLiteral("BBB")});
    fake.setDelay(300);
    CurrentRun first, second;
    HistoryRun history;
    setHistoryRange(history);
    QStringList ends;
    for (auto [run, name] :
         {std::pair<RunSession*, const char*>{&first, "first"}, std::pair<RunSession*, const char*>{&second, "second"},
          std::pair<RunSession*, const char*>{&history, "history"}}) {
        QObject::connect(run, &RunSession::finished, [&ends, name = QString::fromLatin1(name)](bool ok) {
            ends << name + (ok ? QStringLiteral(" ok") : QStringLiteral(" not run"));
        });
    }
    untilSignal(first, &CurrentRun::finished, [&] {
        first.start();
        second.start();
        history.start();
        EXPECT_TRUE(first.running());
        EXPECT_FALSE(second.running());
        EXPECT_FALSE(history.running());
    });
    EXPECT_EQ(ends, (QStringList{"second not run", "history not run", "first ok"}));
    EXPECT_TRUE(second.summary().busy);
    EXPECT_TRUE(history.summary().busy);
    EXPECT_EQ(fake.requests().size(), 1);  // only the first run asked

    // Once the first has ended, the folder is free for the next.
    EXPECT_TRUE(runToEnd(second));
    EXPECT_FALSE(second.summary().busy);
}
