#include "testutil.h"

#include "database/startup.h"
#include "runs/placement.h"
#include "support/state.h"
#include "windows/location.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

class LocationWindowTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        msgs.shown.clear();
    }
    template <typename T>
    T* get(QWidget& w, const char* name)
    {
        T* child = w.findChild<T*>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
};

TEST_F(LocationWindowTest, AsciiLayoutAndOkStoresTheChoice)
{
    const QString folder = path("ascii");
    QDir().mkpath(folder);
    location w(QLatin1Char('C'));
    w.show();
    EXPECT_EQ(get<QLabel>(w, "Label1")->text(), "Export to ASCII-format");
    EXPECT_TRUE(get<QGroupBox>(w, "Frame2")->isVisible());
    EXPECT_FALSE(get<QGroupBox>(w, "Frame2")->isEnabled());  // off: the folder is not used
    EXPECT_FALSE(get<QGroupBox>(w, "Frame3")->isVisible());
    EXPECT_FALSE(get<QGroupBox>(w, "Frame4")->isVisible());
    EXPECT_EQ(get<QCheckBox>(w, "Check1")->text(), "Export long names");
    get<QCheckBox>(w, "Option1")->click();
    EXPECT_TRUE(get<QGroupBox>(w, "Frame2")->isEnabled());
    EXPECT_EQ(get<QLabel>(w, "Label2")->text(), "Choose location of ASCII-files");
    w.setFolder(folder);
    get<QCheckBox>(w, "Check1")->setChecked(true);
    get<QPushButton>(w, "OKButton")->click();
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_TRUE(settings().format('C').on);
    EXPECT_TRUE(settings().format('C').longNames);
    EXPECT_EQ(settings().format('C').folder, folder + "/");
}

TEST_F(LocationWindowTest, ExcelAndAmiBrokerTestsAndPrnShowsItsOptions)
{
    location excel(QLatin1Char('E'));
    excel.show();
    get<QCheckBox>(excel, "Option1")->click();
    EXPECT_TRUE(get<QCheckBox>(excel, "Option1")->isChecked());  // the folder is writable
    EXPECT_TRUE(get<QGroupBox>(excel, "Frame2")->isEnabled());
    EXPECT_FALSE(get<QGroupBox>(excel, "Frame5")->isVisible());
    EXPECT_TRUE(msgs.texts().isEmpty());

    // AmiBroker needs an import command whose program exists.
    location ami(QLatin1Char('A'));
    ami.show();
    EXPECT_TRUE(get<QGroupBox>(ami, "Frame5")->isVisible());
    get<QCheckBox>(ami, "Option1")->click();
    EXPECT_FALSE(get<QCheckBox>(ami, "Option1")->isChecked());
    EXPECT_EQ(msgs.texts(),
              QStringList{"Unable to write Amibroker-format\r\nAmibroker must be installed on this computer"});
    get<QLineEdit>(ami, "Text1")->setText("sh -c true");
    get<QCheckBox>(ami, "Option1")->click();
    EXPECT_TRUE(get<QCheckBox>(ami, "Option1")->isChecked());
    get<QPushButton>(ami, "OKButton")->click();
    EXPECT_TRUE(settings().format('A').on);

    settings().format('P').value("h12") = "CSV";
    settings().format('P').value("h11") = "1";
    location prn(QLatin1Char('P'));
    prn.show();
    EXPECT_TRUE(get<QGroupBox>(prn, "Frame4")->isVisible());
    EXPECT_FALSE(get<QCheckBox>(prn, "Check1")->isVisible());
    EXPECT_EQ(get<QComboBox>(prn, "Combo2")->currentText(), ".CSV");
    EXPECT_TRUE(get<QRadioButton>(prn, "Option8")->isChecked());

    location meta(QLatin1Char('M'));
    meta.show();
    EXPECT_TRUE(get<QGroupBox>(meta, "Frame3")->isVisible());
    EXPECT_TRUE(get<QRadioButton>(meta, "Option3")->isChecked());  // 2000
    get<QRadioButton>(meta, "Option6")->click();
    EXPECT_EQ(settings().metaversion, 255);
}

