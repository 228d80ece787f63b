#include "quotes/csvfields.h"
#include "quotes/currentquotes.h"
#include "quotes/lookup.h"
#include "support/state.h"
#include "testutil.h"

#include <QDate>

namespace {
constexpr int kMaxYear = 2031;

CurrentQuotes decode(const QByteArray& body, bool reject = true) { return decodeCurrentQuotes(body, reject, kMaxYear); }

QVector<QString> tickers(const CurrentQuotes& q)
{
    QVector<QString> out;
    for (const CurrentQuote& quote : q.quotes)
        out.append(quote.ticker);
    return out;
}
}  // namespace

TEST(CurrentQuoteAnswer, AcceptedQuoteCarriesEveryFieldWithoutQuotes)
{
    const CurrentQuotes q = decode("\"AAA\",\"6/4/2004\",\"4:00pm\",1.5,1.7,1.4,1.6,1000,\"AAA INC\"\r\n"
                                   "\"BBB\",\"12/31/2021\",\"10:05am\",2,2,2,2,5,\"BBB, INC.\"\r\n");
    ASSERT_TRUE(q.decoded);
    EXPECT_TRUE(q.foundall);
    ASSERT_EQ(q.size(), 2);
    EXPECT_EQ(q.quotes[0].ticker, QStringLiteral("AAA"));
    EXPECT_EQ(q.quotes[0].bar.date, 20040604);
    EXPECT_EQ(q.quotes[0].time, QStringLiteral("4:00pm"));
    EXPECT_DOUBLE_EQ(q.quotes[0].bar.open.value, 1.5);
    EXPECT_DOUBLE_EQ(q.quotes[0].bar.high.value, 1.7);
    EXPECT_DOUBLE_EQ(q.quotes[0].bar.low.value, 1.4);
    EXPECT_DOUBLE_EQ(q.quotes[0].bar.close.value, 1.6);
    EXPECT_DOUBLE_EQ(q.quotes[0].bar.volume.value, 1000);
    EXPECT_EQ(q.quotes[0].name, QStringLiteral("AAA INC"));
    // A comma inside the quoted name gives ten fields; the blank after it goes.
    EXPECT_EQ(q.quotes[1].name, QStringLiteral("BBB,INC."));
    // Dates after 2020 are today's quotes and keep their date.
    EXPECT_EQ(q.quotes[1].bar.date, 20211231);
}

// The files get the name without its quotes and the comma's blank; the
// database keeps it as sent: the comma with its blank, quotes inside
// (plain or doubled), more than one comma.
TEST(CurrentQuoteAnswer, TheNameAsSentKeepsCommasBlanksAndQuotes)
{
    const CurrentQuotes q = decode("\"AAA\",\"6/4/2004\",\"4:00pm\",1,1,1,1,10,\"Caf\xe9 \"Ost\", Inc.\"\r\n"
                                   "\"BBB\",\"6/4/2004\",\"4:00pm\",1,1,1,1,10,\"B \"\"Q\"\", X, Y\" \r\n"
                                   "\"CCC\",\"6/4/2004\",\"4:00pm\",1,1,1,1,10,\"\"\r\n");
    ASSERT_EQ(q.size(), 3);
    EXPECT_EQ(q.quotes[0].name, QStringLiteral("Caf\u00e9 Ost,Inc."));
    EXPECT_EQ(q.sentName(q.quotes[0]), QStringLiteral("Caf\u00e9 \"Ost\", Inc."));
    EXPECT_EQ(q.sentName(q.quotes[1]), QStringLiteral("B \"Q\", X, Y"));
    EXPECT_EQ(q.quotes[2].name, QStringLiteral("CCC"));
    EXPECT_EQ(q.sentName(q.quotes[2]), QStringLiteral("CCC"));
}

