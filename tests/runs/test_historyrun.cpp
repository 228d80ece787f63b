#include "../writers/xlsreaders.h"
#include "fakeservice.h"
#include "historytable.h"
#include "runwait.h"
#include "testutil.h"

#include "core/dates.h"
#include "database/db.h"
#include "database/quotestore.h"
#include "database/startup.h"
#include "mslink/reader.h"
#include "runs/currentrun.h"
#include "runs/historyrun.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "writers/amibroker.h"
#include "writers/metastockmap.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTimer>
#include <tuple>

using Fault = FakeQuoteService::Fault;

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
    return ticker + QLatin1Char(' ') + s.toString(Qt::ISODate) + QLatin1Char(' ') + e.toString(Qt::ISODate) +
           QLatin1Char(' ') + QLatin1String(how);
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
        quickRuns(30);  // no test here waits for a time-out
        for (const auto& [letter, name] :
             {std::pair{'C', "ascii"}, std::pair{'P', "prn"}, std::pair{'V', "vision"}, std::pair{'I', "vikingen"}})
            formatOn(letter, QLatin1String(name));
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
        return runToEnd(run);
    }

    // Every history row as "TICKER START END gelukt|nietgelukt|timeout".
    QStringList historyRows()
    {
        Database db(paths::databaseFile());
        Statement st = db.prepare(QStringLiteral("SELECT ticker, startdatum, einddatum, gelukt, nietgelukt, timeout "
                                                 "FROM history ORDER BY ticker, startdatum"));
        QStringList out;
        while (st.next()) {
            out << row(st.text(0), QDate::fromString(st.text(1), Qt::ISODate),
                       QDate::fromString(st.text(2), Qt::ISODate),
                       st.integer(3)   ? "gelukt"
                       : st.integer(4) ? "nietgelukt"
                                       : "timeout");
        }
        return out;
    }

    QStringList asciiLines(const QString& base)
    {
        return QString::fromLatin1(readAll(settings().format('C').folder + base + QStringLiteral(".asc")))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    // Excel, MetaStock (an empty root) and AmiBroker on; the import command
    // appends its arguments to importArgs() and copies the staging file to
    // imported().
    void workbookFormatsOn()
    {
        ProgramSettings& s = settings();
        s.format('E').on = s.format('M').on = s.format('A').on = true;
        s.format('E').folder = path("xls/");
        s.format('M').folder = path("ms/");
        QDir().mkpath(s.format('E').folder);
        QDir().mkpath(s.format('M').folder);
        const QString script = path("import.sh");
        writeFile(script, QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\ncp \"$1\" '%2'\n")
                              .arg(importArgs(), imported())
                              .toUtf8());
        QFile(script).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        amibroker::setImportCommand(QLatin1Char('"') + script + QStringLiteral("\" %f"));
    }
    QString importArgs() const { return path("args.txt"); }
    QString imported() const { return path("imported.txt"); }

    // The days of a symbol's ASCII file as "TICKER|DATE|OPEN|HIGH|LOW|CLOSE|VOLUME",
    // prices as numbers.
    QStringList asciiDays(const QString& ticker)
    {
        QStringList out;
        for (const QString& line : asciiLines(QString(ticker).replace(QLatin1Char('.'), QLatin1Char('_')))) {
            const QStringList f = line.split(QLatin1Char(','));
            QStringList day{ticker, f[0]};
            for (int i = 1; i <= 4; ++i)
                day << QString::number(f[i].toDouble());
            out << (day << f[5]).join(QLatin1Char('|'));
        }
        return out;
    }

    // The same for every row of the first sheet, and the names of column B.
    static QStringList sheetDays(const ReadSheet& sheet, QSet<QString>* names)
    {
        QStringList out;
        for (const QVector<QVariant>& row : sheet.cells) {
            QStringList day{row[0].toString(), row[2].toString()};
            for (int i = 3; i <= 6; ++i)
                day << QString::number(row[i].toDouble());
            out << (day << row[7].toString()).join(QLatin1Char('|'));
            names->insert(row[1].toString());
        }
        return out;
    }

    mslink::RecordArrays metastockRecords(const QString& folder, const QString& ticker)
    {
        mslink::Reader r;
        r.openFolder(folder);
        EXPECT_TRUE(r.findSecurity(ticker)) << qPrintable(ticker);
        r.loadAllRecords();
        return r.arrays();
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

// The bar counts requests, so it moves with the first answer, before any
// symbol is finished; the status names symbols and requests, and the bar
// is full once every symbol is done.
TEST_F(HistoryRunTest, ProgressMovesWithEachAnswer)
{
    addSymbols({QStringLiteral("AAA.AS"), QStringLiteral("BBB.AS")});
    store::write(QStringLiteral("MaxInFlightHistory"), QStringLiteral("1"));
    QVector<QPair<int, int>> seen;
    int finishedWhenFirstMoved = -1;
    int finished = 0;
    QObject::connect(&run, &HistoryRun::symbolFinished,
                     [&](const QString&, int n, int, const QString&) { finished = n; });
    QObject::connect(&run, &HistoryRun::progressChanged, [&](int value, int maximum) {
        if (value > 0 && finishedWhenFirstMoved < 0)
            finishedWhenFirstMoved = finished;
        seen.append({value, maximum});
    });
    QStringList texts;
    QObject::connect(&run, &HistoryRun::statusChanged, [&](int bar, int panel, const QString& text) {
        if (bar == 1 && panel == 1)
            texts << text;
    });
    EXPECT_TRUE(go());
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.first(), qMakePair(0, 4));  // two chunks each
    EXPECT_EQ(finishedWhenFirstMoved, 0);
    EXPECT_TRUE(seen.contains(qMakePair(1, 4)));
    EXPECT_TRUE(texts.contains(QStringLiteral("0 of 2 symbols, 1 of 4 requests")));
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const QString& t) { return t.contains(" left"); }));
}

