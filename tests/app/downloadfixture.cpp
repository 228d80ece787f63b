#include "downloadfixture.h"

#include "database/db.h"
#include "database/settingsrow.h"
#include "database/startup.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/yield.h"
#include "writers/formatregistry.h"

#include <QDir>
#include <QProcessEnvironment>

void DownloadCommandTest::SetUp()
{
    QuotarisTest::SetUp();
    ASSERT_TRUE(runStartup().opened);
    ASSERT_TRUE(fake.isListening());
    fake.useForAllHostsInStore();
    store::write(QStringLiteral("Isdelay"), QStringLiteral("False"));
    store::sync();
}

FakeQuoteService::Quote DownloadCommandTest::quoteOf(const QByteArray& ticker, const QDate& d)
{
    const QByteArray date =
        QByteArray::number(d.month()) + '/' + QByteArray::number(d.day()) + '/' + QByteArray::number(d.year());
    return {ticker, date, "4:00pm", "10.5", "11", "10", "10.75", "1200", ticker + " CORP", "NYSE"};
}

void DownloadCommandTest::addSymbols(const QStringList& tickers, bool known)
{
    Database db(paths::databaseFile());
    Transaction t(db);
    for (const QString& ticker : tickers) {
        db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                               "VALUES (1, ?, ?, 'Unknown', 1)"),
                {ticker, ticker + QStringLiteral(" CORP")});
        if (known)
            fake.addQuote(quoteOf(ticker.toLatin1(), day));
    }
    t.commit();
}

void DownloadCommandTest::switchOn(const QString& letters)
{
    settingsrow::Columns columns;
    for (const QChar letter : letters) {
        const ExportFormat* f = formats::find(letter);
        ASSERT_NE(f, nullptr);
        columns.append({QLatin1String(f->selectedColumn()), 1});
        if (f->hasFolder()) {
            const QString dir = path(QStringLiteral("out-%1/").arg(letter));
            QDir().mkpath(dir);
            folder[letter] = dir;
            columns.append({QLatin1String(f->folderColumn()), dir});
        }
    }
    Database db(paths::databaseFile());
    settingsrow::write(db, columns);
}

void DownloadCommandTest::setColumn(const QString& column, const QVariant& value)
{
    Database db(paths::databaseFile());
    settingsrow::write(db, {{column, value}});
}

void DownloadCommandTest::historyFromFake(int timeout)
{
    store::write(QStringLiteral("ChartHost"), fake.host());
    store::write(QStringLiteral("dcurrent"), QStringLiteral("1"));
    store::sync();
    if (timeout > 0) {
        setColumn(QStringLiteral("teller2"), timeout);
        setColumn(QStringLiteral("teller3"), 1);
    }
}

QStringList DownloadCommandTest::numbered(const QString& prefix, int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << prefix + QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
    return out;
}

std::unique_ptr<QProcess> DownloadCommandTest::start(const QStringList& args)
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    p->start(QStringLiteral(QUOTARIS_BINARY), args);
    EXPECT_TRUE(p->waitForStarted());
    return p;
}

DownloadCommandTest::Run DownloadCommandTest::run(const QStringList& args)
{
    const auto p = start(args);
    EXPECT_TRUE(waitUntil([&p] { return p->state() == QProcess::NotRunning; }, 60000));
    return {p->exitCode(), QString::fromUtf8(p->readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
            QString::fromUtf8(p->readAllStandardError())};
}
