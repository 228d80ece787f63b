#include "currentrunfixture.h"
#include "runwait.h"

#include "database/quotestore.h"
#include "runs/currentrun.h"
#include "runs/historyrun.h"
#include "runs/provisional.h"

#include <QDir>

using provisional::Clock;

namespace {

CurrentQuote quote(const QString& ticker, qint32 date, const QString& time)
{
    CurrentQuote q;
    q.ticker = ticker;
    q.name = ticker;
    q.time = time;
    q.bar.date = date;
    return q;
}

// The Provisional flag of each quote after marking them as one answer.
QVector<bool> flags(QVector<CurrentQuote> quotes, Clock clock)
{
    provisional::mark(quotes, clock);
    QVector<bool> out;
    for (const CurrentQuote& q : std::as_const(quotes))
        out.append(q.bar.has(core::Bar::Provisional));
    return out;
}

}  // namespace

// The legacy service stamps every quote in New York time: a European quote
// is judged after converting to its own exchange's zone.
TEST(ProvisionalTest, LegacyTimesAreNewYorkTimeConvertedToTheExchangesZone)
{
    const QVector<bool> got = flags({quote(QStringLiteral("IBM"), 20261201, QStringLiteral("2:30pm")),
                                     quote(QStringLiteral("MSFT"), 20261201, QStringLiteral("4:00pm")),
                                     // 11:00 New York is 17:00 in Amsterdam, before its 17:30 close
                                     quote(QStringLiteral("ASML.AS"), 20261201, QStringLiteral("11:00am")),
                                     // 11:35 New York is 17:35 in Amsterdam: closed
                                     quote(QStringLiteral("INGA.AS"), 20261201, QStringLiteral("11:35am"))},
                                    Clock::UsEastern);
    EXPECT_EQ(got, (QVector<bool>{true, false, true, false}));
}

// The gateway stamps each quote in its exchange's own time.
TEST(ProvisionalTest, GatewayTimesAreTheExchangesOwn)
{
    const QVector<bool> got = flags({quote(QStringLiteral("IBM"), 20261201, QStringLiteral("2:30pm")),
                                     quote(QStringLiteral("ASML.AS"), 20261201, QStringLiteral("5:00pm")),
                                     quote(QStringLiteral("INGA.AS"), 20261201, QStringLiteral("5:35pm")),
                                     // 11:00 in Amsterdam is early, whatever New York's clock says
                                     quote(QStringLiteral("PHIA.AS"), 20261201, QStringLiteral("11:00am"))},
                                    Clock::ExchangeLocal);
    EXPECT_EQ(got, (QVector<bool>{true, true, false, true}));
}

// What the answer does not tell, or tells of a day that is over, is final.
TEST(ProvisionalTest, NoTimeNoExchangeAndEarlierDaysAreFinal)
{
    QVector<CurrentQuote> quotes = {quote(QStringLiteral("IBM"), 20261201, QStringLiteral("N/A")),
                                    quote(QStringLiteral("EURUSD=X"), 20261201, QStringLiteral("10:00am")),
                                    quote(QStringLiteral("ODD.ZZ"), 20261201, QStringLiteral("10:00am")),
                                    // halted since yesterday morning: that day is over
                                    quote(QStringLiteral("HALT"), 20261130, QStringLiteral("10:15am")),
                                    quote(QStringLiteral("MSFT"), 20261201, QStringLiteral("10:30am"))};
    // A flag left from before is cleared where the day is final.
    for (CurrentQuote& q : quotes)
        q.bar.set(core::Bar::Provisional);
    EXPECT_EQ(flags(quotes, Clock::UsEastern), (QVector<bool>{false, false, false, false, true}));
    // Alone in its answer, the halted quote's day is all the answer tells.
    EXPECT_EQ(flags({quotes[3]}, Clock::UsEastern), QVector<bool>{true});
}

// Sydney's quotes come a day ahead of New York's: the answer's day is
// each exchange's own, so a Sydney quote of the same moment is no
// earlier day.
TEST(ProvisionalTest, TheAnswersDayIsTakenInEachExchangesZone)
{
    // 23:00 New York on Dec 1 is 15:00 in Sydney on Dec 2, before its close.
    EXPECT_EQ(flags({quote(QStringLiteral("BHP.AX"), 20261202, QStringLiteral("3:00pm")),
                     quote(QStringLiteral("IBM"), 20261201, QStringLiteral("4:00pm"))},
                    Clock::ExchangeLocal),
              (QVector<bool>{true, false}));
}