// Imported symbols (under "Unknown") are checked beside a historical
// download too, together in one request once their days are in; their own
// names stay.
TEST_F(HistoryRunTest, ImportedSymbolsLearnTheirMarketAndTypeBesideTheDownload)
{
    addSymbols({QStringLiteral("AAA.AS"), QStringLiteral("BBB")});
    {
        Database db(paths::databaseFile());
        db.exec(QStringLiteral("INSERT INTO markt (id, Market) VALUES (1, 'Unknown')"));
    }
    fake.addQuote(FakeQuoteService::quote("AAA.AS", "9/10/2004", "1", "1", "AAA NV", "Amsterdam"));
    fake.addQuote(FakeQuoteService::quote("BBB", "9/10/2004", "1", "1", "BBB INC", "NYSE"));
    EXPECT_TRUE(go());
    QList<QList<QByteArray>> checked;
    for (const auto& r : fake.requests()) {
        if (r.query.value("f") == "snx")
            checked << r.symbols;
    }
    ASSERT_EQ(checked.size(), 1);
    EXPECT_EQ(QSet<QByteArray>(checked[0].begin(), checked[0].end()), (QSet<QByteArray>{"AAA.AS", "BBB"}));
    Database db(paths::databaseFile());
    Statement st = db.prepare(QStringLiteral("SELECT codeyahoo, naamyahoo, Market, typeyahoo FROM fondsen JOIN markt "
                                             "ON markt.id = marktid ORDER BY codeyahoo"));
    QStringList rows;
    while (st.next())
        rows << QStringList{st.text(0), st.text(1), st.text(2), st.text(3)}.join(QLatin1Char('/'));
    EXPECT_EQ(rows, QStringList({"AAA.AS/AAA.AS Corp's/Amsterdam/Stock", "BBB/BBB Corp's/NYSE/Stock"}));
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
    EXPECT_EQ(sum.outcome(), QStringLiteral("Download finished: 2 of 2 symbols written, %1 quotes").arg(2 * days));

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
    EXPECT_EQ(readAll(settings().format('P').folder + QStringLiteral("History-1.PRN")), ami1);
    const QByteArray ami2 = readAll(paths::dataFile(QStringLiteral("ami2.txt")));
    EXPECT_TRUE(ami2.contains("\"AAA.AS\",\"AAA.AS Corp's\"," + c + ",\"01/05/2004\",\"\",0.00,"));
    const QByteArray vision = readAll(settings().format('V').folder + QStringLiteral("history-1.vsn"));
    EXPECT_EQ(vision.count("\r\n"), 2 * days + 1);
    EXPECT_TRUE(vision.contains("7|QRAS|AAA.AS|AAA.AS Corp's||20040105|" + c + '|'));
    EXPECT_EQ(readAll(settings().format('I').folder + QStringLiteral("H-1.txt")).count("\r\n"), 3 * 2 * days + 1);

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
    // Both are in flight together: whichever answer comes second is not
    // taken, and its symbol gets no file.
    const QStringList rows = historyRows();
    const QStringList oneFirst{row(QStringLiteral("ONE"), kStart, end, "gelukt"),
                               row(QStringLiteral("TWO"), kStart, end, "nietgelukt")};
    const QStringList twoFirst{row(QStringLiteral("ONE"), kStart, end, "nietgelukt"),
                               row(QStringLiteral("TWO"), kStart, end, "gelukt")};
    ASSERT_TRUE(rows == oneFirst || rows == twoFirst) << qPrintable(rows.join(QLatin1Char('\n')));
    const QString missing = rows == oneFirst ? QStringLiteral("TWO") : QStringLiteral("ONE");
    EXPECT_FALSE(QFile::exists(settings().format('C').folder + missing + QStringLiteral(".asc")));
}

