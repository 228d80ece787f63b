#include "fakeservice.h"
#include "runwait.h"
#include "testutil.h"

#include "database/db.h"
#include "database/settingsrow.h"
#include "database/startup.h"
#include "runs/currentrun.h"
#include "support/paths.h"
#include "support/state.h"
#include "windows/autodownload.h"
#include "windows/elidedlabel.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>

class AutodownloadTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        fake.useForAllHosts();
        settings().isdelay = false;
        settings().teller3 = 1;
        formatOn('C', QStringLiteral("ascii"));
        Database db(paths::databaseFile());
        for (const char* t : {"AAA", "BBB"}) {
            db.exec(QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, list2) VALUES (1, ?, ?, 1)"),
                    {QLatin1String(t), QLatin1String(t)});
            fake.addQuote({t, "12/1/2026", "4:00pm", "1", "2", "1", "1.5", "100", t, "NYSE"});
        }
    }

    template <typename W>
    W* control(Autodownload& w, const char* name)
    {
        W* c = w.findChild<W*>(QLatin1String(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    FakeQuoteService fake;
};

TEST_F(AutodownloadTest, GoRunsTheChosenListLockedUntilDone)
{
    Autodownload w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Current Data Downloader"));
    auto* combo = control<QComboBox>(w, "Combo3");
    ASSERT_EQ(combo->count(), 16);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("list 1 - "));
    EXPECT_TRUE(control<QRadioButton>(w, "Option6")->isEnabled());
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    EXPECT_EQ(settings().lijst, 2);
    {
        Database db(paths::databaseFile());
        EXPECT_EQ(settingsrow::read(db, QStringLiteral("lijst")).toInt(), 2);
    }

    bool lockedDuringRun = false;
    bool closeRefused = false;
    QObject::connect(&w.run(), &CurrentRun::panel1Changed, [&](const QString& text) {
        if (text.startsWith(QStringLiteral("Downloading"))) {
            lockedDuringRun = !control<QPushButton>(w, "Command1")->isEnabled() &&
                              control<QPushButton>(w, "commandstoppen")->isEnabled() &&
                              !control<QComboBox>(w, "Combo3")->isEnabled();
            closeRefused = !w.close();
        }
    });
    untilEnd(w.run(), [&] { control<QPushButton>(w, "Command1")->click(); });
    EXPECT_TRUE(lockedDuringRun);
    EXPECT_TRUE(closeRefused);
    EXPECT_TRUE(msgs.texts().contains(QStringLiteral("Please first stop downloading\r\nStop it now and close?")));
    EXPECT_EQ(control<QLabel>(w, "Panel1")->text(), QStringLiteral("Download finished: 2 of 2 written"));
    EXPECT_TRUE(control<QPushButton>(w, "Command1")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w, "commandstoppen")->isEnabled());
    EXPECT_TRUE(QFile::exists(settings().format('C').folder + QStringLiteral("AAA.asc")));
    EXPECT_TRUE(w.close());
}

TEST_F(AutodownloadTest, StopEndsTheRunWithinHalfASecond)
{
    fake.setDelay(20000);  // the answer would take 20 s
    Autodownload w;
    control<QComboBox>(w, "Combo3")->setCurrentIndex(1);
    QElapsedTimer sinceStop;
    QObject::connect(&fake, &FakeQuoteService::requestArrived, &w, [&] {
        if (!sinceStop.isValid()) {
            sinceStop.start();
            control<QPushButton>(w, "commandstoppen")->click();
        }
    });
    untilSignal(w, &Autodownload::runEnded, [&] { control<QPushButton>(w, "Command1")->click(); });
    ASSERT_TRUE(sinceStop.isValid());
    EXPECT_LT(sinceStop.elapsed(), 500);
    EXPECT_TRUE(w.run().summary().aborted);
    EXPECT_TRUE(control<QPushButton>(w, "Command1")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w, "commandstoppen")->isEnabled());
}

TEST_F(AutodownloadTest, ActivationShowsTheCurrentListAgain)
{
    settings().lijst = 3;
    QMdiArea area;
    Autodownload* w = new Autodownload;
    QMdiSubWindow* frame = area.addSubWindow(w);
    auto* other = area.addSubWindow(new QWidget);
    area.show();
    auto* combo = control<QComboBox>(*w, "Combo3");
    area.setActiveSubWindow(frame);
    EXPECT_EQ(combo->currentIndex(), 2);
    area.setActiveSubWindow(other);
    combo->setCurrentIndex(7);  // looked at, not chosen
    area.setActiveSubWindow(frame);
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(settings().lijst, 3);
}

TEST_F(AutodownloadTest, SeveralListsWithoutAChoiceAreRefused)
{
    Autodownload w;
    control<QRadioButton>(w, "Option4")->setChecked(true);
    EXPECT_TRUE(settings().multiplelists);
    EXPECT_FALSE(control<QComboBox>(w, "Combo3")->isEnabled());
    control<QPushButton>(w, "Command1")->click();
    EXPECT_EQ(msgs.texts(), QStringList({"First select one or more lists"}));
    EXPECT_TRUE(fake.requests().isEmpty());
}

// A long outcome is cut with "..." at the window's width, never clipped,
// and the whole text is the tooltip.
TEST_F(AutodownloadTest, LongStatusTextsAreElidedWithTheWholeTextAsTooltip)
{
    Autodownload w;
    w.resize(420, w.sizeHint().height());
    w.show();
    auto* panel = control<ElidedLabel>(w, "Panel1");
    ASSERT_NE(panel, nullptr);
    const QString whole = QStringLiteral("Download failed: 0 of 5,027 written; 5,027 failed (28 of 28 requests failed) "
                                         "(see the report): the quote service could not be reached");
    panel->setText(whole);
    w.grab();  // paints
    EXPECT_EQ(panel->text(), whole);
    EXPECT_LT(panel->shownText().size(), whole.size());
    EXPECT_TRUE(panel->shownText().endsWith(QChar(0x2026)));
    EXPECT_EQ(panel->toolTip(), whole);
    EXPECT_LE(panel->width(), w.width());

    panel->setText(QStringLiteral("Done"));
    w.grab();
    EXPECT_EQ(panel->shownText(), QStringLiteral("Done"));
    EXPECT_TRUE(panel->toolTip().isEmpty());
}
