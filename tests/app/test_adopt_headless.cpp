#include "testutil.h"

#include "database/clsdata.h"
#include "database/lists.h"
#include "database/quotestore.h"
#include "database/startup.h"
#include "mslink/folder.h"
#include "mslink/writer.h"
#include "support/runlock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QUrl>

namespace {

core::Bar bar(qint32 date, const char* open, const char* high, const char* low, const char* close, const char* volume)
{
    core::Bar b;
    b.date = date;
    b.open = core::Figure::parse(QString::fromLatin1(open));
    b.high = core::Figure::parse(QString::fromLatin1(high));
    b.low = core::Figure::parse(QString::fromLatin1(low));
    b.close = core::Figure::parse(QString::fromLatin1(close));
    b.volume = core::Figure::parse(QString::fromLatin1(volume));
    return b;
}

// Every file below `folder` by name, with a hash of its bytes.
QMap<QString, QByteArray> contentOf(const QString& folder)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        out.insert(file, QCryptographicHash::hash(readAll(file), QCryptographicHash::Sha1));
    }
    return out;
}

}  // namespace

class AdoptCommandTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        {
            clsData d;
            for (const char* t : {"AAA", "BBB", "CCC"}) {
                d.tickercode = QLatin1String(t);
                d.fondsnaam = QLatin1String(t) + QStringLiteral(" Corp");
                d.MarktNaam = QStringLiteral("Amsterdam");
                d.fondstype = QStringLiteral("Stock");
                d.go();
                d.addtodatabase2(d.tickercode, d.fondsnaam, d.marketid, d.fondstype);
            }
        }
        Lijstinvoeg onList;
        for (const char* t : {"AAA", "CCC"})
            onList.downloaden(QLatin1String(t), true, lists::column(2));
        folder = path("old/");
        QDir().mkpath(folder);
    }

    // A day the store holds before the adoption, as a download stored it.
    void storeDay(const QString& ticker, const core::Bar& b, const core::Bar* asSent = nullptr)
    {
        QuoteStore store;
        store.begin();
        store.put(ticker, b, store.source(QStringLiteral("quotes.example"), QDateTime::currentDateTimeUtc()), asSent);
        store.commit();
    }

    QString folder;
};

TEST_F(AdoptCommandTest, AsciiFilesComeInUnchangedAndTheStoresOtherValuesStay)
{
    writeFile(folder + "AAA.asc", "20240102,10,11,9,10.5,1000\r\n20240103,10.5,11.5,10,11,1100\r\n"
                                  "20240104,11,12,10.5,11.50,1200\r\n");
    writeFile(folder + "BBB.asc", "20240102,20,21,19,20.5,500\r\nnot a day\r\n20240103,20.5,21,20,20.75,600\r\n");
    writeFile(folder + "notes.txt", "kept by hand\r\n");
    storeDay(QStringLiteral("AAA"), bar(20240102, "10", "11", "9", "10.6", "1000"));  // another close
    storeDay(QStringLiteral("AAA"), bar(20240103, "10.50", "11.5", "10", "11", "1100"));
    const QMap<QString, QByteArray> before = contentOf(folder);

    ProgramRun r = runQuotaris({"adopt", "C", folder});
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(
        r.lines(),
        (QStringList{"adopted AAA from " + folder + "AAA.asc: 3 days, 1 added, 1 stored already, 1 kept as stored",
                     "kept AAA 2024-01-02 store: 10 11 9 10.6 1000; file: 10 11 9 10.5 1000",
                     "adopted BBB from " + folder +
                         "BBB.asc: 2 days, 2 added, 0 stored already, 0 kept as stored, 1 unreadable left out"}));
    EXPECT_EQ(contentOf(folder), before);

    {
        QuoteStore store;
        const QVector<QuoteStore::Row> aaa = store.rows(QStringLiteral("AAA"));
        ASSERT_EQ(aaa.size(), 3);
        EXPECT_EQ(aaa[0].bar.close.text, QStringLiteral("10.6"));  // the store's value stays
        EXPECT_EQ(aaa[1].bar.open.text, QStringLiteral("10.50"));
        EXPECT_EQ(aaa[2].bar, bar(20240104, "11", "12", "10.5", "11.50", "1200"));
        const auto source = store.sourceInfo(aaa[2].source);
        ASSERT_TRUE(source);
        EXPECT_EQ(source->host, QUrl::fromLocalFile(folder + "AAA.asc").toString());
        EXPECT_EQ(store.bars(QStringLiteral("BBB")).size(), 2);
        EXPECT_TRUE(store.bars(QStringLiteral("CCC")).isEmpty());
    }

    // Once more: nothing new, the same day still kept.
    r = runQuotaris({"adopt", "C", folder});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.lines().value(0).endsWith(QStringLiteral("3 days, 0 added, 2 stored already, 1 kept as stored")))
        << qPrintable(r.out);
    EXPECT_EQ(contentOf(folder), before);

    // A list: its symbols without a file are named.
    r = runQuotaris({"adopt", "C", folder, "--list", "2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no file of CCC in ")));
    EXPECT_EQ(r.lines().size(), 2);  // AAA and its kept day
}

