#pragma once

#include "fakeservice.h"
#include "testutil.h"

#include <QDate>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <memory>

// The program's `download current` run as a child process against the fake
// quote service in the test's process: the test keeps the event loop turning
// while the child runs. The database is made by the test, list 1 holds the
// symbols, and the chosen formats write into folders of the test's own.
class DownloadCommandTest : public QuotarisTest {
protected:
    void SetUp() override;

    // Puts the tickers on list 1 in this order; the fake answers each with a
    // quote of `day` unless `known` is false.
    void addSymbols(const QStringList& tickers, bool known = true);
    // Switches the formats of `letters` on, each with a folder of its own.
    void switchOn(const QString& letters);
    // Sets columns of the settings row (teller2, teller3...).
    void setColumn(const QString& column, const QVariant& value);
    // For the historical commands: the fake is the chart host too and the
    // download takes one list; with `timeout`, a request gives up after that
    // many seconds and one attempt.
    void historyFromFake(int timeout = 0);

    static QStringList numbered(const QString& prefix, int count);
    static FakeQuoteService::Quote quoteOf(const QByteArray& ticker, const QDate& day);

    std::unique_ptr<QProcess> start(const QStringList& args = {QStringLiteral("download"), QStringLiteral("current")});
    struct Run {
        int status;
        QStringList out;
        QString err;
    };
    Run run(const QStringList& args = {QStringLiteral("download"), QStringLiteral("current")});

    FakeQuoteService fake;
    QDate day = QDate::currentDate();
    QMap<QChar, QString> folder;  // per format letter, ending in "/"
};