// A legacy host dates every quote with New York's day: a Sydney quote taken
// during its session carries the day before its own, and is put on
// Sydney's. Without a time the date stays as sent.
TEST(ProvisionalTest, ALegacyQuoteIsPutOnItsExchangesOwnDay)
{
    QVector<CurrentQuote> quotes = {// 23:00 New York on Dec 1 is 15:00 in Sydney on Dec 2
                                    quote(QStringLiteral("BHP.AX"), 20261201, QStringLiteral("11:00pm")),
                                    // 01:30 New York is 17:30 in Sydney, the same day: closed
                                    quote(QStringLiteral("CBA.AX"), 20261201, QStringLiteral("1:30am")),
                                    quote(QStringLiteral("IBM"), 20261201, QStringLiteral("4:00pm")),
                                    quote(QStringLiteral("NAB.AX"), 20261201, QStringLiteral("N/A"))};
    provisional::mark(quotes, Clock::UsEastern);
    QVector<qint32> dates;
    QVector<bool> early;
    for (const CurrentQuote& q : std::as_const(quotes)) {
        dates.append(q.bar.date);
        early.append(q.bar.has(core::Bar::Provisional));
    }
    EXPECT_EQ(dates, (QVector<qint32>{20261202, 20261201, 20261201, 20261201}));
    // CBA's day lies before the answer's day in Sydney: over.
    EXPECT_EQ(early, (QVector<bool>{true, false, false, false}));
    EXPECT_EQ(
        provisional::localDay(quote(QStringLiteral("BHP.AX"), 20261201, QStringLiteral("11:00pm")), Clock::UsEastern),
        20261202);
    // The gateway already dates in the exchange's zone.
    EXPECT_EQ(provisional::localDay(quote(QStringLiteral("BHP.AX"), 20261202, QStringLiteral("3:00pm")),
                                    Clock::ExchangeLocal),
              20261202);
    // A currency has no exchange: its date as sent.
    EXPECT_EQ(
        provisional::localDay(quote(QStringLiteral("AUDUSD=X"), 20261201, QStringLiteral("11:00pm")), Clock::UsEastern),
        20261201);
}

class ProvisionalRunTest : public CurrentRunTest {
protected:
    void SetUp() override
    {
        CurrentRunTest::SetUp();
        stockguru = path(QStringLiteral("stockguru/"));
        QDir().mkpath(stockguru);
        settings().format('S').folder = stockguru;
        settings().format('S').on = true;
        addSymbols({QStringLiteral("IBM")}, 1, false);
    }

    // One current run with IBM answered at `time` with close `close`.
    void runAt(const QByteArray& date, const QByteArray& time, const QByteArray& close)
    {
        fake.setQuote({"IBM", date, time, "90.10", "91", "89.5", close, "4000", "IBM CORP", "NYSE"});
        CurrentRun run;
        ASSERT_TRUE(runToEnd(run)) << qPrintable(msgs.texts().join(u'|'));
    }

    QVector<QuoteStore::Row> stored()
    {
        QuoteStore store;
        return store.rows(QStringLiteral("IBM"));
    }

    QByteArray stockguruFile() const
    {
        const QStringList files = QDir(stockguru).entryList(QDir::Files);
        return files.size() == 1 ? readAll(stockguru + files.first()) : QByteArray();
    }

    QString stockguru;
};

// A run during the session stores the day as provisional and writes it; a
// run after the close puts the final values in place of the same line and
// clears the flag.
TEST_F(ProvisionalRunTest, ALaterRunOfTheSameDayReplacesTheProvisionalDay)
{
    runAt(kDate, "11:45am", "90.25");
    QVector<QuoteStore::Row> rows = stored();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_TRUE(rows[0].bar.has(core::Bar::Provisional));
    const QByteArray early = stockguruFile();
    EXPECT_TRUE(early.contains("90.25")) << early.constData();
    EXPECT_EQ(early.count("\r\n"), 1) << early.constData();

    runAt(kDate, "4:00pm", "90.75");
    rows = stored();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_FALSE(rows[0].bar.has(core::Bar::Provisional));
    EXPECT_EQ(rows[0].bar.close.text, QStringLiteral("90.75"));
    const QByteArray final = stockguruFile();
    EXPECT_EQ(final.count("\r\n"), 1) << final.constData();
    EXPECT_FALSE(final.contains("90.25")) << final.constData();
    EXPECT_TRUE(final.contains("90.75")) << final.constData();
    const QByteArray asc = readAll(ascii + QStringLiteral("IBM.asc"));
    EXPECT_EQ(asc.count("\r\n"), 1) << asc.constData();
    EXPECT_TRUE(asc.contains("90.75")) << asc.constData();
}