TEST_F(AdoptCommandTest, MetastockSecuritiesComeInWithTheirSinglePrecisionValues)
{
    const QString ms = folder + "MS/";
    mslink::Writer::createFolder(ms);
    {
        mslink::Writer w;
        w.openFolder(ms);
        w.addSecurity("AAA", "AAA Corp");
        w.appendRecord(20240102, 0, 12.34f, 12.5f, 12.1f, 12.4f, 1000, 0);
        w.appendRecord(20240103, 0, 12.4f, 12.9f, 12.3f, 12.8f, 1100, 0);
        w.flush();
        w.closeSecurity();
        w.addSecurity("ZZZ", "Not in the database");
        w.appendRecord(20240102, 0, 1, 2, 1, 2, 5, 0);
        w.flush();
        w.closeSecurity();
        w.release();
    }
    // The download sent 12.45 as close: more than a float's rounding apart.
    storeDay(QStringLiteral("AAA"), bar(20240103, "12.4", "12.9", "12.3", "12.45", "1100"));
    const QMap<QString, QByteArray> before = contentOf(ms);

    const ProgramRun r = runQuotaris({"adopt", "M", ms});
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    ASSERT_EQ(r.lines().size(), 2) << qPrintable(r.out);
    EXPECT_TRUE(r.lines()[0].startsWith("adopted AAA from " + ms + "F1.DAT: 2 days, 1 added"));
    EXPECT_EQ(r.lines()[1], QStringLiteral("kept AAA 2024-01-03 store: 12.4 12.9 12.3 12.45 1100; "
                                           "file: 12.4 12.9 12.3 12.8 1100"));
    EXPECT_EQ(contentOf(ms), before);
    QuoteStore store;
    const QVector<core::Bar> days = store.bars(QStringLiteral("AAA"));
    ASSERT_EQ(days.size(), 2);
    EXPECT_EQ(days[0], bar(20240102, "12.34", "12.5", "12.1", "12.4", "1000"));
    EXPECT_TRUE(store.bars(QStringLiteral("ZZZ")).isEmpty());  // not a symbol of the database
}

TEST_F(AdoptCommandTest, RefusesWhatCannotBeAdopted)
{
    writeFile(folder + "AAA.asc", "20240102,10,11,9,10.5,1000\r\n");
    {
        RunLock download;
        ASSERT_TRUE(download.acquire(QStringLiteral("download"), nullptr));
        const ProgramRun busy = runQuotaris({"adopt", "C", folder});
        EXPECT_EQ(busy.status, 4);
        EXPECT_FALSE(QFile::exists(QuoteStore::defaultPath()));
    }
    QFile::remove(folder + "AAA.asc");

    ProgramRun r = runQuotaris({"adopt", "Q", folder});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("Unknown format letter: Q"))) << qPrintable(r.err);
    for (const char* runWide : {"E", "P", "A"}) {
        r = runQuotaris({"adopt", runWide, folder});
        EXPECT_EQ(r.status, 2) << runWide;
        EXPECT_TRUE(r.err.contains(QStringLiteral("run-wide files, not a file per symbol"))) << qPrintable(r.err);
    }
    r = runQuotaris({"adopt", "C", folder + "missing"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No such folder: " + folder + "missing\n");
    r = runQuotaris({"adopt", "C", folder});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("No file of a symbol of the database in"))) << qPrintable(r.err);
    EXPECT_EQ(runQuotaris({"adopt", "C"}).status, 2);
}

