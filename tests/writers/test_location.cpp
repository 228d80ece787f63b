#include "writertest.h"

#include "database/db.h"
#include "database/settingsrow.h"
#include "database/startup.h"
#include "support/settingsstore.h"
#include "writers/location.h"

class LocationTest : public WriterTest {
protected:
    void SetUp() override
    {
        WriterTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        msgs.shown.clear();
    }
    QVariant stored(const char* column)
    {
        auto db = Database::openDefault();
        return settingsrow::read(*db, QLatin1String(column));
    }
};

TEST_F(LocationTest, OkStoresSwitchFolderLongNamesAndExtension)
{
    FormatLocation ascii('C');
    LocationChoice c = ascii.load();
    EXPECT_FALSE(c.selected);
    c.selected = true;
    c.longNames = true;
    c.folder = folder.chopped(1);  // the separator is added
    ASSERT_TRUE(ascii.accept(c));
    EXPECT_TRUE(settings().format('C').on);
    EXPECT_TRUE(settings().format('C').longNames);
    EXPECT_EQ(settings().format('C').folder, folder);
    EXPECT_EQ(stored("h1").toString(), folder);
    EXPECT_EQ(stored("select5").toInt(), 1);

    FormatLocation prn('P');
    c = prn.load();
    EXPECT_EQ(c.extension, "PRN");
    c.extension = "CSV";
    c.openInterest = true;
    ASSERT_TRUE(prn.accept(c));
    EXPECT_EQ(stored("h12").toString(), "CSV");
    EXPECT_EQ(stored("h11").toString(), "1");
    EXPECT_EQ(FormatLocation::extensionIndex("CSV"), 3);
    EXPECT_EQ(FormatLocation::extensionIndex("ASC"), 2);
    EXPECT_EQ(FormatLocation::extensionIndex("XLS"), 0);
    EXPECT_TRUE(msgs.shown.isEmpty());
}

// Opening the window changes no setting: a folder that is gone for a while
// is shown as it is stored. OK refuses it for a format that is on, and
// stores it for one that is off.
TEST_F(LocationTest, AFolderThatCannotBeWrittenInIsKeptButNotAcceptedForAFormatThatIsOn)
{
    const QString gone = path("gone/");
    settings().format('V').folder = gone;
    settingsrow::write(*Database::openDefault(), {{QStringLiteral("h3"), gone}});
    FormatLocation vision('V');
    LocationChoice c = vision.load();
    EXPECT_EQ(c.folder, gone);
    EXPECT_EQ(stored("h3").toString(), gone);
    EXPECT_TRUE(msgs.shown.isEmpty());

    c.selected = true;
    EXPECT_FALSE(vision.accept(c));
    EXPECT_EQ(msgs.texts(), QStringList{"The folder " + gone + " is missing\r\n       Please choose another folder"});
    EXPECT_FALSE(settings().format('V').on);
    EXPECT_EQ(stored("select7").toInt(), 0);

    c.selected = false;
    EXPECT_TRUE(vision.accept(c));
    EXPECT_EQ(stored("h3").toString(), gone);
}

TEST_F(LocationTest, FormatsWithoutAWriterCannotBeSwitchedOn)
{
    settings().format('E').folder = path("gone/");
    EXPECT_FALSE(FormatLocation('E').canSwitchOn());
    EXPECT_FALSE(FormatLocation('A').canSwitchOn());
    EXPECT_TRUE(FormatLocation('M').canSwitchOn());
    EXPECT_TRUE(FormatLocation('K').canSwitchOn());
    EXPECT_EQ(msgs.texts(),
              QStringList({"Unable to write Excel-format",
                           "Unable to write Amibroker-format\r\nAmibroker must be installed on this computer"}));
    // Excel takes a folder it can write in, and refuses one it cannot.
    LocationChoice on;
    on.selected = true;
    on.folder = path("gone/");
    EXPECT_FALSE(FormatLocation('E').accept(on));
    EXPECT_FALSE(settings().format('E').on);
    on.folder = folder;
    EXPECT_TRUE(FormatLocation('E').accept(on));
    EXPECT_TRUE(settings().format('E').on);
    EXPECT_EQ(stored("excel").toString(), folder);
}

TEST_F(LocationTest, MetastockFolderChangeEmptiesTheFolderMap)
{
    {
        auto db = Database::openDefault();
        db->exec("INSERT INTO metastock (ticker, map) VALUES ('ABC', ?)", {folder});
        db->exec("INSERT INTO mappen (map) VALUES (?)", {folder});
    }
    FormatLocation meta('M');
    LocationChoice c = meta.load();
    c.folder = settings().format('M').folder;
    ASSERT_TRUE(meta.accept(c));  // the same folder keeps the map
    auto count = [] { return Database::openDefault()->scalar("SELECT count(*) FROM metastock").toInt(); };
    EXPECT_EQ(count(), 1);
    c.folder = "/";  // off: the root may be stored
    ASSERT_TRUE(meta.accept(c));
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(settings().format('M').folder, "/");

    EXPECT_TRUE(FormatLocation::setMaxSymbols(6000));
    EXPECT_EQ(settings().metaversion, 6000);
    EXPECT_EQ(store::read("Metaversion", ""), "6000");
    EXPECT_FALSE(FormatLocation::setMaxSymbols(17));
}

TEST_F(LocationTest, MaakfolderMessages)
{
    EXPECT_EQ(makeFolder(folder, ""), QString());
    EXPECT_EQ(makeFolder(folder, "new"), folder + "new/");
    EXPECT_EQ(makeFolder(folder, "new"), QString());
    EXPECT_EQ(makeFolder(folder, "a/b"), QString());
    EXPECT_EQ(makeFolder(folder, "../escape"), QString());
    EXPECT_EQ(msgs.texts(), QStringList({"Please enter a foldername", "This folder allready exists",
                                         "Illegal characters in name, please change it",
                                         "Illegal characters in name, please change it"}));
    EXPECT_FALSE(QFileInfo::exists(path("escape")));
}

TEST_F(LocationTest, FormatGuard)
{
    EXPECT_FALSE(formats::formatGuard());
    EXPECT_EQ(msgs.texts(), QStringList{"No Export format selected\r\nSelect a format in the menu Export format"});
    settings().format('I').on = true;
    EXPECT_TRUE(formats::formatGuard());
}