TEST(CurrentQuoteAnswer, UnknownAndVolumelessTickersAreSortedOut)
{
    const QByteArray body = "\"ZZZ\",\"N/A\",\"N/A\",N/A,N/A,N/A,0.00,N/A,\"ZZZ\"\r\n"
                            "\"QUIET\",\"6/4/2004\",\"4:00pm\",3,3,3,3,0,\"QUIET CORP\"\r\n"
                            "\"^IDX\",\"6/4/2004\",\"4:00pm\",9,9,9,9,0,\"AN INDEX\"\r\n"
                            "\"eurusd=x\",\"6/4/2004\",\"4:00pm\",1.2,1.2,1.2,1.2,0,\"EUR to USD\"\r\n"
                            "\"NONAME\",\"6/4/2004\",\"4:00pm\",1,1,1,1,10,\"  \"\r\n";
    CurrentQuotes q = decode(body, true);
    EXPECT_FALSE(q.foundall);
    EXPECT_EQ(q.notfound, QStringList{QStringLiteral("ZZZ")});
    EXPECT_EQ(q.SymbolsVerworpen, QStringList{QStringLiteral("QUIET")});
    // Rejected and unknown lines leave no entry behind.
    EXPECT_EQ(tickers(q), (QVector<QString>{"^IDX", "eurusd=x", "NONAME"}));
    EXPECT_EQ(q.quotes[2].name, QStringLiteral("NONAME"));

    q = decode(body, false);
    EXPECT_TRUE(q.SymbolsVerworpen.isEmpty());
    EXPECT_EQ(tickers(q), (QVector<QString>{"QUIET", "^IDX", "eurusd=x", "NONAME"}));
    EXPECT_EQ(q.notfound, QStringList{QStringLiteral("ZZZ")});
}

TEST(CurrentQuoteAnswer, MalformedAnswersAreIgnoredLineByLine)
{
    // No CR LF at all: nothing decoded.
    EXPECT_FALSE(decode("\"AAA\",\"6/4/2004\",\"4:00pm\",1,1,1,1,1,\"A\"\n").decoded);
    EXPECT_FALSE(decode("").decoded);
    EXPECT_FALSE(decode("\r").decoded);

    const QByteArray body =
        QByteArray("\"SHORT\",1,2\r\n")                                   // too few fields
        + "\"EXTRA\",\"6/4/2004\",\"t\",1,1,1,1,1,\"A\",\"B\",\"C\"\r\n"  // 11 fields: first part of the name
        + "\"CR\",\"6/4/2004\",\"t\",1,1,1,1,1,\"C\rD\"\r\n"              // lone CR stays in the name
        + QByteArray("\"N\0L\"", 5) + ",\"13/45/2004\",\"t\",\"1\",1,1,1,7,\"X\"\r\n"  // NUL, bad date, quoted number
        + "\"NUM\",\"\",\"t\",1e309,-,N/A,0,N/A,\"NUM\"\r\n"                           // nothing but its own name
        + "\"TRUNC\",\"6/4/2004\",\"4:0";                                              // cut off
    const CurrentQuotes q = decode(body);
    ASSERT_TRUE(q.decoded);
    ASSERT_EQ(q.size(), 3);
    EXPECT_EQ(q.quotes[0].name, QStringLiteral("A"));
    EXPECT_EQ(q.quotes[1].name, QStringLiteral("C\rD"));
    EXPECT_EQ(q.quotes[2].ticker, QString::fromLatin1("N\0L", 3));
    EXPECT_EQ(q.quotes[2].bar.date, 0);
    EXPECT_DOUBLE_EQ(q.quotes[2].bar.open.value, 0);  // a quoted number does not read as a number
    EXPECT_EQ(q.notfound, QStringList{QStringLiteral("NUM")});
    EXPECT_TRUE(q.SymbolsVerworpen.isEmpty());
    EXPECT_FALSE(q.foundall);
}

TEST(CurrentQuoteAnswer, NumbersReadTheLeadingDecimalNumber)
{
    EXPECT_DOUBLE_EQ(csv::number("1,234.5"), 1.234);
    EXPECT_DOUBLE_EQ(csv::number(" 12.5x"), 12.5);
    EXPECT_DOUBLE_EQ(csv::number("-0.25"), -0.25);
    EXPECT_DOUBLE_EQ(csv::number("+3"), 3);
    EXPECT_DOUBLE_EQ(csv::number(".5"), 0.5);
    EXPECT_DOUBLE_EQ(csv::number("1e3"), 1000);
    EXPECT_DOUBLE_EQ(csv::number("2e"), 2);
    EXPECT_DOUBLE_EQ(csv::number("1e309"), 0);
    EXPECT_DOUBLE_EQ(csv::number("N/A"), 0);
    EXPECT_DOUBLE_EQ(csv::number("-"), 0);
    EXPECT_DOUBLE_EQ(csv::number(""), 0);
    EXPECT_DOUBLE_EQ(csv::number(QByteArray(400, '9')), 0);
    EXPECT_DOUBLE_EQ(csv::number(QByteArray(100, '0') + "1.5"), 1.5);
}

