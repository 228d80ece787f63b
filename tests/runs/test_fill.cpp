#include "fakeservice.h"
#include "historytable.h"
#include "runwait.h"
#include "testutil.h"

#include "database/db.h"
#include "database/quotestore.h"
#include "database/startup.h"
#include "runs/fill.h"
#include "runs/historyrun.h"
#include "support/paths.h"
#include "support/runlock.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "writers/amibroker.h"
#include "writers/formatregistry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <memory>
#include <tuple>

namespace {
// 250 days: two chunks for every ticker below, so a historical run with one
// symbol in flight takes them in the order of the list.
const QDate kStart(2004, 1, 5);
const QDate kEnd(2004, 9, 10);

using Files = QMap<QString, QByteArray>;  // path below the folder -> bytes

// Every file below `folder`, by its path below it.
Files filesIn(const QString& folder)
{
    Files out;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        out.insert(QDir(folder).relativeFilePath(file), readAll(file));
    }
    return out;
}

void wipe(const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

QString names(const Files& files) { return QStringList(files.keys()).join(QLatin1Char(' ')); }
}  // namespace

// A fill writes one format from the quote store: the files a historical run
// of the same range wrote, without the network, and nothing else.
class FillTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        fake = std::make_unique<FakeQuoteService>();
        ASSERT_TRUE(fake->isListening());
        fake->useForAllHosts();
        fake->setResponder(fakehistory::responder());
        store::write(QStringLiteral("MaxInFlightHistory"), QStringLiteral("1"));
        quickRuns(30);
        for (const auto& [letter, name] : {std::pair{'C', "ascii"}, std::pair{'S', "stockguru"}, std::pair{'D', "get"},
                                           std::pair{'K', "kbf"}, std::pair{'P', "prn"}, std::pair{'V', "vision"},
                                           std::pair{'I', "vikingen"}, std::pair{'E', "xls"}, std::pair{'M', "ms"}})
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

    // The historical run the fills are measured against; then the service
    // goes away.
    void download(const QDate& from = kStart, const QDate& to = kEnd)
    {
        HistoryRun run;
        run.startDate = from;
        run.endDate = to;
        ASSERT_TRUE(runToEnd(run)) << qPrintable(run.summary().outcome());
        fake.reset();
    }

    // The AmiBroker import copies what it imports to a folder of its own.
    void amibrokerOn()
    {
        settings().format('A').on = true;
        QDir().mkpath(path("imported"));
        const QString script = path("import.sh");
        writeFile(script, QStringLiteral("#!/bin/sh\ncp \"$1\" '%1'\n").arg(path("imported/ami2.txt")).toUtf8());
        QFile(script).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        amibroker::setImportCommand(QLatin1Char('"') + script + QStringLiteral("\" %f"));
    }

    // Fills `letter` for the symbols of list 1 from `from` to `to`.
    bool fillFormat(HistoryRun& run, QChar letter, const QDate& from = {}, const QDate& to = {})
    {
        Database db(paths::databaseFile());
        fill::prepare(run, *formats::find(letter), fill::ranges(db, {1}, from, to));
        return runToEnd(run);
    }

    QStringList historyRows()
    {
        Database db(paths::databaseFile());
        Statement st = db.prepare(QStringLiteral("SELECT ticker, startdatum, einddatum, gelukt FROM history "
                                                 "ORDER BY ticker, startdatum"));
        QStringList out;
        while (st.next())
            out << QStringLiteral("%1 %2 %3 %4").arg(st.text(0), st.text(1), st.text(2), st.text(3));
        return out;
    }

    std::unique_ptr<FakeQuoteService> fake;
};