TEST_F(AdoptCommandTest, UndoPutsTheValuesAsSentBackInFilesAndStore)
{
    const QString ascii = path("ascii/");
    QDir().mkpath(ascii);
    ASSERT_EQ(runQuotaris({"format", "C", "on", "--folder", ascii}).status, 0);
    ASSERT_EQ(runQuotaris({"format", "S", "on", "--folder", ascii}).status, 0);
    core::Bar repaired = bar(20240103, "10.5", "10.75", "10", "10.75", "1200");
    repaired.set(core::Bar::Repaired);
    const core::Bar sent = bar(20240103, "10.5", "10.6", "10", "10.75", "1200");
    storeDay(QStringLiteral("AAA"), bar(20240102, "10", "11", "9", "10.5", "1000"));
    storeDay(QStringLiteral("AAA"), repaired, &sent);
    const QByteArray first = "20240102,10,11,9,10.5,1000\r\n";
    writeFile(ascii + "AAA.asc", first + "20240103,10.5,10.75,10,10.75,1200\r\n");
    // The Stockguru file was changed by hand since: left alone.
    const QByteArray guru = "AAA,D,240103,10.5,10.9,10,10.75,1200,1\r\n";
    writeFile(ascii + "AAA.prn", guru);
    // The MetaStock security holds the repaired day beside an earlier one.
    const QString ms = path("ms/");
    mslink::Writer::createFolder(ms);
    {
        mslink::Writer w;
        w.openFolder(ms);
        w.addSecurity("AAA", "AAA Corp");
        w.appendRecord(20240102, 0, 10, 11, 9, 10.5f, 1000, 7);
        w.appendRecord(20240103, 0, 10.5f, 10.75f, 10, 10.75f, 1200, 8);
        w.flush();
        w.release();
    }
    ASSERT_EQ(runQuotaris({"format", "M", "on", "--folder", ms}).status, 0);

    ProgramRun r = runQuotaris({"repair", "--undo", "AAA", "2024-01-02"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("AAA 2024-01-02 was not repaired by the integrity check: nothing to undo\n"));
    r = runQuotaris({"repair", "--undo", "AAA", "2024-01-05"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("No such day: the quote store holds no bar of AAA on 2024-01-05\n"));
    r = runQuotaris({"repair", "--undo", "NOPE", "2024-01-03"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("Unknown ticker: NOPE (the quote store holds no day of it)\n"));
    EXPECT_EQ(runQuotaris({"repair", "--undo", "AAA", "3 Jan"}).status, 2);
    EXPECT_EQ(runQuotaris({"repair", "AAA", "2024-01-03"}).status, 2);

    r = runQuotaris({"repair", "--undo", "AAA", "2024-01-03"});
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.lines(), (QStringList{"rewritten M " + ms + "F1.DAT (old content in F1.DAT.bak)",
                                      "left alone S " + ascii + "AAA.prn (its day holds other values)",
                                      "rewritten C " + ascii + "AAA.asc (old content in AAA.asc.bak)",
                                      "undone AAA 2024-01-03: 10.5 10.75 10 10.75 1200 -> 10.5 10.6 10 10.75 1200"}));
    EXPECT_EQ(readAll(ascii + "AAA.asc"), first + "20240103,10.5,10.6,10,10.75,1200\r\n");
    EXPECT_EQ(readAll(ascii + "AAA.prn"), guru);
    {
        mslink::Folder f(ms);
        f.load();
        const std::vector<mslink::Record> records = f.records(f.find(QStringLiteral("AAA")));
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].high, 11.0f);
        EXPECT_EQ(records[1].high, 10.6f);
        EXPECT_EQ(records[1].close, 10.75f);
        EXPECT_EQ(records[1].openInterest, 8.0f);
    }
    {
        QuoteStore store;
        const QVector<QuoteStore::Row> day = store.rows(QStringLiteral("AAA"), 20240103, 20240103);
        ASSERT_EQ(day.size(), 1);
        core::Bar kept = sent;
        kept.set(core::Bar::KeptAsSent);
        EXPECT_EQ(day[0].bar, kept);
        EXPECT_FALSE(day[0].asSent);
    }
    r = runQuotaris({"bars", "AAA", "--from", "2024-01-03"});
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_TRUE(
        r.lines().value(1).startsWith(QStringLiteral("2024-01-03,10.5,10.6,10,10.75,1200,,final repair-undone,,")))
        << qPrintable(r.out);
    r = runQuotaris({"repair", "--undo", "AAA", "2024-01-03"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.endsWith(QStringLiteral("was not repaired by the integrity check: nothing to undo\n")));
}
