#include "testutil.h"

#include "database/db.h"
#include "database/settingsrow.h"
#include "database/startup.h"
#include "runs/options.h"
#include "support/settingsstore.h"
#include "support/state.h"

class OptionsTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        runStartup();
    }
    // The options as the next start loads them.
    ProgramSettings reloaded()
    {
        store::sync();
        resetProcessState();
        runStartup();
        return settings();
    }
};

TEST_F(OptionsTest, DelayItemsAndIndex)
{
    const QStringList items = options::delayItems();
    ASSERT_EQ(items.size(), 80);
    EXPECT_EQ(items.first(), QStringLiteral("125"));
    EXPECT_EQ(items.last(), QStringLiteral("10000"));
    EXPECT_EQ(options::delayIndex(1500), 11);
    EXPECT_EQ(options::delayIndex(1600), 11);  // not a multiple: truncated quotient minus one
    EXPECT_EQ(options::delayIndex(0), 0);
    EXPECT_EQ(options::delayIndex(99999), 79);
}

TEST_F(OptionsTest, DefaultsAreStored)
{
    for (const auto& [name, value] : QList<QPair<QString, QString>>{{"teller2", "33"},
                                                                    {"teller3", "9"},
                                                                    {"teller4", "1"},
                                                                    {"teller5", "0"},
                                                                    {"split", "1"},
                                                                    {"dcurrent", "1"},
                                                                    {"reject", "False"},
                                                                    {"server", "E"},
                                                                    {"IntervalDownload", "250"}})
        ASSERT_EQ(options::setByName(name, value), QString()) << qPrintable(name);
    options::setDefaults();
    const ProgramSettings s = reloaded();
    EXPECT_EQ(s.teller2, 10);
    EXPECT_EQ(s.teller3, 5);
    EXPECT_EQ(s.teller4, 0);
    EXPECT_EQ(s.teller5, 1);
    EXPECT_EQ(s.split, 0);
    EXPECT_EQ(s.dcurrent, 0);
    EXPECT_EQ(s.server, QLatin1Char('U'));
    EXPECT_TRUE(s.isdelay);
    EXPECT_TRUE(s.reject);
    EXPECT_EQ(s.intervalDownload, 1500);
    EXPECT_EQ(store::read(QStringLiteral("IntervalDownload"), QString()), QStringLiteral("1500"));
}

TEST_F(OptionsTest, SetByNameKeepsToTheWindowsRanges)
{
    EXPECT_EQ(options::setByName(QStringLiteral("teller2"), QStringLiteral("60")), QString());
    EXPECT_FALSE(options::setByName(QStringLiteral("teller2"), QStringLiteral("61")).isEmpty());
    EXPECT_FALSE(options::setByName(QStringLiteral("teller3"), QStringLiteral("0")).isEmpty());
    EXPECT_FALSE(options::setByName(QStringLiteral("teller4"), QStringLiteral("2")).isEmpty());
    EXPECT_FALSE(options::setByName(QStringLiteral("IntervalDownload"), QStringLiteral("1600")).isEmpty());
    EXPECT_FALSE(options::setByName(QStringLiteral("IntervalDownload"), QStringLiteral("10125")).isEmpty());
    EXPECT_FALSE(options::setByName(QStringLiteral("server"), QStringLiteral("X")).isEmpty());
    EXPECT_FALSE(options::setByName(QStringLiteral("reject"), QStringLiteral("maybe")).isEmpty());
    EXPECT_FALSE(options::setByName(QStringLiteral("colour"), QStringLiteral("1")).isEmpty());
    EXPECT_EQ(options::setByName(QStringLiteral("intervaldownload"), QStringLiteral("10000")), QString());
    const ProgramSettings s = reloaded();
    EXPECT_EQ(s.teller2, 60);
    EXPECT_EQ(s.teller3, 5);
    EXPECT_EQ(s.intervalDownload, 10000);
}

TEST_F(OptionsTest, SwitchingTheDelayOffAsksFirst)
{
    msgs.queue(Answer::No);
    EXPECT_TRUE(options::setDelay(false));
    ASSERT_EQ(msgs.shown.size(), 1);
    EXPECT_EQ(msgs.shown[0].text, options::delayQuestion());
    EXPECT_TRUE(msgs.shown[0].text.startsWith(QStringLiteral("   If you don't use this delay")));
    EXPECT_TRUE(msgs.shown[0].text.endsWith(QString(51, QLatin1Char(' ')) + QStringLiteral("Are you sure?")));
    EXPECT_EQ(msgs.shown[0].buttons, Buttons::YesNo);
    EXPECT_TRUE(reloaded().isdelay);

    msgs.queue(Answer::Yes);
    EXPECT_FALSE(options::setDelay(false));
    EXPECT_FALSE(reloaded().isdelay);
}

TEST_F(OptionsTest, DownloadListsAreStored)
{
    store::write(QStringLiteral("List2"), QStringLiteral("Dutch"));
    store::write(QStringLiteral("List5"), QStringLiteral(" Funds "));
    settings().listNames = reloaded().listNames;
    std::array<bool, 17> chosen{};
    chosen[2] = chosen[5] = true;
    options::saveDownloadLists(chosen);
    EXPECT_EQ(options::chosenListNames(), QStringLiteral("Dutch, Funds"));
    const ProgramSettings s = reloaded();
    EXPECT_TRUE(s.dList[2]);
    EXPECT_TRUE(s.dList[5]);
    EXPECT_FALSE(s.dList[1]);

    // A chosen list without a name adds nothing, not even a separator.
    chosen[1] = true;
    settings().listNames[1] = QStringLiteral("  ");
    options::saveDownloadLists(chosen);
    EXPECT_EQ(options::chosenListNames(), QStringLiteral("Dutch, Funds"));
}
