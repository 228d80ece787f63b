#pragma once

#include "fakeservice.h"
#include "testutil.h"

#include "database/db.h"
#include "database/startup.h"
#include "support/paths.h"
#include "support/state.h"

#include <QDir>

inline const QByteArray kDate = "12/1/2026";

inline FakeQuoteService::Quote quoteOf(const QByteArray& symbol, const QByteArray& open = "10.5")
{
    return {symbol, kDate, "4:00pm", open, "11", "10", "10.75", "1200", symbol + " CORP", "NYSE"};
}

// A database with the program's schema, the fake service for every host, the
// ASCII and PRN formats on, each with its own folder.
class CurrentRunTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        ASSERT_TRUE(fake.isListening());
        fake.useForAllHosts();
        ProgramSettings& s = settings();
        s.isdelay = false;
        // Seconds per request: far longer than any answer of the fake takes
        // on a loaded machine; a test that needs a time-out sets its own.
        s.teller2 = 30;
        s.teller3 = 1;  // attempts
        ascii = path(QStringLiteral("ascii/"));
        prn = path(QStringLiteral("prn/"));
        QDir().mkpath(ascii);
        QDir().mkpath(prn);
        s.format('C').folder = ascii;
        s.format('P').folder = prn;
        s.format('C').on = true;  // ASCII
        s.format('P').on = true;
    }

    // Puts `tickers` on list `n`; those the fake knows get a quote.
    void addSymbols(const QStringList& tickers, int n = 1, bool known = true)
    {
        Database db(paths::databaseFile());
        Transaction t(db);
        for (const QString& ticker : tickers) {
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list%1) "
                                   "VALUES (1, ?, ?, 'Unknown', 1)")
                        .arg(n),
                    {ticker, ticker + QStringLiteral(" CORP")});
            if (known)
                fake.addQuote(quoteOf(ticker.toLatin1()));
        }
        t.commit();
    }

    static QStringList numbered(const QString& prefix, int count)
    {
        QStringList out;
        for (int i = 0; i < count; ++i)
            out << prefix + QString::number(i);
        return out;
    }

    QStringList ami1Lines() const
    {
        return QString::fromLatin1(readAll(paths::dataFile(QStringLiteral("ami1.txt"))))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    QString runFile() const
    {
        const QStringList files = QDir(prn).entryList(QDir::Files);
        return files.size() == 1 ? prn + files.first() : QString();
    }

    FakeQuoteService fake;
    QString ascii, prn;
};
