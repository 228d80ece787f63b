#include "fakeservice.h"
#include "historytable.h"
#include "testutil.h"

#include "database/db.h"
#include "database/startup.h"
#include "runs/historyrun.h"
#include "support/paths.h"
#include "support/state.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <tuple>

namespace {
// A Monday to a Friday, 250 days apart: two chunks for a ticker with a
// market suffix, one for a US ticker.
const QDate kStart(2004, 1, 5);
const QDate kEnd(2004, 9, 10);

int weekdays(const QDate& from, const QDate& to)
{
    int n = 0;
    for (QDate d = from; d <= to; d = d.addDays(1))
        n += d.dayOfWeek() < Qt::Saturday;
    return n;
}

QString row(const QString& ticker, const QDate& s, const QDate& e, const char* how)
{
    return ticker + QLatin1Char(' ') + s.toString(Qt::ISODate) + QLatin1Char(' ') + e.toString(Qt::ISODate)
           + QLatin1Char(' ') + QLatin1String(how);
}
}  // namespace

class HistoryRunTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        ASSERT_TRUE(fake.isListening());
        fake.useForAllHosts();
        fake.setResponder(fakehistory::responder());
        ProgramSettings& s = settings();
        s.isdelay = false;
        s.teller2 = 1;
        s.teller3 = 1;
        s.dcurrent = 1;
        for (const auto& [on, folder, name] :
             {std::tuple{&ProgramSettings::select1, &ProgramSettings::h1, "ascii"},
              std::tuple{&ProgramSettings::selectprn, &ProgramSettings::prn, "prn"},
              std::tuple{&ProgramSettings::select7, &ProgramSettings::h3, "vision"},
              std::tuple{&ProgramSettings::select8, &ProgramSettings::h5, "vikingen"}}) {
            s.*on = true;
            s.*folder = path(QLatin1String(name) + QLatin1Char('/'));
            QDir().mkpath(s.*folder);
        }
    }

    void addSymbols(const QStringList& tickers)
    {
        Database db(paths::databaseFile());
        for (const QString& t : tickers) {
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                                   "VALUES (1, ?, ?, 'Unknown', 1)"),
                    {t, t + QStringLiteral(" Corp's")});
        }
    }

    bool go(const QDate& from = kStart, const QDate& to = kEnd, bool allData = false)
    {
        run.startDate = from;
        run.endDate = to;
        run.allData = allData;
        return run.StartHistoryRun();
    }

    // Every history row as "TICKER START END gelukt|nietgelukt|timeout".
    QStringList historyRows()
    {
        Database db(paths::databaseFile());
        Statement st = db.prepare(QStringLiteral(
            "SELECT ticker, startdatum, einddatum, gelukt, nietgelukt, timeout FROM history ORDER BY ticker, startdatum"));
        QStringList out;
        while (st.next()) {
            out << row(st.text(0), QDate::fromString(st.text(1), Qt::ISODate), QDate::fromString(st.text(2), Qt::ISODate),
                       st.integer(3) ? "gelukt" : st.integer(4) ? "nietgelukt" : "timeout");
        }
        return out;
    }

    QStringList asciiLines(const QString& base)
    {
        return QString::fromLatin1(readAll(settings().h1 + base + QStringLiteral(".asc")))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    FakeQuoteService fake;
    HistoryRun run;
};

TEST(HistoryChunks, SuffixTickersIn200DaysOthersIn3000)
{
    const QDate s(2004, 1, 1);
    using Chunks = QVector<QPair<QDate, QDate>>;
    EXPECT_EQ(HistoryRun::chunks(QStringLiteral("A.AS"), s, s.addDays(200)), (Chunks{{s, s.addDays(200)}}));
    EXPECT_EQ(HistoryRun::chunks(QStringLiteral("A.AS"), s, s.addDays(201)),
              (Chunks{{s, s.addDays(200)}, {s.addDays(201), s.addDays(201)}}));
    const Chunks us = HistoryRun::chunks(QStringLiteral("IBM"), s, s.addDays(3650));
    EXPECT_EQ(us, (Chunks{{s, s.addDays(3000)}, {s.addDays(3001), s.addDays(3650)}}));
}

