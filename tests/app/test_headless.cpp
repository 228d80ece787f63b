#include "testutil.h"

#include "support/paths.h"

#include <QFile>

class HeadlessTest : public QuotarisTest {};

TEST_F(HeadlessTest, InfoCreatesTheDatabaseAndPrintsEverySetting)
{
    const QString dir = path(QStringLiteral("elsewhere"));
    const ProgramRun r = runQuotaris({QStringLiteral("--home"), dir, QStringLiteral("info")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_TRUE(QFile::exists(dir + QStringLiteral("/quotaris.qrd")));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains(QStringLiteral("data folder: ") + dir));
    EXPECT_TRUE(lines.contains(QStringLiteral("database: ") + dir + QStringLiteral("/quotaris.qrd")));
    EXPECT_TRUE(lines.contains(QStringLiteral("settings file: ") + paths::settingsFile()));
    EXPECT_TRUE(lines.contains(QStringLiteral("teller2: 10")));
    EXPECT_TRUE(lines.contains(QStringLiteral("List1: ")));
    EXPECT_TRUE(lines.contains(QStringLiteral("IntervalDownload: 1500")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Isdelay: True")));
    EXPECT_TRUE(lines.contains(QStringLiteral("h12: PRN")));
}

TEST_F(HeadlessTest, DamagedDatabaseIsReportedWithAFailingStatus)
{
    writeFile(dataFolder() + QStringLiteral("/quotaris.qrd"), "this is not a database at all");
    const ProgramRun r = runQuotaris({QStringLiteral("info")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("unable to open database")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("teller2: 10")));
    EXPECT_EQ(readAll(dataFolder() + QStringLiteral("/quotaris.qrd")), QByteArray("this is not a database at all"));
}

TEST_F(HeadlessTest, VersionHelpAndMistakes)
{
    ProgramRun r = runQuotaris({QStringLiteral("--version")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.trimmed(), QStringLiteral("quotaris ") + QStringLiteral(QUOTARIS_VERSION));

    r = runQuotaris({QStringLiteral("--help")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("info")));

    r = runQuotaris({QStringLiteral("frobnicate")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Unknown command: frobnicate")));

    r = runQuotaris({QStringLiteral("--home")});
    EXPECT_NE(r.status, 0);

    // A data folder that cannot be created.
    writeFile(path(QStringLiteral("afile")), "x");
    r = runQuotaris({QStringLiteral("--home"), path(QStringLiteral("afile/sub")), QStringLiteral("info")});
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(r.err.isEmpty());
}
