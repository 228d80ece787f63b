#include "testutil.h"

#include "database/clsdata.h"
#include "database/startup.h"

#include <QProcess>
#include <QProcessEnvironment>

class HeadlessReportTest : public QuotarisTest {
protected:
    int quotaris(const QStringList& args, QString* out)
    {
        QProcess p;
        p.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        p.start(QStringLiteral(QUOTARIS_BINARY), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        *out = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitCode();
    }
};

TEST_F(HeadlessReportTest, PrintsTheFourListsUnderTheirHeadings)
{
    ASSERT_TRUE(runStartup().opened);
    {
        clsData data;
        data.tickersmislukt({"MSFT", "IBM"});
        data.voegvervallentoe("GONE");
        data.changeticker("OLD", "NEW");
    }
    QString out;
    EXPECT_EQ(quotaris({QStringLiteral("report"), QStringLiteral("current")}, &out), 0);
    EXPECT_EQ(out, QStringLiteral("Failed (not downloaded):\n  IBM\n  MSFT\nNot found:\n  GONE\n"
                                  "Changed:\n  OLD -> NEW\nRejected:\n"));

    EXPECT_EQ(quotaris({QStringLiteral("report")}, &out), 2);
    EXPECT_EQ(quotaris({QStringLiteral("report"), QStringLiteral("history")}, &out), 2);
}