TEST_F(HistoryRunTest, AllDataStartsAtTheFirstDayTheServiceHoldsAndTopsUpWithToday)
{
    settings().dcurrent = 0;
    addSymbols({QStringLiteral("OLD"), QStringLiteral("GONE")});
    const QDate today = QDate::currentDate();
    const QDate first = today.addDays(-20);
    fake.setPage("/q/hp", "OLD",
                 {200, FakeQuoteService::historyPricesPage(first.month(), first.day(), first.year()), "text/html"});
    // History up to yesterday; today only as a current quote.
    fake.setResponder(fakehistory::responderUntil(today.addDays(-1)));
    const QByteArray serviceDate = QByteArray::number(today.month()) + '/' + QByteArray::number(today.day()) + '/' +
                                   QByteArray::number(today.year());
    fake.addQuote({"OLD", serviceDate, "4:00pm", "0", "12", "11", "11.5", "900", "OLD CORP", "NYSE"});

    QHash<QString, QString> finished;
    QObject::connect(&run, &HistoryRun::symbolFinished, &run,
                     [&finished](const QString& ticker, int, int, const QString& text) { finished[ticker] = text; });
    go(today.addDays(-1), today, true);
    const QStringList ascii = asciiLines(QStringLiteral("OLD"));
    ASSERT_FALSE(ascii.isEmpty());
    // The headless line of the symbol counts today's quote once.
    EXPECT_EQ(finished.value(QStringLiteral("OLD")), QStringLiteral("%1 days").arg(ascii.size()));
    const QDate firstWeekday = first.dayOfWeek() >= Qt::Saturday ? first.addDays(8 - first.dayOfWeek()) : first;
    EXPECT_TRUE(ascii.first().startsWith(firstWeekday.toString(QStringLiteral("yyyyMMdd"))))
        << qPrintable(ascii.first());
    // Today's quote from the current-quote service, open 0 taking the close.
    EXPECT_EQ(ascii.last(), today.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(",11.5,12,11,11.5,900"));
    // The symbol without history is recorded up to yesterday; on a weekday
    // its download of today alone failed as well and joins that row.
    const QStringList rows = historyRows();
    const QDate goneEnd = today.dayOfWeek() < Qt::Saturday ? today : today.addDays(-1);
    EXPECT_TRUE(rows.contains(row(QStringLiteral("GONE"), QDate(1930, 1, 1), goneEnd, "nietgelukt")))
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

// Today's quote taken during the session is provisional in the store, as a
// current download's is, so that the gap fill asks for the final day later;
// one taken at the close is final.
TEST_F(HistoryRunTest, TodaysQuoteTakenBeforeTheCloseIsStoredProvisional)
{
    settings().dcurrent = 0;
    addSymbols({QStringLiteral("EARLY"), QStringLiteral("LATE")});
    const QDate today = QDate::currentDate();
    fake.setResponder(fakehistory::responderUntil(today.addDays(-1)));
    const QByteArray serviceDate = QByteArray::number(today.month()) + '/' + QByteArray::number(today.day()) + '/' +
                                   QByteArray::number(today.year());
    fake.addQuote({"EARLY", serviceDate, "11:00am", "10", "12", "9", "11.5", "900", "EARLY CORP", "NYSE"});
    fake.addQuote({"LATE", serviceDate, "4:00pm", "10", "12", "9", "11.5", "900", "LATE CORP", "NYSE"});
    ASSERT_TRUE(go(today.addDays(-10), today));
    QuoteStore store;
    const qint32 day = core::dateNumber(today);
    for (const auto& [ticker, provisional] : {std::pair{"EARLY", true}, std::pair{"LATE", false}}) {
        const QVector<core::Bar> bars = store.bars(QString::fromLatin1(ticker));
        ASSERT_FALSE(bars.isEmpty()) << ticker;
        EXPECT_EQ(bars.last().date, day) << ticker;
        EXPECT_EQ(bars.last().has(core::Bar::Provisional), provisional) << ticker;
        EXPECT_TRUE(bars.last().has(core::Bar::TopUp)) << ticker;
    }
}

TEST_F(HistoryRunTest, StopEndsTheRunWithoutTheRunFileCopy)
{
    addSymbols({QStringLiteral("S1"), QStringLiteral("S2"), QStringLiteral("S3")});
    // The service would answer after 15 s, within the request's time-out
    // and cap. Stop is pressed the moment the first request arrives.
    fake.setDelay(15000);
    QObject::connect(&fake, &FakeQuoteService::requestArrived, &run, [this] { run.stop(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(go());
    EXPECT_LT(clock.elapsed(), 5000);
    // The three went out together; nothing more was asked, and the run did
    // not wait for an answer.
    ASSERT_LE(fake.requests().size(), 3);
    for (const auto& r : fake.requests())
        EXPECT_EQ(r.answeredMs, -1);
    // None of them is written: each is recorded as not got, for a retry.
    EXPECT_EQ(historyRows(), (QStringList{row(QStringLiteral("S1"), kStart, kEnd, "nietgelukt"),
                                          row(QStringLiteral("S2"), kStart, kEnd, "nietgelukt"),
                                          row(QStringLiteral("S3"), kStart, kEnd, "nietgelukt")}));
    EXPECT_TRUE(run.summary().aborted);
    EXPECT_TRUE(run.summary().outcome().startsWith(QStringLiteral("Download abborted by user")));
    EXPECT_FALSE(QFile::exists(settings().format('P').folder + QStringLiteral("History-1.PRN")));
}

TEST_F(HistoryRunTest, DaysStagedBeforeAStopAreNotCountedForTheRunFile)
{
    store::write(QStringLiteral("MaxInFlightHistory"), QStringLiteral("1"));
    addSymbols({QStringLiteral("S1"), QStringLiteral("S2")});
    // S1 is written whole; Stop comes with the request of S2.
    QObject::connect(&fake, &FakeQuoteService::requestArrived, &run, [this](int index) {
        if (index == 1)
            run.stop();
    });
    EXPECT_FALSE(go());
    const HistoryRunSummary& sum = run.summary();
    EXPECT_TRUE(sum.aborted);
    EXPECT_GT(sum.written.value(QLatin1Char('C')), 100);  // S1's ASCII file is written
    // Its days were only staged for the PRN run file, which a stopped run
    // does not make: they are not claimed as written.
    EXPECT_FALSE(sum.written.contains(QLatin1Char('P')));
    EXPECT_TRUE(QDir(settings().format('P').folder).entryList(QDir::Files).isEmpty());
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

TEST_F(HistoryRunTest, WorkbookAndMetastockGetEveryDayAndTheImportRunsOnceAtTheEnd)
{
    addSymbols({QStringLiteral("AAA.AS"), QStringLiteral("BBB")});
    workbookFormatsOn();
    EXPECT_TRUE(go());
    const int days = weekdays(kStart, kEnd);
    const HistoryRunSummary& sum = run.summary();
    for (const char letter : {'E', 'M', 'A', 'C'})
        EXPECT_EQ(sum.written.value(QLatin1Char(letter)), 2 * days) << letter;
    EXPECT_EQ(sum.writeFailures, 0);
    const QString book = settings().format('E').folder + QStringLiteral("history-1.xls");
    EXPECT_EQ(sum.notes, (QStringList{QStringLiteral("Excel workbook %1: 1 sheet").arg(book),
                                      QStringLiteral("Export to Amibroker succeeded")}));

    // The workbook holds the days the ASCII files got, for both readers.
    QStringList expected = asciiDays(QStringLiteral("AAA.AS")) + asciiDays(QStringLiteral("BBB"));
    ASSERT_EQ(expected.size(), 2 * days);
    expected.sort();
    for (auto* reader : {&readWithFreeXl, &readWithXlrd}) {
        QString error;
        const QVector<ReadSheet> sheets = reader(book, &error, {});
        ASSERT_TRUE(error.isEmpty()) << qPrintable(error);
        ASSERT_EQ(sheets.size(), 1);
        QSet<QString> names;
        QStringList rows = sheetDays(sheets[0], &names);
        rows.sort();
        EXPECT_EQ(rows, expected);
        EXPECT_EQ(names, (QSet<QString>{QStringLiteral("AAA.AS Corp's"), QStringLiteral("BBB Corp's")}));
    }

    // Both symbols in the folder made for new symbols and in the map of
    // the folders, every day stored once, no error on the way.
    EXPECT_TRUE(msgs.texts().isEmpty()) << qPrintable(msgs.texts().join(QLatin1Char('\n')));
    const QString folder = settings().format('M').folder + QStringLiteral("Q001/");
    {
        Database db(paths::databaseFile());
        EXPECT_EQ(metastockmap::folderOf(db, QStringLiteral("AAA.AS")), folder);
        EXPECT_EQ(metastockmap::folderOf(db, QStringLiteral("BBB")), folder);
    }
    for (const QString& ticker : {QStringLiteral("AAA.AS"), QStringLiteral("BBB")}) {
        const mslink::RecordArrays stored = metastockRecords(folder, ticker);
        const QStringList ascii = asciiLines(QString(ticker).replace(QLatin1Char('.'), QLatin1Char('_')));
        ASSERT_EQ(stored.dates.size(), static_cast<size_t>(ascii.size())) << qPrintable(ticker);
        for (qsizetype i = 0; i < ascii.size(); ++i) {
            const QStringList f = ascii[i].split(QLatin1Char(','));
            EXPECT_EQ(stored.dates[i], f[0].toInt());
            EXPECT_FLOAT_EQ(stored.closes[i], f[4].toFloat());
            EXPECT_FLOAT_EQ(stored.volumes[i], f[5].toFloat());
        }
    }

    // One import, of the staging file with every day after its header.
    EXPECT_EQ(QString::fromUtf8(readAll(importArgs())),
              QFileInfo(paths::dataFile(QStringLiteral("ami2.txt"))).absoluteFilePath() + QLatin1Char('\n'));
    EXPECT_EQ(readAll(imported()).count("\r\n"), 2 * days + 1);
}

TEST_F(HistoryRunTest, StopKeepsTheWorkbookWholeAndSkipsTheImport)
{
    // One at a time: S1 is written whole before S2 is asked.
    store::write(QStringLiteral("MaxInFlightHistory"), QStringLiteral("1"));
    addSymbols({QStringLiteral("S1"), QStringLiteral("S2")});
    workbookFormatsOn();
    const auto answers = fakehistory::responder();
    fake.setResponder([this, answers](const FakeQuoteService::Request& r) {
        if (r.query.value("s") == "s2")
            run.stop();
        return answers(r);
    });
    EXPECT_FALSE(go());
    const int days = weekdays(kStart, kEnd);
    const HistoryRunSummary& sum = run.summary();
    EXPECT_TRUE(sum.aborted);
    EXPECT_EQ(sum.written.value(QLatin1Char('E')), days);
    EXPECT_EQ(sum.written.value(QLatin1Char('M')), days);
    EXPECT_EQ(
        sum.notes,
        QStringList{QStringLiteral("Excel workbook %1history-1.xls: 1 sheet").arg(settings().format('E').folder)});
    QString error;
    const QVector<ReadSheet> sheets =
        readWithFreeXl(settings().format('E').folder + QStringLiteral("history-1.xls"), &error);
    ASSERT_EQ(sheets.size(), 1) << qPrintable(error);
    EXPECT_EQ(sheets[0].rows, days);
    mslink::Reader r;
    r.openFolder(settings().format('M').folder + QStringLiteral("Q001/"));
    EXPECT_EQ(r.securityCount(), 1);
    EXPECT_FALSE(QFile::exists(importArgs()));
}

TEST_F(HistoryRunTest, NoFreeWorkbookNameStopsTheRunBeforeTheHistoryIsEmptied)
{
    addSymbols({QStringLiteral("S1")});
    ASSERT_TRUE(go());
    const QStringList before = historyRows();
    ASSERT_EQ(before.size(), 1);

    workbookFormatsOn();
    for (int n = 1; n <= 5000; ++n)
        writeFile(settings().format('E').folder + QStringLiteral("history-%1.xls").arg(n), "x");
    fake.clearRequests();
    EXPECT_FALSE(go());
    EXPECT_TRUE(run.summary().aborted);
    EXPECT_TRUE(fake.requests().isEmpty());
    EXPECT_EQ(historyRows(), before);
    EXPECT_FALSE(QFile::exists(importArgs()));
}

TEST_F(HistoryRunTest, SymbolsAreInFlightTogetherUpToTheLimit)
{
    store::write(QStringLiteral("MaxInFlightHistory"), QStringLiteral("3"));
    addSymbols({QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("A3"), QStringLiteral("A4"),
                QStringLiteral("A5"), QStringLiteral("A6")});
    // Answers are held until three requests wait together; a fourth
    // arriving meanwhile would go beyond the limit.
    fake.holdAnswers(true);
    int most = 0;
    QObject::connect(&fake, &FakeQuoteService::requestArrived, &run, [this, &most] {
        most = std::max(most, fake.heldAnswers());
        if (fake.heldAnswers() == 3)
            QTimer::singleShot(150, &fake, [this] { fake.releaseAnswers(); });
    });
    QVector<int> finished;
    QObject::connect(&run, &HistoryRun::symbolFinished, &run,
                     [&finished](const QString&, int n, int total) { finished << n << total; });
    const QDate end(2004, 1, 30);
    EXPECT_TRUE(go(kStart, end));
    EXPECT_EQ(most, 3);
    EXPECT_EQ(fake.requests().size(), 6);
    EXPECT_EQ(finished, (QVector<int>{1, 6, 2, 6, 3, 6, 4, 6, 5, 6, 6, 6}));
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(asciiLines(QStringLiteral("A%1").arg(i)).size(), weekdays(kStart, end)) << i;
}

TEST_F(HistoryRunTest, EachSymbolIsOneBlockInTheRunFilesWhateverOrderTheAnswersCome)
{
    // Two chunks each, all in flight together, answered in turns.
    addSymbols({QStringLiteral("X.AS"), QStringLiteral("Y.AS"), QStringLiteral("Z.AS")});
    fake.setDelay(30);
    EXPECT_TRUE(go());
    const int days = weekdays(kStart, kEnd);
    // The tickers in the order of the lines: each appears in one run.
    auto runsOf = [](const QByteArray& file, int field, char separator) {
        QStringList order;
        for (const QByteArray& line : file.split('\n')) {
            if (line.trimmed().isEmpty())
                continue;
            const QList<QByteArray> f = line.split(separator);
            if (f.size() > field && (order.isEmpty() || order.last() != QString::fromLatin1(f[field])))
                order << QString::fromLatin1(f[field]);
        }
        return order;
    };
    const QStringList staged = runsOf(readAll(paths::dataFile(QStringLiteral("ami1.txt"))), 0, ',');
    EXPECT_EQ(staged.size(), 4) << qPrintable(staged.join(QLatin1Char('|')));  // the header, then one per symbol
    const QStringList vision = runsOf(readAll(settings().format('V').folder + QStringLiteral("history-1.vsn")), 2, '|');
    EXPECT_EQ(QSet<QString>(vision.begin(), vision.end()).size(), vision.size())
        << qPrintable(vision.join(QLatin1Char(' ')));
    for (const char* t : {"X_AS", "Y_AS", "Z_AS"})
        EXPECT_EQ(asciiLines(QLatin1String(t)).size(), days) << t;
}

TEST_F(HistoryRunTest, AnEmptyRangeIsAskedOnce)
{
    settings().teller3 = 5;
    addSymbols({QStringLiteral("EMPTY")});
    fake.setResponder([](const FakeQuoteService::Request&) -> std::optional<FakeQuoteService::Reply> {
        return FakeQuoteService::Reply{200, "No Prices in this date range", "text/plain"};
    });
    go();
    EXPECT_EQ(fake.requests().size(), 1);
    EXPECT_EQ(historyRows(), QStringList{row(QStringLiteral("EMPTY"), kStart, kEnd, "nietgelukt")});
}

TEST_F(HistoryRunTest, StopWritesTheSymbolsThatAreInAndRecordsTheOthersAsNotGot)
{
    // DONE answers at once; HALF.AS gets its first chunk, its second never
    // comes. Stop comes once DONE is written and HALF.AS waits.
    addSymbols({QStringLiteral("DONE"), QStringLiteral("HALF.AS")});
    auto secondChunk = [](const FakeQuoteService::Request& r) {
        QDate s, e;
        return fakehistory::range(r, &s, &e) && s > kStart;
    };
    fake.setFaultChooser(
        [secondChunk](const FakeQuoteService::Request& r) { return secondChunk(r) ? Fault::Hang : Fault::None; });
    bool doneWritten = false, halfWaits = false;
    auto stopWhenBoth = [this, &doneWritten, &halfWaits] {
        if (doneWritten && halfWaits)
            run.stop();
    };
    QObject::connect(&run, &HistoryRun::symbolFinished, &run, [&](const QString& ticker) {
        doneWritten = doneWritten || ticker == QLatin1String("DONE");
        stopWhenBoth();
    });
    QObject::connect(&fake, &FakeQuoteService::requestArrived, &run, [&](int index) {
        halfWaits = halfWaits || secondChunk(fake.requests()[index]);
        stopWhenBoth();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(go());
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(asciiLines(QStringLiteral("DONE")).size(), weekdays(kStart, kEnd));
    // The first chunk of HALF.AS arrived, but the symbol is in no file: its
    // whole range is not got, and a retry asks it again.
    EXPECT_FALSE(QFile::exists(settings().format('C').folder + QStringLiteral("HALF_AS.asc")));
    EXPECT_EQ(historyRows(), (QStringList{row(QStringLiteral("DONE"), kStart, kEnd, "gelukt"),
                                          row(QStringLiteral("HALF.AS"), kStart, kEnd, "nietgelukt")}));
    EXPECT_FALSE(readAll(paths::dataFile(QStringLiteral("ami1.txt"))).contains("HALF.AS"));
}

TEST_F(HistoryRunTest, AStoppedRetryKeepsTheRangesItHasNotRetried)
{
    addSymbols({QStringLiteral("R1"), QStringLiteral("R2"), QStringLiteral("R3")});
    fake.setFault(Fault::ServerError);
    go();
    const QStringList failed{row(QStringLiteral("R1"), kStart, kEnd, "nietgelukt"),
                             row(QStringLiteral("R2"), kStart, kEnd, "nietgelukt"),
                             row(QStringLiteral("R3"), kStart, kEnd, "nietgelukt")};
    ASSERT_EQ(historyRows(), failed);

    // The retry is stopped while its first request waits.
    store::write(QStringLiteral("MaxInFlightHistory"), QStringLiteral("1"));
    fake.setFault(Fault::None);
    fake.setDelay(15000);
    QObject::connect(&fake, &FakeQuoteService::requestArrived, &run, [this] { run.stop(); });
    state().historyRetry = true;
    EXPECT_FALSE(go());
    EXPECT_EQ(historyRows(), failed);
}

TEST_F(HistoryRunTest, ACurrentRunStartedMeanwhileIsRefusedAndTouchesNothing)
{
    addSymbols({QStringLiteral("H1"), QStringLiteral("H2")});
    CurrentRun current;
    current.list = 1;
    bool refused = false;
    // The current run is asked for while the history's first answer waits.
    QObject::connect(&fake, &FakeQuoteService::requestArrived, &run, [&](int index) {
        if (index == 0)
            refused = !runToEnd(current) && current.summary().busy;
    });
    EXPECT_TRUE(go());
    EXPECT_TRUE(refused);
    ASSERT_FALSE(msgs.texts().isEmpty());
    EXPECT_TRUE(msgs.texts().last().startsWith(
        QStringLiteral("A download is already running for this data folder (process %1, started ")
            .arg(QCoreApplication::applicationPid())))
        << qPrintable(msgs.texts().join(QLatin1Char('\n')));
    // The history run's files are whole: both symbols in the staging file,
    // copied to the run file.
    const QByteArray ami1 = readAll(paths::dataFile(QStringLiteral("ami1.txt")));
    EXPECT_EQ(ami1.count("\r\n"), 2 * weekdays(kStart, kEnd) + 1);
    EXPECT_EQ(readAll(settings().format('P').folder + QStringLiteral("History-1.PRN")), ami1);
}

// The service sometimes sends two rows for its latest day: every format gets
// the day once, with the later row's prices.
TEST_F(HistoryRunTest, ADayAnsweredTwiceReachesEveryFormatOnce)
{
    addSymbols({QStringLiteral("BBB")});
    const auto normal = fakehistory::responder();
    fake.setResponder([normal](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        std::optional<FakeQuoteService::Reply> reply = normal(r);
        if (!reply || r.path != "/table.csv")
            return reply;
        // The newest row again, right after the first, with a close of its own.
        QByteArray& body = reply->body;
        const qsizetype first = body.indexOf('\n') + 1;
        const qsizetype second = body.indexOf('\n', first) + 1;
        QList<QByteArray> f = body.mid(first, second - first - 1).split(',');
        f[4] = "99.99";
        body.insert(second, f.join(',') + '\n');
        return reply;
    });
    EXPECT_TRUE(go());
    const int days = weekdays(kStart, kEnd);
    EXPECT_EQ(run.summary().quotesReceived, days);
    const QStringList ascii = asciiLines(QStringLiteral("BBB"));
    ASSERT_EQ(ascii.size(), days);
    EXPECT_TRUE(ascii.last().startsWith(QStringLiteral("20040910,"))) << qPrintable(ascii.last());
    EXPECT_EQ(ascii.last().split(QLatin1Char(',')).value(4), QStringLiteral("99.99"));
    EXPECT_EQ(readAll(paths::dataFile(QStringLiteral("ami1.txt"))).count("\r\n"), days + 1);
    EXPECT_EQ(readAll(settings().format('V').folder + QStringLiteral("history-1.vsn")).count("\r\n"), days + 1);
    EXPECT_EQ(readAll(settings().format('I').folder + QStringLiteral("H-1.txt")).count("\r\n"), 3 * days + 1);
}