TEST_F(FillTest, EachFormatFilledFromTheStoreIsByteForByteWhatTheDownloadWrote)
{
    const QStringList tickers{QStringLiteral("AAA.AS"), QStringLiteral("BBB.AS"), QStringLiteral("CCC.AS")};
    addSymbols(tickers);
    amibrokerOn();
    download();

    const ProgramSettings& s = settings();
    const QMap<QChar, QString> folders{{'C', s.format('C').folder}, {'S', s.format('S').folder},
                                       {'D', s.format('D').folder}, {'K', s.format('K').folder},
                                       {'P', s.format('P').folder}, {'V', s.format('V').folder},
                                       {'I', s.format('I').folder}, {'E', s.format('E').folder},
                                       {'M', s.format('M').folder}, {'A', path("imported/")}};
    QMap<QChar, Files> downloaded;
    for (auto it = folders.begin(); it != folders.end(); ++it) {
        downloaded[it.key()] = filesIn(it.value());
        ASSERT_FALSE(downloaded[it.key()].isEmpty()) << it.key().toLatin1();
    }
    const QByteArray staged = readAll(paths::dataFile(QStringLiteral("ami1.txt")));
    const QStringList rows = historyRows();
    const QuoteStore::Summary stored = QuoteStore().summary();

    for (auto it = folders.begin(); it != folders.end(); ++it) {
        const QChar letter = it.key();
        SCOPED_TRACE(letter.toLatin1());
        wipe(it.value());
        HistoryRun run;
        EXPECT_TRUE(fillFormat(run, letter)) << qPrintable(run.summary().outcome());
        EXPECT_EQ(run.summary().quotesReceived, static_cast<int>(3 * 180));
        const Files filled = filesIn(it.value());
        EXPECT_EQ(names(filled), names(downloaded[letter]));
        for (auto f = filled.begin(); f != filled.end(); ++f)
            EXPECT_TRUE(f.value() == downloaded[letter].value(f.key())) << qPrintable(f.key());
        // The other formats, on as well, are as the download left them.
        for (auto other = folders.begin(); other != folders.end(); ++other) {
            if (other.key() != letter) {
                EXPECT_EQ(filesIn(other.value()), downloaded[other.key()]) << other.key().toLatin1();
            }
        }
        EXPECT_TRUE(run.summary().outcome().startsWith(QStringLiteral("Fill finished: 3 of 3 symbols written")))
            << qPrintable(run.summary().outcome());
    }
    // The staging file, made again by the fills of A and P, holds the same.
    EXPECT_EQ(readAll(paths::dataFile(QStringLiteral("ami1.txt"))), staged);
    // A fill is no download: the history a retry reads and the store stay.
    EXPECT_EQ(historyRows(), rows);
    const QuoteStore::Summary after = QuoteStore().summary();
    EXPECT_EQ(after.bars, stored.bars);
    EXPECT_EQ(after.symbols, stored.symbols);
    EXPECT_TRUE(msgs.texts().isEmpty()) << qPrintable(msgs.texts().join(QLatin1Char('\n')));
}

// A download to today whose range ends the day before adds today's quote,
// fetched apart, to the per-symbol files alone; the store marks that day,
// and a fill leaves it out of the run-wide files as well.
TEST_F(FillTest, TodaysQuoteAddedToARangeReachesThePerSymbolFilesAlone)
{
    settings().dcurrent = 0;
    addSymbols({QStringLiteral("TOP")});
    const QDate today = QDate::currentDate();
    fake->setResponder(fakehistory::responderUntil(today.addDays(-1)));
    const QByteArray serviceDate = QByteArray::number(today.month()) + '/' + QByteArray::number(today.day()) + '/' +
                                   QByteArray::number(today.year());
    fake->addQuote({"TOP", serviceDate, "4:00pm", "0", "12", "11", "11.5", "900", "TOP CORP", "NYSE"});
    download(today.addDays(-20), today);

    const QString ascii = settings().format('C').folder, vision = settings().format('V').folder;
    const Files asciiDownloaded = filesIn(ascii), visionDownloaded = filesIn(vision);
    const QByteArray day = today.toString(QStringLiteral("yyyyMMdd")).toLatin1();
    ASSERT_TRUE(readAll(ascii + QStringLiteral("TOP.asc")).endsWith(day + ",11.5,12,11,11.5,900\r\n"));
    ASSERT_EQ(visionDownloaded.size(), 1);
    ASSERT_TRUE(visionDownloaded.first().contains("|TOP|"));
    ASSERT_FALSE(visionDownloaded.first().contains('|' + day + '|'));

    for (const QString& folder : {ascii, vision}) {
        wipe(folder);
        HistoryRun run;
        EXPECT_TRUE(fillFormat(run, folder == ascii ? QLatin1Char('C') : QLatin1Char('V')))
            << qPrintable(run.summary().outcome());
    }
    EXPECT_EQ(filesIn(ascii), asciiDownloaded);
    EXPECT_EQ(filesIn(vision), visionDownloaded);
}