// A current run from a legacy host stores a Sydney quote taken during its
// session under Sydney's day, and writes it so.
TEST_F(ProvisionalRunTest, ASydneyQuoteFromALegacyHostIsStoredUnderSydneysDay)
{
    addSymbols({QStringLiteral("BHP.AX")}, 1, false);
    fake.setQuote({"BHP.AX", kDate, "11:00pm", "45.10", "45.60", "44.90", "45.25", "8000", "BHP GROUP", "ASX"});
    fake.setQuote({"IBM", kDate, "4:00pm", "90.10", "91", "89.5", "90.75", "4000", "IBM CORP", "NYSE"});
    CurrentRun run;
    ASSERT_TRUE(runToEnd(run)) << qPrintable(msgs.texts().join(u'|'));
    QuoteStore store;
    const QVector<QuoteStore::Row> rows = store.rows(QStringLiteral("BHP.AX"));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].bar.date, 20261202);
    EXPECT_TRUE(rows[0].bar.has(core::Bar::Provisional));
    EXPECT_EQ(store.rows(QStringLiteral("IBM")).value(0).bar.date, 20261201);
    const QStringList files = QDir(ascii).entryList({QStringLiteral("BHP*")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const QByteArray asc = readAll(ascii + files.first());
    EXPECT_TRUE(asc.contains("20261202")) << asc.constData();
}

// An answer of a long past session replayed today stores the same flag and
// the same file it gave when it was fetched: only the answer's own times
// count. A quote without a time is final.
TEST_F(ProvisionalRunTest, OnlyTheAnswersTimesCount)
{
    runAt("3/2/2015", "10:05am", "80.5");
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored()[0].bar.date, 20150302);
    EXPECT_TRUE(stored()[0].bar.has(core::Bar::Provisional));
    const QByteArray once = stockguruFile();
    EXPECT_TRUE(once.contains("80.5")) << once.constData();
    runAt("3/2/2015", "10:05am", "80.5");
    EXPECT_EQ(stockguruFile(), once);
    EXPECT_TRUE(stored()[0].bar.has(core::Bar::Provisional));

    runAt(kDate, "N/A", "90.25");
    const QVector<QuoteStore::Row> rows = stored();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_FALSE(rows[1].bar.has(core::Bar::Provisional));
}

// A historical download covering the day puts the final values in place of
// the provisional day, in the store and in the file.
TEST_F(ProvisionalRunTest, AHistoricalDownloadReplacesTheProvisionalDay)
{
    runAt(kDate, "11:45am", "90.25");
    ASSERT_TRUE(stored().value(0).bar.has(core::Bar::Provisional));
    fake.setPage("/table.csv", "IBM",
                 {200,
                  "Date,Open,High,Low,Close,Volume,Adj Close\n"
                  "1-Dec-26,90.10,91.00,89.50,90.80,5000,90.80\n"
                  "30-Nov-26,89.00,90.00,88.00,89.50,4000,89.50\n",
                  "text/csv"});
    settings().dcurrent = 1;  // the list the historical run takes
    HistoryRun run;
    run.startDate = QDate(2026, 11, 30);
    run.endDate = QDate(2026, 12, 1);
    ASSERT_TRUE(runToEnd(run)) << qPrintable(msgs.texts().join(u'|'));
    const QVector<QuoteStore::Row> rows = stored();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].bar.date, 20261201);
    EXPECT_FALSE(rows[1].bar.has(core::Bar::Provisional));
    EXPECT_EQ(rows[1].bar.close.value, 90.8);
    const QByteArray file = stockguruFile();
    EXPECT_EQ(file.count("\r\n"), 2) << file.constData();
    EXPECT_FALSE(file.contains("90.25")) << file.constData();
}