TEST_F(LocationWindowTest, SymbolModeAnswersOnlyThroughItsButtons)
{
    location w(QLatin1Char('T'));
    QString placed;
    w.setSymbolMode("Xyz", home(), [&](const QString& folder, bool dontAsk) {
        placed = folder;
        return dontAsk;  // refuse the first OK, accept the second
    });
    w.show();
    EXPECT_FALSE(get<QLabel>(w, "Label1")->isVisible());
    EXPECT_FALSE(get<QGroupBox>(w, "Frame1")->isVisible());
    EXPECT_EQ(get<QLabel>(w, "Label2")->text(), "Choose folder of Xyz");
    EXPECT_EQ(get<QCheckBox>(w, "Check1")->text(), "Don't ask again");
    w.close();
    EXPECT_TRUE(w.isVisible());
    get<QPushButton>(w, "OKButton")->click();
    EXPECT_EQ(placed, home());
    EXPECT_TRUE(w.isVisible());
    get<QCheckBox>(w, "Check1")->setChecked(true);
    get<QPushButton>(w, "OKButton")->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.symbolFolder(), home());
}

// Switching a format on or off neither resizes the window nor moves its
// buttons; the folder is a path the user can type, kept as typed.
TEST_F(LocationWindowTest, SwitchingOnKeepsTheLayoutAndTheFolderIsAPath)
{
    const QString folder = path("meta");
    QDir().mkpath(folder);
    location w(QLatin1Char('M'));
    w.show();
    QApplication::processEvents();
    auto* ok = get<QPushButton>(w, "OKButton");
    const QSize before = w.size();
    const QPoint okBefore = ok->mapTo(&w, QPoint(0, 0));
    get<QCheckBox>(w, "Option1")->click();
    QApplication::processEvents();
    EXPECT_EQ(w.size(), before);
    EXPECT_EQ(ok->mapTo(&w, QPoint(0, 0)), okBefore);
    get<QCheckBox>(w, "Option1")->click();
    QApplication::processEvents();
    EXPECT_EQ(w.size(), before);

    EXPECT_EQ(get<QPushButton>(w, "CommandBrowse")->text(), "&Browse...");
    EXPECT_EQ(get<QPushButton>(w, "Command1")->text(), "&New");
    auto* path = get<QLineEdit>(w, "Dir1");
    get<QCheckBox>(w, "Option1")->click();
    path->setText(folder);
    EXPECT_EQ(w.chosenFolder(), folder + "/");
    // The root is still refused for MetaStock, nothing stored.
    path->setText("/");
    ok->click();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(msgs.texts().value(0),
              "It is not possible to choos the root-folder\r\n       Please choose another folder");
    EXPECT_FALSE(settings().format('M').on);
    path->setText(folder);
    ok->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(settings().format('M').on);
    EXPECT_EQ(settings().format('M').folder, folder + "/");
}

// The lasting choice to place new MetaStock symbols without asking is shown
// with the MetaStock format only, and kept by OK until switched off again.
TEST_F(LocationWindowTest, MetastockOffersToPlaceNewSymbolsAutomatically)
{
    const QString msRoot = path("ms");
    QDir().mkpath(msRoot);
    {
        location ascii(QLatin1Char('C'));
        ascii.show();
        EXPECT_FALSE(get<QCheckBox>(ascii, "CheckAutoPlace")->isVisible());
    }
    auto accept = [&](bool automatic) {
        location w(QLatin1Char('M'));
        w.show();
        auto* box = get<QCheckBox>(w, "CheckAutoPlace");
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(box->isChecked(), !automatic);
        box->setChecked(automatic);
        w.setFolder(msRoot);
        get<QPushButton>(w, "OKButton")->click();
    };
    EXPECT_FALSE(placement::automatic());
    accept(true);
    EXPECT_TRUE(placement::automatic());
    accept(false);
    EXPECT_FALSE(placement::automatic());
}

// A folder the format cannot write in is refused for a format that is on:
// no quote goes anywhere the user did not choose.
TEST_F(LocationWindowTest, OkRefusesAFolderThatIsGone)
{
    location w(QLatin1Char('K'));
    w.show();
    get<QCheckBox>(w, "Option1")->click();
    w.setFolder(path("gone"));
    get<QPushButton>(w, "OKButton")->click();
    EXPECT_EQ(msgs.texts(),
              QStringList{"The folder " + path("gone/") + " is missing\r\n       Please choose another folder"});
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(settings().format('K').on);
}