TEST_F(HistoryRunTest, EveryDayReachesEveryFormatAndTheHistoryRecordsTheWholeRange)
{
    addSymbols({QStringLiteral("AAA.AS"), QStringLiteral("BBB")});
    EXPECT_TRUE(go());
    const int days = weekdays(kStart, kEnd);
    const HistoryRunSummary& sum = run.summary();
    EXPECT_EQ(sum.requests, 3);  // two chunks for AAA.AS, one for BBB
    EXPECT_EQ(sum.quotesReceived, 2 * days);
    EXPECT_EQ(sum.written.value(QLatin1Char('C')), 2 * days);
    EXPECT_EQ(sum.written.value(QLatin1Char('P')), 2 * days);
    EXPECT_EQ(sum.outcome(), QStringLiteral("Download finished: %1 quotes downloaded").arg(2 * days));

    // The answer's own price texts, oldest first, one line per day.
    const QStringList ascii = asciiLines(QStringLiteral("AAA_AS"));
    ASSERT_EQ(ascii.size(), days);
    const QByteArray c = fakehistory::close("AAA.AS", kStart);
    EXPECT_EQ(ascii.first(), QStringLiteral("20040105,%1,%1,%1,%1,1005").arg(QLatin1String(c)));
    EXPECT_TRUE(ascii.last().startsWith(QStringLiteral("20040910,")));

    // Staging file with its header, copied whole to the PRN run file.
    const QByteArray ami1 = readAll(paths::dataFile(QStringLiteral("ami1.txt")));
    EXPECT_TRUE(ami1.startsWith("<TICKER>,<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>\r\n"));
    EXPECT_EQ(ami1.count("\r\n"), 2 * days + 1);
    EXPECT_EQ(readAll(settings().prn + QStringLiteral("History-1.PRN")), ami1);
    const QByteArray ami2 = readAll(paths::dataFile(QStringLiteral("ami2.txt")));
    EXPECT_TRUE(ami2.contains("\"AAA.AS\",\"AAA.AS Corp's\"," + c + ",\"01/05/2004\",\"\",0.00,"));
    const QByteArray vision = readAll(settings().h3 + QStringLiteral("history-1.vsn"));
    EXPECT_EQ(vision.count("\r\n"), 2 * days + 1);
    EXPECT_TRUE(vision.contains("7|QRAS|AAA.AS|AAA.AS Corp's||20040105|" + c + '|'));
    EXPECT_EQ(readAll(settings().h5 + QStringLiteral("H-1.txt")).count("\r\n"), 3 * 2 * days + 1);

    // The two chunks of AAA.AS merge into one row.
    EXPECT_EQ(historyRows(), (QStringList{row(QStringLiteral("AAA.AS"), kStart, kEnd, "gelukt"),
                                          row(QStringLiteral("BBB"), kStart, kEnd, "gelukt")}));
}

TEST_F(HistoryRunTest, DaysMissingAtTheStartAreRecordedAsNotGot)
{
    addSymbols({QStringLiteral("LATE")});
    const QDate firstDay(2004, 2, 2);
    fake.setResponder([firstDay](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        QDate s, e;
        fakehistory::range(r, &s, &e);
        return FakeQuoteService::Reply{200, fakehistory::answer("LATE", std::max(s, firstDay), e), "text/csv"};
    });
    const QDate end(2004, 3, 5);
    EXPECT_TRUE(go(kStart, end));
    EXPECT_EQ(historyRows(), (QStringList{row(QStringLiteral("LATE"), kStart, firstDay.addDays(-1), "nietgelukt"),
                                          row(QStringLiteral("LATE"), firstDay, end, "gelukt")}));
    EXPECT_EQ(run.summary().failedRanges, 1);
}