TEST(CurrentQuoteAnswer, PriceTextsKeepTheDigitsAsSent)
{
    EXPECT_EQ(csv::numberText("0.00006123"), QStringLiteral("0.00006123"));
    EXPECT_EQ(csv::numberText(" 1234.56789012"), QStringLiteral("1234.56789012"));
    EXPECT_EQ(csv::numberText("1.50"), QStringLiteral("1.50"));
    EXPECT_EQ(csv::numberText("12,5"), QStringLiteral("12.5"));
    EXPECT_EQ(csv::numberText("+3"), QStringLiteral("3"));
    EXPECT_EQ(csv::numberText("-.5"), QStringLiteral("-0.5"));
    EXPECT_EQ(csv::numberText("7."), QStringLiteral("7"));
    // Zero is "0" however it was written: the open-price repair looks for it.
    EXPECT_EQ(csv::numberText("0.00"), QStringLiteral("0"));
    EXPECT_EQ(csv::numberText("N/A"), QStringLiteral("0"));
    EXPECT_EQ(csv::numberText("1e309"), QStringLiteral("0"));
    EXPECT_EQ(csv::numberText("1.5e-5"), QStringLiteral("0.000015"));

    const CurrentQuotes q = decodeCurrentQuotes(
        "\"TINY\",\"12/1/2026\",\"4:00pm\",0.00006,0.00,0.00006001,0.00006123,1200,\"TINY\"\r\n", false, kMaxYear);
    ASSERT_EQ(q.size(), 1);
    EXPECT_EQ(q.quotes[0].bar.open.text, QStringLiteral("0.00006"));
    EXPECT_EQ(q.quotes[0].bar.high.text, QStringLiteral("0"));
    EXPECT_EQ(q.quotes[0].bar.close.text, QStringLiteral("0.00006123"));
    EXPECT_EQ(q.quotes[0].bar.volume.text, QStringLiteral("1200"));
}

TEST(CurrentQuoteAnswer, AValueNotAvailableMakesTheQuoteIncompleteNeverAZero)
{
    const QStringList asked{QStringLiteral("OPENLESS"), QStringLiteral("WHOLE"), QStringLiteral("NOVOL"),
                            QStringLiteral("ZZZ")};
    const CurrentQuotes q =
        decodeCurrentQuotes("\"OPENLESS\",\"12/1/2026\",\"4:00pm\",N/A,11,9,10.5,1200,\"Openless\"\r\n"
                            "\"WHOLE\",\"12/1/2026\",\"4:00pm\",10,11,9,10.5,1200,\"Whole\"\r\n"
                            "\"NOVOL\",\"12/1/2026\",\"4:00pm\",10,11,9,10.5,N/A,\"No volume\"\r\n"
                            "\"ZZZ\",\"N/A\",\"N/A\",N/A,N/A,N/A,0.00,N/A,\"ZZZ\"\r\n",
                            false, kMaxYear, &asked);
    ASSERT_EQ(q.size(), 1);
    EXPECT_EQ(q.quotes[0].ticker, QStringLiteral("WHOLE"));
    EXPECT_EQ(q.incomplete, QStringList({"OPENLESS", "NOVOL"}));
    EXPECT_EQ(q.notfound, QStringList({"ZZZ"}));  // the unknown symbol's echo line stays what it was
    EXPECT_TRUE(q.missing.isEmpty());
}

TEST(CurrentQuoteAnswer, DatesAreMonthFirstWithinRange)
{
    EXPECT_EQ(csv::cvdatum("\"6/4/2004\"", kMaxYear), 20040604);
    EXPECT_EQ(csv::cvdatum(" 12 / 31 / 1999", kMaxYear), 19991231);
    EXPECT_EQ(csv::cvdatum("1/1/1900", kMaxYear), 19000101);
    EXPECT_EQ(csv::cvdatum("1/1/1899", kMaxYear), 0);
    EXPECT_EQ(csv::cvdatum("1/1/2031", kMaxYear), 20310101);
    EXPECT_EQ(csv::cvdatum("1/1/2032", kMaxYear), 0);
    EXPECT_EQ(csv::cvdatum("13/45/2004", kMaxYear), 0);
    EXPECT_EQ(csv::cvdatum("0/4/2004", kMaxYear), 0);
    EXPECT_EQ(csv::cvdatum("6/32/2004", kMaxYear), 0);
    EXPECT_EQ(csv::cvdatum("6.5/4/2004", kMaxYear), 0);
    EXPECT_EQ(csv::cvdatum("", kMaxYear), 0);
    EXPECT_EQ(csv::cvdatum("N/A", kMaxYear), 0);
    EXPECT_EQ(csv::cvdatum("6/4", kMaxYear), 0);
    EXPECT_EQ(csv::cvdatum("2004-06-04", kMaxYear), 0);
    // The bound follows the calendar: a quote of today is never dropped.
    EXPECT_EQ(csv::latestQuoteYear(), QDate::currentDate().year() + 1);
}

