#include "testutil.h"

#include "database/startup.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "windows/frmoptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

class OptionsWindowTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        runStartup();
    }
};

TEST_F(OptionsWindowTest, LoadsTheSettingsAndChangesThemAtOnce)
{
    settings().teller2 = 30;
    settings().intervalDownload = 1500;
    settings().server = QLatin1Char('E');
    settings().reject = false;
    frmOptions w;
    auto* combo1 = w.findChild<QComboBox*>(QStringLiteral("Combo1"));
    auto* combo3 = w.findChild<QComboBox*>(QStringLiteral("Combo3"));
    ASSERT_TRUE(combo1 && combo3);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Options"));
    EXPECT_EQ(combo1->count(), 60);
    EXPECT_EQ(combo1->currentText(), QStringLiteral("30"));
    EXPECT_EQ(combo3->currentIndex(), 11);
    EXPECT_TRUE(w.findChild<QRadioButton*>(QStringLiteral("Option2"))->isChecked());
    EXPECT_FALSE(w.findChild<QCheckBox*>(QStringLiteral("Check6"))->isChecked());

    combo1->setCurrentIndex(4);
    EXPECT_EQ(settings().teller2, 5);
    combo3->setCurrentIndex(0);
    EXPECT_EQ(settings().intervalDownload, 125);
    w.findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(true);
    EXPECT_EQ(settings().teller4, 1);
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(OptionsWindowTest, DelayQuestionAnsweredNoKeepsTheDelay)
{
    frmOptions w;
    auto* check3 = w.findChild<QCheckBox*>(QStringLiteral("Check3"));
    auto* combo3 = w.findChild<QComboBox*>(QStringLiteral("Combo3"));
    msgs.queue(Answer::No);
    check3->click();
    EXPECT_TRUE(check3->isChecked());
    EXPECT_TRUE(combo3->isEnabled());
    EXPECT_TRUE(settings().isdelay);

    msgs.queue(Answer::Yes);
    check3->click();
    EXPECT_FALSE(check3->isChecked());
    EXPECT_FALSE(combo3->isEnabled());
    EXPECT_FALSE(w.findChild<QLabel*>(QStringLiteral("Label4"))->isEnabled());
    EXPECT_EQ(store::read(QStringLiteral("Isdelay"), QString()), QStringLiteral("False"));
}

TEST_F(OptionsWindowTest, DefaultButtonResetsAndClosingStores)
{
    settings().teller3 = 20;
    settings().split = 1;
    frmOptions w;
    w.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    EXPECT_EQ(w.findChild<QComboBox*>(QStringLiteral("Combo2"))->currentText(), QStringLiteral("5"));
    EXPECT_FALSE(w.findChild<QCheckBox*>(QStringLiteral("Check4"))->isChecked());
    w.findChild<QComboBox*>(QStringLiteral("Combo1"))->setCurrentIndex(19);
    w.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    store::sync();
    resetProcessState();
    runStartup();
    EXPECT_EQ(settings().teller2, 20);
    EXPECT_EQ(settings().teller3, 5);
    EXPECT_EQ(settings().split, 0);
}

TEST_F(OptionsWindowTest, ListChoiceOkStoresCancelDoesNot)
{
    settings().listNames[3] = QStringLiteral("Tech");
    settings().listNames[4] = QStringLiteral("US Blue Chips & Europa");
    {
        frmListDownload w;
        auto* box = w.findChild<QCheckBox*>(QStringLiteral("Check1_2"));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("3 - Tech"));
        // A "&" in a name is shown, not taken as an access key.
        EXPECT_EQ(w.findChild<QCheckBox*>(QStringLiteral("Check1_3"))->text(),
                  QStringLiteral("4 - US Blue Chips && Europa"));
        box->setChecked(true);
        w.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    }
    EXPECT_FALSE(settings().dList[3]);
    {
        frmListDownload w;
        w.findChild<QCheckBox*>(QStringLiteral("Check1_2"))->setChecked(true);
        w.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    }
    EXPECT_TRUE(settings().dList[3]);
    EXPECT_EQ(store::read(QStringLiteral("DList3"), QString()), QStringLiteral("True"));
}

TEST_F(OptionsWindowTest, IntegrityChoiceIsStoredAtOnceAndCancelPutsItBack)
{
    store::write(QStringLiteral("IntegrityAction"), QStringLiteral("repair"));
    {
        frmOptions w;
        auto* choice = w.findChild<QComboBox*>(QStringLiteral("cboIntegrity"));
        ASSERT_NE(choice, nullptr);
        EXPECT_EQ(choice->count(), 3);
        EXPECT_EQ(choice->currentIndex(), 1);
        choice->setCurrentIndex(2);
        EXPECT_EQ(store::read(QStringLiteral("IntegrityAction"), QString()), QStringLiteral("skip"));
        w.findChild<QPushButton*>(QStringLiteral("CommandCancel"))->click();
    }
    EXPECT_EQ(store::read(QStringLiteral("IntegrityAction"), QString()), QStringLiteral("repair"));
    {
        frmOptions w;
        w.findChild<QPushButton*>(QStringLiteral("Command2"))->click();  // Default
        EXPECT_EQ(w.findChild<QComboBox*>(QStringLiteral("cboIntegrity"))->currentIndex(), 0);
        w.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    }
    EXPECT_EQ(store::read(QStringLiteral("IntegrityAction"), QString()), QStringLiteral("flag"));
}
