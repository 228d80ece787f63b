// Imported symbols (market "Unknown") learn their name, market and type from
// the quote service at their first download, beside the run: one check
// request for many symbols, never one for a symbol known already; a check
// the service fails leaves the symbols as they were and the run as it was.
#include "currentrunfixture.h"
#include "runwait.h"

#include "database/clsdata.h"
#include "database/listimport.h"
#include "runs/currentrun.h"
#include "support/changes.h"

#include <QElapsedTimer>
#include <QSet>
#include <algorithm>

using Fault = FakeQuoteService::Fault;

namespace {

struct Row {
    QString name, market, type;
    bool operator==(const Row&) const = default;
};

void PrintTo(const Row& r, std::ostream* os)
{
    *os << '{' << r.name.toStdString() << " / " << r.market.toStdString() << " / " << r.type.toStdString() << '}';
}

bool isCheck(const FakeQuoteService::Request& r) { return r.query.value("f") == "snx"; }

}  // namespace

class SymbolNamingTest : public CurrentRunTest {
protected:
    // Imports `tickers` onto list 1, as the import window does.
    void import(const QStringList& tickers)
    {
        clsData data;
        ASSERT_EQ(listimport::importSymbols(data, tickers, 1).added, tickers.size());
    }

    Row row(const QString& ticker)
    {
        Database db(paths::databaseFile());
        Statement st = db.prepare(QStringLiteral("SELECT naamyahoo, markt.Market, typeyahoo FROM fondsen LEFT JOIN "
                                                 "markt ON markt.id = fondsen.marktid WHERE codeyahoo = ?"));
        st.bind(1, ticker);
        if (!st.next())
            return {};
        return {st.text(0), st.text(1), st.text(2)};
    }

    QVector<FakeQuoteService::Request> checks() const
    {
        QVector<FakeQuoteService::Request> out;
        for (const auto& r : fake.requests()) {
            if (isCheck(r))
                out << r;
        }
        return out;
    }

    bool run()
    {
        CurrentRun r;
        const bool ok = runToEnd(r);
        EXPECT_TRUE(r.summary().complete()) << qPrintable(r.summary().outcome());
        return ok;
    }
};

TEST_F(SymbolNamingTest, ImportedSymbolsLearnNameMarketAndTypeInOneCheck)
{
    import({QStringLiteral("AAPL"), QStringLiteral("^AEX"), QStringLiteral("EURUSD=X"), QStringLiteral("NESN.S")});
    fake.addQuote({"AAPL", kDate, "4:00pm", "10", "11", "9", "10.5", "1000", "APPLE INC", "NasdaqNM"});
    fake.addQuote({"^AEX", kDate, "4:00pm", "900", "910", "890", "905", "0", "AEX", "N/A"});
    fake.addQuote({"EURUSD=X", kDate, "4:00pm", "1.1", "1.2", "1.0", "1.15", "0", "EUR/USD", "CCY"});
    fake.addQuote({"NESN.S", kDate, "4:00pm", "90", "91", "89", "90.5", "500", "NESTLE N", ""});
    int announced = 0;
    QObject::connect(&changes(), &Changes::symbolsChanged, &fake, [&announced] { ++announced; });

    ASSERT_TRUE(run());
    EXPECT_EQ(row(QStringLiteral("AAPL")), (Row{"APPLE INC", "NasdaqNM", "Stock"}));
    // The ticker's shape wins over what the exchange field says, as in the
    // search's check; a suffix serves where the service names no exchange.
    EXPECT_EQ(row(QStringLiteral("^AEX")), (Row{"AEX", "Indices", "Index"}));
    EXPECT_EQ(row(QStringLiteral("EURUSD=X")), (Row{"EUR/USD", "Currency", "Currency"}));
    EXPECT_EQ(row(QStringLiteral("NESN.S")), (Row{"NESTLE N", "Zurich", "Stock"}));
    const auto asked = checks();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].symbols, (QList<QByteArray>{"AAPL", "^AEX", "EURUSD=X", "NESN.S"}));
    EXPECT_GT(announced, 0);  // the list views follow

    // Known now: the next download asks nothing beside the quotes.
    fake.clearRequests();
    ASSERT_TRUE(run());
    EXPECT_TRUE(checks().isEmpty());
    EXPECT_EQ(fake.requests().size(), 1);
}

// Only symbols under "Unknown" are checked, each once however often it is
// answered; a name of the user's own stays, and the answer's name is taken
// before the check's.
TEST_F(SymbolNamingTest, OnlyUnknownSymbolsAreCheckedAndOwnNamesStay)
{
    import({QStringLiteral("MINE"), QStringLiteral("BARE"), QStringLiteral("AAPL")});
    addSymbols({QStringLiteral("KNOWN")});
    {
        Database db(paths::databaseFile());
        db.exec(QStringLiteral("UPDATE fondsen SET naamyahoo = 'My own' WHERE codeyahoo = 'MINE'"));
        db.exec(QStringLiteral("INSERT INTO markt (Market) VALUES ('NYSE')"));
        db.exec(QStringLiteral("UPDATE fondsen SET marktid = (SELECT id FROM markt WHERE Market = 'NYSE'), typeyahoo "
                               "= 'Stock' WHERE codeyahoo = 'KNOWN'"));
    }
    fake.addQuote(quoteOf("MINE"));
    fake.addQuote(quoteOf("AAPL"));
    // An answer that carries no name of its own (the ticker): the check's
    // name serves.
    fake.addQuote({"BARE", kDate, "4:00pm", "1", "1", "1", "1", "10", "BARE", "AMEX"});
    fake.setResponder([](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        if (!isCheck(r))
            return std::nullopt;
        FakeQuoteService::Reply reply;
        for (const QByteArray& s : r.symbols)
            reply.body += "\"" + s + "\",\"" + s + " FROM CHECK\",\"NYSE\"\r\n";
        return reply;
    });

    ASSERT_TRUE(run());
    EXPECT_EQ(row(QStringLiteral("MINE")), (Row{"My own", "NYSE", "Stock"}));
    EXPECT_EQ(row(QStringLiteral("BARE")), (Row{"BARE FROM CHECK", "NYSE", "Stock"}));
    EXPECT_EQ(row(QStringLiteral("AAPL")), (Row{"AAPL CORP", "NYSE", "Stock"}));
    const auto asked = checks();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_FALSE(asked[0].symbols.contains("KNOWN"));
    EXPECT_EQ(asked[0].symbols.size(), 3);
}