TEST_F(FillTest, ARangeWritesTheDaysOfTheRangeAndASymbolWithoutDaysIsNamed)
{
    addSymbols({QStringLiteral("AAA.AS")});
    download();
    const QStringList all = QString::fromLatin1(readAll(settings().format('C').folder + QStringLiteral("AAA_AS.asc")))
                                .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(all.size(), 180);
    addSymbols({QStringLiteral("NEW.AS")});
    wipe(settings().format('C').folder);

    HistoryRun run;
    QStringList finished;
    QObject::connect(&run, &HistoryRun::symbolFinished,
                     [&](const QString& ticker, int, int, const QString& text) { finished << ticker + ": " + text; });
    // A Saturday to a Sunday: the weekdays between, 1 March to 2 April.
    EXPECT_TRUE(fillFormat(run, QLatin1Char('C'), QDate(2004, 2, 28), QDate(2004, 4, 4)));
    QStringList expected;
    for (const QString& line : all) {
        if (line >= QStringLiteral("20040301") && line < QStringLiteral("20040403"))
            expected << line;
    }
    ASSERT_EQ(expected.size(), 25);
    EXPECT_EQ(QString::fromLatin1(readAll(settings().format('C').folder + QStringLiteral("AAA_AS.asc")))
                  .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts),
              expected);
    EXPECT_FALSE(QFile::exists(settings().format('C').folder + QStringLiteral("NEW_AS.asc")));
    EXPECT_EQ(finished, (QStringList{QStringLiteral("AAA.AS: 25 days"), QStringLiteral("NEW.AS: nothing stored")}));
    const HistoryRunSummary& sum = run.summary();
    EXPECT_EQ(sum.nothingStored, 1);
    EXPECT_FALSE(sum.complete());
    EXPECT_EQ(sum.outcome(), QStringLiteral("Fill finished: 1 of 2 symbols written, 25 quotes; 1 with nothing stored"));
}

TEST_F(FillTest, StopEndsTheFillWithoutTheRunWideExport)
{
    const QStringList tickers{QStringLiteral("A1.AS"), QStringLiteral("A2.AS"), QStringLiteral("A3.AS"),
                              QStringLiteral("A4.AS"), QStringLiteral("A5.AS"), QStringLiteral("A6.AS")};
    addSymbols(tickers);
    download(kStart, QDate(2004, 2, 27));
    wipe(settings().format('P').folder);
    wipe(settings().format('C').folder);

    for (const QChar letter : {QLatin1Char('C'), QLatin1Char('P')}) {
        HistoryRun run;
        int finished = 0;
        QObject::connect(&run, &HistoryRun::symbolFinished, [&](const QString&, int n, int, const QString&) {
            finished = n;
            if (n == 1)
                run.stop();
        });
        EXPECT_FALSE(fillFormat(run, letter));
        EXPECT_TRUE(run.summary().aborted);
        EXPECT_EQ(run.summary().outcome().left(20), QStringLiteral("Fill stopped by user"));
        EXPECT_LT(finished, tickers.size()) << letter.toLatin1();
        EXPECT_FALSE(run.running());
    }
    // The symbols written before the Stop are whole; no PRN run file.
    const Files ascii = filesIn(settings().format('C').folder);
    EXPECT_GE(ascii.size(), 1);
    EXPECT_LT(ascii.size(), tickers.size());
    EXPECT_TRUE(filesIn(settings().format('P').folder).isEmpty());
    // The next fill takes the folder again.
    HistoryRun again;
    EXPECT_TRUE(fillFormat(again, QLatin1Char('C')));
    EXPECT_EQ(filesIn(settings().format('C').folder).size(), tickers.size());
}

TEST_F(FillTest, HoldsTheDataFolderWhileItWrites)
{
    addSymbols({QStringLiteral("AAA.AS"), QStringLiteral("BBB.AS")});
    download();
    wipe(settings().format('C').folder);

    // Another run (a download) is refused and told it is a fill.
    HistoryRun run;
    QStringList refusals;
    QObject::connect(&run, &HistoryRun::symbolFinished, [&](const QString&, int, int, const QString&) {
        RunLock other;
        QString refusal;
        if (!other.acquire(QStringLiteral("download"), &refusal))
            refusals << refusal;
    });
    EXPECT_TRUE(fillFormat(run, QLatin1Char('C')));
    ASSERT_EQ(refusals.size(), 2);
    EXPECT_TRUE(refusals[0].startsWith(QStringLiteral("A fill is already running"))) << qPrintable(refusals[0]);
    RunLock after;
    QString refusal;
    EXPECT_TRUE(after.acquire(QStringLiteral("download"), &refusal));
}
