#include "testutil.h"

#include "support/help.h"
#include "support/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {
const QString kShipped = QStringLiteral(QUOTARIS_SOURCE_DIR "/share/help");
}

class HelpTest : public QuotarisTest {
protected:
    void TearDown() override
    {
        help::setInstalledFolderOverride(QString());
        QuotarisTest::TearDown();
    }
};

TEST_F(HelpTest, EveryPageIsShippedAndEveryLinkLeadsToAShippedPage)
{
    const QStringList shipped = QDir(kShipped).entryList({QStringLiteral("*.htm")}, QDir::Files);
    EXPECT_EQ(shipped.size(), help::pageNames().size());
    static const QRegularExpression link(QStringLiteral("href=\"([^\"#]+)"));
    for (const QString& page : help::pageNames()) {
        ASSERT_TRUE(shipped.contains(page)) << qPrintable(page);
        const QString html = QString::fromUtf8(readAll(kShipped + QLatin1Char('/') + page));
        EXPECT_TRUE(html.contains(QStringLiteral("<h1>"))) << qPrintable(page);
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(QFile::exists(kShipped + QLatin1Char('/') + target)) << qPrintable(page + " -> " + target);
        }
    }
}

TEST_F(HelpTest, PageNamesAreFoundWithoutRegardToCaseOrExtension)
{
    EXPECT_EQ(help::canonicalPage(QStringLiteral("listmanagment.HTM")), QStringLiteral("Listmanagment.htm"));
    EXPECT_EQ(help::canonicalPage(QStringLiteral("support")), QStringLiteral("Support.htm"));
    EXPECT_EQ(help::canonicalPage(QStringLiteral(" index.htm ")), QStringLiteral("index.htm"));
    EXPECT_TRUE(help::canonicalPage(QStringLiteral("Nothing.htm")).isEmpty());
    EXPECT_TRUE(help::canonicalPage(QStringLiteral("../index")).isEmpty());
    EXPECT_TRUE(help::canonicalPage(QString()).isEmpty());
}

TEST_F(HelpTest, UpdatedPagesFirstThenInstalledThenOnline)
{
    const QString installed = path(QStringLiteral("installed"));
    const QString updated = dataFolder() + QStringLiteral("/help");
    help::setInstalledFolderOverride(installed);

    // Nothing installed and no online help: nowhere to go, and the user is told.
    EXPECT_TRUE(help::pageUrl(QStringLiteral("Ticker.htm")).isEmpty());
    EXPECT_FALSE(help::ShowHelp(QStringLiteral("Ticker.htm")));
    EXPECT_EQ(msgs.texts(), QStringList{QStringLiteral("The help page Ticker.htm is not installed.")});
    store::write(QStringLiteral("HelpHost"), QStringLiteral("help.example:8080"));
    EXPECT_EQ(help::pageUrl(QStringLiteral("Ticker.htm")),
              QUrl(QStringLiteral("http://help.example:8080/onlinehelp/Ticker.htm")));
    EXPECT_EQ(help::pageUrl(QString()), QUrl(QStringLiteral("http://help.example:8080/onlinehelp/index.htm")));

    writeFile(installed + QStringLiteral("/Ticker.htm"), "installed");
    EXPECT_EQ(help::pageUrl(QStringLiteral("Ticker.htm")),
              QUrl::fromLocalFile(installed + QStringLiteral("/Ticker.htm")));
    // An update may bring a page in another case; it still wins.
    writeFile(updated + QStringLiteral("/ticker.HTM"), "updated");
    EXPECT_EQ(help::pageUrl(QStringLiteral("Ticker.htm")),
              QUrl::fromLocalFile(updated + QStringLiteral("/ticker.HTM")));
}
