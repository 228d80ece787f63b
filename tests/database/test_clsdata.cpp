#include "databasetest.h"
#include "testutil.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/startup.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

class ClsDataTest : public DatabaseTest {
protected:
    // Runs a check with no market given by the caller.
    void check(const QString& ticker, const QString& name, const QString& type = QStringLiteral("Equity"))
    {
        data->tickercode = ticker;
        data->fondsnaam = name;
        data->MarktNaam.clear();
        data->fondstype = type;
        data->go();
    }
    QString marketName(int id)
    {
        return data->db().scalar(QStringLiteral("SELECT Market FROM markt WHERE id = ?"), {id}).toString();
    }
    int rows(const QString& table)
    {
        return data->db().scalar(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
    }
    QVariant field(const QString& column, const QString& ticker)
    {
        return data->db().scalar(QStringLiteral("SELECT %1 FROM fondsen WHERE codeyahoo = ?").arg(column), {ticker});
    }
};

TEST_F(ClsDataTest, MarketIsDerivedFromTheShapeOfTheTicker)
{
    const QList<QPair<const char*, const char*>> cases = {
        {"^AEX", "Indices"},  {"EURUSD=X", "Currency"},   {"ASML.AS", "Amsterdam"},
        {"NESN.S", "Zurich"}, {"2330.TWO", "Taiwan OTC"}, {"ELN.I", "Irish"},
        {"IBM", "N/A"},       {"ABC.as", "N/A"},          {"^XAU=X", "Currency"},
    };
    for (const auto& [ticker, market] : cases) {
        check(QLatin1String(ticker), QStringLiteral("Some name"));
        EXPECT_TRUE(data->notfound) << ticker;
        EXPECT_EQ(data->MarktNaam, QLatin1String(market)) << ticker;
        EXPECT_EQ(marketName(data->marketid), QLatin1String(market)) << ticker;
    }
    // A market the caller gives stays unless the ticker says index or currency.
    data->tickercode = QStringLiteral("VOD.L");
    data->fondsnaam = QStringLiteral("Vodafone");
    data->MarktNaam = QStringLiteral("London");
    data->go();
    EXPECT_EQ(marketName(data->marketid), QStringLiteral("London"));
    EXPECT_EQ(rows(QStringLiteral("newticker")), static_cast<int>(cases.size()) + 1);
}

TEST_F(ClsDataTest, AMarketIsCreatedOnceAndReused)
{
    check(QStringLiteral("ASML.AS"), QStringLiteral("ASML"));
    const int first = data->marketid;
    check(QStringLiteral("INGA.AS"), QStringLiteral("ING"));
    EXPECT_EQ(data->marketid, first);
    EXPECT_EQ(data->db().scalar(QStringLiteral("SELECT count(*) FROM markt WHERE Market = 'Amsterdam'")).toInt(), 1);
    // A market name with a quote is stored in its replaced form and found again.
    data->tickercode = QStringLiteral("X1");
    data->fondsnaam = QStringLiteral("X");
    data->MarktNaam = QStringLiteral("Côte d'Ivoire");
    data->go();
    const int ivory = data->marketid;
    EXPECT_EQ(marketName(ivory), QStringLiteral("Côte d\"Ivoire"));
    data->MarktNaam = QStringLiteral("Côte d'Ivoire");
    data->go();
    EXPECT_EQ(data->marketid, ivory);
}

TEST_F(ClsDataTest, CheckFindsAndCorrectsChangedSymbols)
{
    check(QStringLiteral("ASML.AS"), QStringLiteral("ASML Holding"));
    data->addtodatabase2(QStringLiteral("ASML.AS"), QStringLiteral("ASML Holding"), data->marketid,
                         QStringLiteral("Equity"));
    ASSERT_TRUE(data->addgelukt);
    data->leegtijdelijk();

    // Same name apart from quotes, same market and type: nothing changes.
    data->db().exec(QStringLiteral("UPDATE fondsen SET naamyahoo = 'ASML \"Holding\"'"));
    data->tickercode = QStringLiteral("asml.as");
    data->fondsnaam = QStringLiteral("ASML 'Holding'");
    data->MarktNaam = QStringLiteral("amsterdam");
    data->go();
    EXPECT_FALSE(data->notfound);
    EXPECT_FALSE(data->namechanged || data->marketchanged || data->typechanged);

    // Another market, name and type.
    data->tickercode = QStringLiteral("ASML.AS");
    data->fondsnaam = QStringLiteral("ASML N'V");
    data->MarktNaam = QStringLiteral("ignored");
    data->fondstype = QStringLiteral("Fund");
    data->db().exec(QStringLiteral("UPDATE fondsen SET marktid = 999"));
    data->go();
    EXPECT_TRUE(data->marketchanged);
    EXPECT_TRUE(data->namechanged);
    EXPECT_TRUE(data->typechanged);
    EXPECT_EQ(field(QStringLiteral("naamyahoo"), QStringLiteral("ASML.AS")).toString(), QStringLiteral("ASML N\"V"));
    EXPECT_EQ(field(QStringLiteral("typeyahoo"), QStringLiteral("ASML.AS")).toString(), QStringLiteral("Fund"));
    EXPECT_EQ(field(QStringLiteral("marktid"), QStringLiteral("ASML.AS")).toInt(), data->marketid);
    for (const char* t : {"newmarket", "newname", "newtype"})
        EXPECT_EQ(rows(QLatin1String(t)), 1) << t;

    // A Null type counts as changed on every check without geentype.
    data->db().exec(QStringLiteral("UPDATE fondsen SET typeyahoo = NULL"));
    data->fondstype = QString();
    data->go();
    EXPECT_TRUE(data->typechanged);

    // With geentype the stored type is reported and kept, even when the
    // name is corrected.
    data->db().exec(QStringLiteral("UPDATE fondsen SET typeyahoo = 'Index'"));
    data->geentype = true;
    data->fondstype = QStringLiteral("stale");
    data->fondsnaam = QStringLiteral("ASML renamed");
    data->go();
    EXPECT_FALSE(data->typechanged);
    EXPECT_TRUE(data->namechanged);
    EXPECT_EQ(data->fondstypedatabase, QStringLiteral("Index"));
    EXPECT_EQ(field(QStringLiteral("typeyahoo"), QStringLiteral("ASML.AS")).toString(), QStringLiteral("Index"));

    // An empty name checks nothing.
    data->fondsnaam.clear();
    data->go();
    EXPECT_TRUE(data->notfound);
    EXPECT_FALSE(data->namechanged);
    EXPECT_TRUE(msgs.shown.isEmpty()) << qPrintable(msgs.texts().join('\n'));
}

TEST_F(ClsDataTest, AddsRenamesAndRemovesSymbolsWithQuotesInTickers)
{
    const int unknown = data->markt0();
    ASSERT_GT(unknown, 0);
    EXPECT_EQ(data->markt0(), unknown);
    EXPECT_EQ(rows(QStringLiteral("markt")), 1);

    data->addtodatabase2(QStringLiteral("O'X"), QStringLiteral("O'Reilly"), unknown, QStringLiteral("It's"));
    EXPECT_TRUE(data->addgelukt);
    EXPECT_EQ(field(QStringLiteral("naamyahoo"), QStringLiteral("O'X")).toString(), QStringLiteral("O\"Reilly"));
    EXPECT_EQ(field(QStringLiteral("typeyahoo"), QStringLiteral("O'X")).toString(), QStringLiteral("It\"s"));

    // Missing ticker, name or market: nothing is added.
    data->addtodatabase2(QStringLiteral("A"), QString(), unknown, QString());
    EXPECT_FALSE(data->addgelukt);
    data->addtodatabase2(QStringLiteral("A"), QStringLiteral("A"), 0, QString());
    EXPECT_FALSE(data->addgelukt);

    // The same ticker (in any case) is refused through the error dialog.
    msgs.queue(Answer::Ignore);
    data->addtodatabase2(QStringLiteral("o'x"), QStringLiteral("Again"), unknown, QString());
    EXPECT_FALSE(data->addgelukt);
    ASSERT_EQ(msgs.shown.size(), 1);
    EXPECT_EQ(msgs.shown[0].buttons, Buttons::AbortRetryIgnore);
    EXPECT_EQ(rows(QStringLiteral("fondsen")), 1);

    data->db().exec(QStringLiteral("UPDATE fondsen SET list4 = 1"));
    data->changeticker(QStringLiteral("O'X"), QStringLiteral("O'Y"));
    EXPECT_EQ(field(QStringLiteral("list4"), QStringLiteral("O'Y")).toInt(), 1);
    EXPECT_EQ(field(QStringLiteral("naamyahoo"), QStringLiteral("O'Y")).toString(), QStringLiteral("O\"Reilly"));
    data->changeticker(QStringLiteral("GONE"), QStringLiteral("NEW"));
    EXPECT_EQ(rows(QStringLiteral("newtickers")), 2);
    EXPECT_EQ(
        data->db().scalar(QStringLiteral("SELECT newticker FROM newtickers WHERE oldticker = ?"), {"O'X"}).toString(),
        QStringLiteral("O'Y"));

    // A change of case alone renames the one row; it never merges it away.
    data->changeticker(QStringLiteral("O'Y"), QStringLiteral("o'y"));
    EXPECT_FALSE(data->successorExisted);
    EXPECT_EQ(rows(QStringLiteral("fondsen")), 1);
    EXPECT_EQ(field(QStringLiteral("list4"), QStringLiteral("o'y")).toInt(), 1);

    data->removeticker(QStringLiteral("o'y"));
    EXPECT_EQ(rows(QStringLiteral("fondsen")), 0);
    EXPECT_EQ(msgs.shown.size(), 1);
}

TEST_F(ClsDataTest, AddToListKeepsAnExistingSymbolAndAddsANewOne)
{
    const int unknown = data->markt0();
    data->addtodatabase2(QStringLiteral("IBM"), QStringLiteral("Intl Business"), 77, QStringLiteral("Equity"));
    data->addtodatabase3(QStringLiteral("ibm"), QStringLiteral("ibm"), unknown, 3);
    EXPECT_TRUE(data->addgelukt);
    data->addtodatabase3(QStringLiteral("NEW'1"), QStringLiteral("Ne'w"), unknown, 16);
    EXPECT_TRUE(data->addgelukt);
    EXPECT_EQ(rows(QStringLiteral("fondsen")), 2);
    EXPECT_EQ(field(QStringLiteral("naamyahoo"), QStringLiteral("IBM")).toString(), QStringLiteral("Intl Business"));
    EXPECT_EQ(field(QStringLiteral("marktid"), QStringLiteral("IBM")).toInt(), 77);
    EXPECT_EQ(field(QStringLiteral("list3"), QStringLiteral("IBM")).toInt(), 1);
    EXPECT_EQ(field(QStringLiteral("typeyahoo"), QStringLiteral("NEW'1")).toString(), QStringLiteral("Unknown"));
    EXPECT_EQ(field(QStringLiteral("naamyahoo"), QStringLiteral("NEW'1")).toString(), QStringLiteral("Ne\"w"));
    EXPECT_EQ(field(QStringLiteral("list16"), QStringLiteral("NEW'1")).toInt(), 1);
    EXPECT_EQ(field(QStringLiteral("list3"), QStringLiteral("NEW'1")).toInt(), 0);

    // A list number outside 1..16 never reaches a statement.
    msgs.queue(Answer::Abort);
    data->addtodatabase3(QStringLiteral("X"), QStringLiteral("X"), unknown, 17);
    EXPECT_FALSE(data->addgelukt);
    EXPECT_TRUE(data->aborted());
    EXPECT_EQ(rows(QStringLiteral("fondsen")), 2);
}

// What the service says of imported symbols reaches only those still under
// "Unknown": a symbol the user filed meanwhile keeps its market, a name of
// its own stays, a market seen first is made once and its name keeps a quote
// in its stored form.
TEST_F(ClsDataTest, DescribingUnknownSymbolsTouchesOnlyThoseStillUnknown)
{
    const int unknown = data->markt0();
    for (const char* t : {"AAA", "BBB", "CCC", "FILED"})
        data->addtodatabase3(QLatin1String(t), QLatin1String(t), unknown, 1);
    data->db().exec(QStringLiteral("UPDATE fondsen SET naamyahoo = 'Own name' WHERE codeyahoo = 'BBB'"));
    data->db().exec(QStringLiteral("UPDATE fondsen SET marktid = 99 WHERE codeyahoo = 'FILED'"));

    const int changed = data->describeUnknown(
        {{QStringLiteral("aaa"), QStringLiteral("A'A Inc"), QStringLiteral("Lon'don"), QStringLiteral("Stock")},
         {QStringLiteral("BBB"), QStringLiteral("B Inc"), QStringLiteral("Lon'don"), QStringLiteral("Stock")},
         {QStringLiteral("CCC"), QString(), QString(), QStringLiteral("Stock")},
         {QStringLiteral("FILED"), QStringLiteral("F Inc"), QStringLiteral("NYSE"), QStringLiteral("Stock")}});
    EXPECT_EQ(changed, 3);
    EXPECT_EQ(field(QStringLiteral("naamyahoo"), QStringLiteral("AAA")).toString(), QStringLiteral("A\"A Inc"));
    EXPECT_EQ(marketName(field(QStringLiteral("marktid"), QStringLiteral("AAA")).toInt()), QStringLiteral("Lon\"don"));
    EXPECT_EQ(field(QStringLiteral("marktid"), QStringLiteral("BBB")),
              field(QStringLiteral("marktid"), QStringLiteral("AAA")));
    EXPECT_EQ(field(QStringLiteral("naamyahoo"), QStringLiteral("BBB")).toString(), QStringLiteral("Own name"));
    // No name known and no exchange: the name stays, the market is "N/A".
    EXPECT_EQ(field(QStringLiteral("naamyahoo"), QStringLiteral("CCC")).toString(), QStringLiteral("CCC"));
    EXPECT_EQ(marketName(field(QStringLiteral("marktid"), QStringLiteral("CCC")).toInt()), QStringLiteral("N/A"));
    EXPECT_EQ(field(QStringLiteral("typeyahoo"), QStringLiteral("CCC")).toString(), QStringLiteral("Stock"));
    EXPECT_EQ(field(QStringLiteral("marktid"), QStringLiteral("FILED")).toInt(), 99);
    EXPECT_EQ(field(QStringLiteral("typeyahoo"), QStringLiteral("FILED")).toString(), QStringLiteral("Unknown"));
    EXPECT_EQ(rows(QStringLiteral("markt")), 3);  // Unknown, Lon"don, N/A
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(ClsDataTest, ExportWritesTheChosenColumnsOfAList)
{
    check(QStringLiteral("ASML.AS"), QStringLiteral("ASML"));
    data->addtodatabase2(QStringLiteral("ASML.AS"), QStringLiteral("ASML, Holding"), data->marketid,
                         QStringLiteral("Equity"));
    data->addtodatabase3(QStringLiteral("ASML.AS"), QString(), 0, 2);
    data->addtodatabase3(QStringLiteral("ÄBC"), QStringLiteral("ÄBC"), data->markt0(), 2);
    data->addtodatabase3(QStringLiteral("OTHER"), QStringLiteral("OTHER"), data->markt0(), 3);
    QStringList status;
    data->statusText = [&status](const QString& s) { status << s; };

    const QString file = path(QStringLiteral("out.txt"));
    EXPECT_EQ(data->Export(file, 2,
                           {QStringLiteral("Symbol"), QStringLiteral("Bogus"), QStringLiteral("Market"),
                            QStringLiteral("Name")}),
              2);
    EXPECT_EQ(readAll(file), QByteArray("ASML.AS,,Amsterdam,ASML, Holding\r\n\xc4"
                                        "BC,,Unknown,\xc4"
                                        "BC\r\n"));
    EXPECT_EQ(status, QStringList({"Exporting 1 of 2", "Exporting 2 of 2", "2 Exported"}));

    // An empty list: a message and no file.
    const QString none = path(QStringLiteral("none.txt"));
    EXPECT_EQ(data->Export(none, 9, {QStringLiteral("Symbol")}), 0);
    EXPECT_EQ(msgs.texts(), QStringList({"List 9 is empty"}));
    EXPECT_FALSE(QFile::exists(none));
}

TEST_F(ClsDataTest, ExportToAFolderThatCannotBeWrittenLeavesNothingBehind)
{
    data->addtodatabase3(QStringLiteral("A"), QStringLiteral("A"), data->markt0(), 1);
    // A "folder" that is a file: no user can create anything in it.
    writeFile(path(QStringLiteral("plainfile")), "x");
    msgs.queue(Answer::Abort);
    EXPECT_EQ(data->Export(path(QStringLiteral("plainfile/out.txt")), 1, {QStringLiteral("Symbol")}), -1);
    ASSERT_EQ(msgs.shown.size(), 1);
    EXPECT_TRUE(msgs.shown[0].text.contains(QStringLiteral("plainfile/out.txt"))) << qPrintable(msgs.shown[0].text);
    EXPECT_EQ(readAll(path(QStringLiteral("plainfile"))), QByteArray("x"));

    // A read-only folder: an existing file there keeps its content and no
    // temporary file is left.
    const QString folder = path(QStringLiteral("locked"));
    writeFile(folder + QStringLiteral("/old.txt"), "keep me");
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    if (QFileInfo(folder).isWritable())
        GTEST_SKIP() << "running as a user who can write anywhere";
    msgs.queue(Answer::Ignore);
    EXPECT_EQ(data->Export(folder + QStringLiteral("/old.txt"), 1, {QStringLiteral("Symbol")}), -1);
    EXPECT_EQ(msgs.shown.size(), 2);
    EXPECT_EQ(readAll(folder + QStringLiteral("/old.txt")), QByteArray("keep me"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList({"old.txt"}));
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(ClsDataTest, OptionsAndMetastockMapAreSaved)
{
    settings().teller2 = 33;
    settings().split = 1;
    data->schrijftimeout();
    EXPECT_EQ(data->db().scalar(QStringLiteral("SELECT teller2 FROM globaal")).toInt(), 33);
    EXPECT_EQ(store::read(QStringLiteral("split"), QString()), QStringLiteral("1"));

    data->db().exec(QStringLiteral("INSERT INTO metastock (ticker, map) VALUES ('A', 'x')"));
    data->db().exec(QStringLiteral("INSERT INTO mappen (map) VALUES ('x')"));
    data->leegmetastock();
    EXPECT_EQ(rows(QStringLiteral("metastock")) + rows(QStringLiteral("mappen")), 0);
}