TEST_F(HistoryRunTest, TheSameAnswerForTwoSymbolsCountsAsNone)
{
    addSymbols({QStringLiteral("ONE"), QStringLiteral("TWO")});
    fake.setResponder([](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        QDate s, e;
        fakehistory::range(r, &s, &e);
        return FakeQuoteService::Reply{200, fakehistory::answer("SAME", s, e), "text/csv"};
    });
    const QDate end(2004, 1, 30);
    go(kStart, end);
    EXPECT_EQ(historyRows(), (QStringList{row(QStringLiteral("ONE"), kStart, end, "gelukt"),
                                          row(QStringLiteral("TWO"), kStart, end, "nietgelukt")}));
    EXPECT_FALSE(QFile::exists(settings().h1 + QStringLiteral("TWO.asc")));
}

TEST_F(HistoryRunTest, AllDataStartsAtTheFirstDayTheServiceHoldsAndTopsUpWithToday)
{
    settings().dcurrent = 0;
    addSymbols({QStringLiteral("OLD"), QStringLiteral("GONE")});
    const QDate today = QDate::currentDate();
    const QDate first = today.addDays(-20);
    fake.setPage("/q/hp", "OLD", {200, FakeQuoteService::historyPricesPage(first.month(), first.day(), first.year()),
                                  "text/html"});
    // History up to yesterday; today only as a current quote.
    fake.setResponder([today](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        QDate s, e;
        if (r.path != "/table.csv" || !fakehistory::range(r, &s, &e))
            return std::nullopt;
        return FakeQuoteService::Reply{200, fakehistory::answer(r.query.value("s"), s, std::min(e, today.addDays(-1))),
                                       "text/csv"};
    });
    const QByteArray serviceDate = QByteArray::number(today.month()) + '/' + QByteArray::number(today.day()) + '/'
                                   + QByteArray::number(today.year());
    fake.addQuote({"OLD", serviceDate, "4:00pm", "0", "12", "11", "11.5", "900", "OLD CORP", "NYSE"});

    go(today.addDays(-1), today, true);
    const QStringList ascii = asciiLines(QStringLiteral("OLD"));
    ASSERT_FALSE(ascii.isEmpty());
    const QDate firstWeekday = first.dayOfWeek() >= Qt::Saturday ? first.addDays(8 - first.dayOfWeek()) : first;
    EXPECT_TRUE(ascii.first().startsWith(firstWeekday.toString(QStringLiteral("yyyyMMdd")))) << qPrintable(ascii.first());
    // Today's quote from the current-quote service, open 0 taking the close.
    EXPECT_EQ(ascii.last(), today.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(",11.5,12,11,11.5,900"));
    const QStringList rows = historyRows();
    EXPECT_TRUE(rows.contains(row(QStringLiteral("GONE"), QDate(1930, 1, 1), today.addDays(-1), "nietgelukt")))
        << qPrintable(rows.join(QLatin1Char('\n')));

    // A retry examines the symbol without history again.
    fake.clearRequests();
    state().historyRetry = true;
    go(today.addDays(-1), today);
    int examined = 0;
    for (const auto& r : fake.requests())
        examined += r.path == "/q/hp" && r.query.value("s") == "GONE";
    EXPECT_EQ(examined, 1);
}

TEST_F(HistoryRunTest, StopEndsTheRunWithoutTheRunFileCopy)
{
    addSymbols({QStringLiteral("S1"), QStringLiteral("S2"), QStringLiteral("S3")});
    settings().teller2 = 30;
    fake.setDelay(3000);
    QElapsedTimer clock;
    QTimer::singleShot(500, &run, [this, &clock] {
        clock.start();
        run.StopHistoryRun();
    });
    EXPECT_FALSE(go());
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(run.summary().aborted);
    EXPECT_TRUE(run.summary().outcome().startsWith(QStringLiteral("Download abborted by user")));
    EXPECT_FALSE(QFile::exists(settings().prn + QStringLiteral("History-1.PRN")));
    EXPECT_FALSE(state().abortFlag);
}

TEST_F(HistoryRunTest, NoListNoSymbolsAndNoFormatAreRefused)
{
    go();
    EXPECT_TRUE(run.summary().nothingToDo);
    EXPECT_TRUE(msgs.texts().contains(QStringLiteral("No symbols to download")));
    run.severalLists = true;
    settings().dList.fill(false);
    EXPECT_FALSE(go());
    EXPECT_TRUE(msgs.texts().contains(QStringLiteral("First select one or more lists")));
}
