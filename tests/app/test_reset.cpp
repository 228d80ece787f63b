#include "testutil.h"

#include "support/log.h"
#include "support/paths.h"
#include "support/state.h"

#include <QDir>

class ResetTest : public QuotarisTest {};

// What a test leaves in the process state is gone after the reset the test
// fixture makes between tests; each leftover is first shown to be there.
// The other layers keep nothing beyond their owners.
TEST_F(ResetTest, TheProcessStartsAfresh)
{
    // A log that could not be written stays quiet.
    settings().teller4 = 1;
    ASSERT_TRUE(QDir().mkpath(paths::logFile()));  // a folder where the log goes
    WriteLog(QStringLiteral("lost"));
    WriteLog(QStringLiteral("lost again"));
    ASSERT_EQ(msgs.shown.size(), 1);
    ASSERT_TRUE(QDir(paths::logFile()).removeRecursively());

    // This process's data folder.
    paths::setDataFolderOverride(path(QStringLiteral("elsewhere")));

    resetSupportLayer();

    EXPECT_EQ(settings().teller4, 0);
    settings().teller4 = 1;
    WriteLog(QStringLiteral("written"));
    EXPECT_EQ(readAll(paths::logFile()), QByteArray("written\r\n"));
    EXPECT_EQ(msgs.shown.size(), 1);

    EXPECT_EQ(paths::dataFolder(), dataFolder());
}