// A check the service fails or does not answer usably leaves the symbol
// under "Unknown" (with the name the quote carried) and the run whole; the
// next download checks it again.
TEST_F(SymbolNamingTest, AFailedCheckLeavesTheSymbolForTheNextDownload)
{
    import({QStringLiteral("AAPL"), QStringLiteral("ECHO")});
    fake.addQuote({"AAPL", kDate, "4:00pm", "10", "11", "9", "10.5", "1000", "APPLE INC", "NasdaqNM"});
    fake.addQuote(quoteOf("ECHO"));
    fake.setFaultChooser(
        [](const FakeQuoteService::Request& r) { return isCheck(r) ? Fault::ServerError : Fault::None; });

    CurrentRun failed;
    ASSERT_TRUE(runToEnd(failed));
    EXPECT_EQ(failed.summary().symbolsWritten, 2);
    EXPECT_TRUE(msgs.texts().isEmpty()) << qPrintable(msgs.texts().join('\n'));
    EXPECT_EQ(checks().size(), 1);
    EXPECT_EQ(row(QStringLiteral("AAPL")), (Row{"APPLE INC", "Unknown", "Unknown"}));

    // The service answers the check now, but does not know ECHO there: it
    // echoes the ticker without an exchange, which teaches nothing.
    fake.setFaultChooser({});
    fake.setResponder([](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        if (!isCheck(r) || !r.symbols.contains("ECHO"))
            return std::nullopt;
        FakeQuoteService::Reply reply;
        for (const QByteArray& s : r.symbols)
            reply.body += s == "ECHO" ? FakeQuoteService::unknownCsvLine(s, "snx")
                                      : "\"" + s + "\",\"APPLE INC\",\"NasdaqNM\"\r\n";
        return reply;
    });
    fake.clearRequests();
    ASSERT_TRUE(run());
    EXPECT_EQ(checks().size(), 1);
    EXPECT_EQ(row(QStringLiteral("AAPL")), (Row{"APPLE INC", "NasdaqNM", "Stock"}));
    EXPECT_EQ(row(QStringLiteral("ECHO")), (Row{"ECHO CORP", "Unknown", "Unknown"}));
}

// The quotes are written while a check hangs; the run then waits for it
// only until Stop, which ends it and leaves the symbol as it was.
TEST_F(SymbolNamingTest, QuotesNeverWaitForAHangingCheckAndStopEndsIt)
{
    import({QStringLiteral("AAPL")});
    fake.addQuote(quoteOf("AAPL"));
    fake.setFaultChooser([](const FakeQuoteService::Request& r) { return isCheck(r) ? Fault::Hang : Fault::None; });
    CurrentRun run;
    bool writtenWhileChecking = false;
    QObject::connect(&run, &CurrentRun::panel1Changed, &run, [&](const QString& text) {
        if (text == QLatin1String("Checking new symbols....")) {
            writtenWhileChecking = readAll(ascii + QStringLiteral("AAPL.asc")).contains("10.75");
            run.stop();
        }
    });
    QElapsedTimer clock;
    clock.start();
    runToEnd(run);
    EXPECT_TRUE(writtenWhileChecking);
    EXPECT_LT(clock.elapsed(), 15000);  // the check's time-out is 30 s
    EXPECT_EQ(checks().size(), 1);
    EXPECT_EQ(row(QStringLiteral("AAPL")), (Row{"AAPL CORP", "Unknown", "Unknown"}));
}

// More symbols than one check takes: full requests of 50 while the run
// downloads, the rest after the batch; every symbol checked once.
TEST_F(SymbolNamingTest, ManySymbolsAreCheckedFiftyARequest)
{
    const QStringList tickers = numbered(QStringLiteral("S"), 120);
    import(tickers);
    for (const QString& t : tickers)
        fake.addQuote(quoteOf(t.toLatin1()));
    ASSERT_TRUE(run());
    QList<QByteArray> asked;
    QVector<qsizetype> sizes;
    for (const auto& r : checks()) {
        asked += r.symbols;
        sizes << r.symbols.size();
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (QVector<qsizetype>{20, 50, 50}));
    EXPECT_EQ(asked.size(), 120);
    EXPECT_EQ(QSet<QByteArray>(asked.begin(), asked.end()).size(), 120);
    EXPECT_EQ(row(QStringLiteral("S119")), (Row{"S119 CORP", "NYSE", "Stock"}));
}
