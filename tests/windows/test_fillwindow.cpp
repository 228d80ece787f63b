#include "testutil.h"

#include "database/db.h"
#include "database/quotestore.h"
#include "database/startup.h"
#include "runs/historyrun.h"
#include "support/paths.h"
#include "windows/fillwindow.h"
#include "windows/location.h"
#include "writers/formatregistry.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>

// Switching a format on in the Export format window offers to fill it from
// the quote store; the fill runs in a window of its own with its progress
// and Stop.
class FillWindowTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        Database db(paths::databaseFile());
        for (const QString& t : tickers) {
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) "
                                   "VALUES (1, ?, ?, 'Unknown', 1)"),
                    {t, t + QStringLiteral(" Corp")});
        }
        folder = path("ascii") + QLatin1Char('/');
        QDir().mkpath(folder);
    }

    // Every ticker but the last gets `days` weekdays from 1 March 2004.
    void store(int days)
    {
        QuoteStore s;
        s.begin();
        const int source = s.source(QStringLiteral("test"), QDateTime::currentDateTimeUtc());
        for (qsizetype i = 0; i + 1 < tickers.size(); ++i) {
            QVector<core::Bar> bars;
            for (QDate d(2004, 3, 1); bars.size() < days; d = d.addDays(1)) {
                if (d.dayOfWeek() >= Qt::Saturday)
                    continue;
                core::Bar b;
                b.date = d.year() * 10000 + d.month() * 100 + d.day();
                b.open = b.high = b.low = b.close = core::Figure(QStringLiteral("12.5"), 12.5);
                b.volume = core::Figure(QStringLiteral("100"), 100);
                bars.append(b);
            }
            s.putDays(tickers[i], bars, source);
        }
        s.commit();
    }

    // The Export format window of ASCII: switched on in `folder`, OK.
    bool switchOn()
    {
        location w(QLatin1Char('C'));
        w.show();
        auto* on = w.findChild<QCheckBox*>(QStringLiteral("Option1"));
        if (!on->isChecked())
            on->click();
        w.setFolder(folder);
        w.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
        EXPECT_EQ(w.result(), QDialog::Accepted);
        return w.switchedOn();
    }

    const ExportFormat& ascii() const { return *formats::find(QLatin1Char('C')); }

    const QStringList tickers{QStringLiteral("AAA"), QStringLiteral("BBB"), QStringLiteral("CCC")};
    QString folder;
};

TEST_F(FillWindowTest, SwitchingOnOffersTheFillAndYesRunsIt)
{
    EXPECT_TRUE(switchOn());
    EXPECT_FALSE(switchOn());  // on already, same folder
    // Nothing stored: nothing offered.
    EXPECT_FALSE(fillwindow::offer(ascii()));
    EXPECT_TRUE(msgs.texts().isEmpty());

    store(3);
    msgs.queue(Answer::No);
    EXPECT_FALSE(fillwindow::offer(ascii()));
    EXPECT_EQ(msgs.texts(), QStringList{QStringLiteral("The quote store holds the days of 2 symbols of your lists. "
                                                       "Write them to ASCII-format (CSV) now?")});
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());

    msgs.shown.clear();
    msgs.queue(Answer::Yes);
    EXPECT_TRUE(fillwindow::offer(ascii()));
    EXPECT_EQ(msgs.texts().value(1),
              QStringLiteral("Fill finished: 2 of 3 symbols written, 6 quotes; 1 with nothing stored"));
    EXPECT_EQ(readAll(folder + QStringLiteral("AAA.asc")),
              "20040301,12.5,12.5,12.5,12.5,100\r\n20040302,12.5,12.5,12.5,12.5,100\r\n"
              "20040303,12.5,12.5,12.5,12.5,100\r\n");
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("BBB.asc")));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("CCC.asc")));
}

TEST_F(FillWindowTest, StopEndsTheFillAndTheWindowShowsItsProgress)
{
    switchOn();
    store(20);
    FillWindow w(ascii());
    auto* bar = w.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    ASSERT_NE(bar, nullptr);
    QObject::connect(&w.run(), &HistoryRun::symbolFinished, &w, [&](const QString&, int n, int, const QString&) {
        if (n == 1)
            w.findChild<QPushButton*>(QStringLiteral("commandstoppen"))->click();
    });
    w.exec();
    EXPECT_EQ(bar->maximum(), 3);
    EXPECT_TRUE(w.outcome().startsWith(QStringLiteral("Fill stopped by user"))) << qPrintable(w.outcome());
    EXPECT_EQ(msgs.texts().last(), w.outcome());
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("AAA.asc")));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("BBB.asc")));
}