// "^" and "." go as they are; what the query gives a meaning ("=", "&",
// "+", "#", "%", blanks) and what is not ASCII is percent-encoded.
TEST(CurrentQuoteRequest, TickersAreJoinedWithTrailingPlusEncodedWhereTheQueryNeedsIt)
{
    ProgramSettings& s = settings();
    s.quoteHost = QStringLiteral("main.example");
    s.quoteHostAU = QStringLiteral("au.example");
    s.quoteHostSG = QStringLiteral("sg.example");
    const QStringList batch{"AAA", "",    "^BBB", "CCCDDD=X", "E.AS",   "M&M",
                            "A+B", "C D", "H#1",  "5%",       "\u00c9", "\u20ac"};
    EXPECT_EQ(currentQuotesUrl(batch),
              QStringLiteral("http://main.example/d/quotes.csv?s=AAA+^BBB+CCCDDD%3DX+E.AS+M%26M+A%2BB+C%20D+H%231+5%25+"
                             "%C9+%E2%82%AC+&f=sd1t1ohgl1vn&e=.csv"));
    EXPECT_TRUE(currentQuotesUrl(batch, QStringLiteral("AU")).startsWith(QStringLiteral("http://au.example/")));
    EXPECT_TRUE(currentQuotesUrl(batch, QStringLiteral("SG")).startsWith(QStringLiteral("http://sg.example/")));
    EXPECT_TRUE(currentQuotesUrl(batch, QStringLiteral("EU")).startsWith(QStringLiteral("http://main.example/")));
    resetProcessState();
}

TEST(LookupAnswer, NamesAndMarketsWithTheirFallbacks)
{
    const LookupResult r = decodeLookup("\"IBM\",\"INTL BUSINESS MAC\",\"NYSE\"\r\n"
                                        "\"FTEK\",\"Fuel Tech, Inc.\",\"NasdaqNM\"\r\n"
                                        "\"ABC.AS\",\"\",\"\"\r\n"
                                        "\"EURUSD=X\",\"EUR/USD\",\"N/A\"\r\n"
                                        "\"^AEX\",\"AEX\",\"Amsterdam\"\r\n"
                                        "\"XYZ\",\"XYZ\",\"\"\r\n"
                                        "\"LONELY\"\r\n",
                                        true, true, false);
    EXPECT_EQ(r.yahooticker, (QVector<QString>{"IBM", "FTEK", "ABC.AS", "EURUSD=X", "^AEX", "XYZ"}));
    EXPECT_EQ(r.yahooname,
              (QVector<QString>{"INTL BUSINESS MAC", "Fuel Tech, Inc.", "ABC.AS", "EUR/USD", "AEX", "XYZ"}));
    EXPECT_EQ(r.yahoomarket, (QVector<QString>{"NYSE", "NasdaqNM", "Amsterdam", "Currency", "Indices", "N/A"}));

    // Market only: the exchange is the field right after the symbol.
    const LookupResult m = decodeLookup("\"A.TWO\",\"\"\r\n\"B.I\",\"Dublin\"\r\n", false, true, false);
    EXPECT_TRUE(m.yahooname.isEmpty());
    EXPECT_EQ(m.yahoomarket, (QVector<QString>{"Taiwan OTC", "Dublin"}));
}

TEST(LookupAnswer, IndicesAmongMembersAreLeftOut)
{
    const QByteArray body = "\"^SUB\",\"SUB INDEX\",\"\"\r\n\"AAA.AS\",\"AAA\",\"Amsterdam\"\r\n^X,\"odd\",\"\"\r\n";
    EXPECT_EQ(decodeLookup(body, true, true, true).yahooticker, QVector<QString>{"AAA.AS"});
    EXPECT_EQ(decodeLookup(body, true, true, false).yahooticker.size(), 3);
}

TEST(LookupAnswer, SuffixTable)
{
    EXPECT_EQ(marketFromSuffix(QString()), QString());
    EXPECT_EQ(marketFromSuffix(QStringLiteral("GBP=X")), QStringLiteral("Currency"));
    EXPECT_EQ(marketFromSuffix(QStringLiteral("^X.Y")), QStringLiteral("Indices"));
    EXPECT_EQ(marketFromSuffix(QStringLiteral("^XY")), QString());
    EXPECT_EQ(marketFromSuffix(QStringLiteral("N.S")), QStringLiteral("Zurich"));
    EXPECT_EQ(marketFromSuffix(QStringLiteral("N.DE")), QString());
    EXPECT_EQ(marketFromSuffix(QStringLiteral("PLAIN")), QString());
}
