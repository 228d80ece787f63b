#include "testutil.h"

#include "app/reset.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/state.h"
#include "writers/metastockrun.h"

#include <QDir>

namespace {
struct NoPrompt : MetastockPrompt {
    QString askFolder(const QString&, const QString&, const QString&, const Place&) override { return {}; }
    void showMapLoad(const CancelToken*, const Scan&) override {}
};
}  // namespace

class ResetTest : public QuotarisTest {};

// What a run leaves behind in any layer is gone after the reset the test
// fixture makes between tests; each leftover is first shown to be there.
TEST_F(ResetTest, EveryLayerStartsAfresh)
{
    // writers: the MetaStock run's choices and the installed prompt.
    NoPrompt prompt;
    setMetastockPrompt(&prompt);
    metastockRun().dontAskAgain = true;
    metastockRun().lastFolder = home();
    metastockRun().reportedDamaged.insert(home());

    // support: a log that could not be written stays quiet.
    settings().teller4 = 1;
    ASSERT_TRUE(QDir().mkpath(paths::logFile()));  // a folder where the log goes
    WriteLog(QStringLiteral("lost"));
    WriteLog(QStringLiteral("lost again"));
    ASSERT_EQ(msgs.shown.size(), 1);
    ASSERT_TRUE(QDir(paths::logFile()).removeRecursively());

    // support: this process's data folder.
    paths::setDataFolderOverride(path(QStringLiteral("elsewhere")));

    resetAllLayers();

    EXPECT_EQ(metastockPrompt(), nullptr);
    EXPECT_FALSE(metastockRun().dontAskAgain);
    EXPECT_TRUE(metastockRun().lastFolder.isEmpty());
    EXPECT_TRUE(metastockRun().reportedDamaged.isEmpty());

    EXPECT_EQ(settings().teller4, 0);
    settings().teller4 = 1;
    WriteLog(QStringLiteral("written"));
    EXPECT_EQ(readAll(paths::logFile()), QByteArray("written\r\n"));
    EXPECT_EQ(msgs.shown.size(), 1);

    EXPECT_EQ(paths::dataFolder(), dataFolder());
}
