#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/startup.h"
#include "fakeservice.h"
#include "runs/symbolsearch.h"
#include "support/state.h"
#include "support/yield.h"
#include "testutil.h"
#include "windows/browser.h"
#include "windows/marketform.h"
#include "windows/symbolgrid.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>

// Clicks `button` of the search window and waits for the search it starts
// to be answered, as the window does.
static void clickAndWaitForSearch(browser& b, QPushButton* button)
{
    bool done = false;
    QObject scope;
    QObject::connect(&b.search(), &SymbolSearch::searched, &scope, [&done] { done = true; });
    button->click();
    waitUntil([&done] { return done; }, 60000);
}

class ListWindowTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        clsData d;
        auto add = [&](const char* ticker, const char* name, const char* market) {
            d.tickercode = QLatin1String(ticker);
            d.fondsnaam = QLatin1String(name);
            d.MarktNaam = QLatin1String(market);
            d.fondstype = QStringLiteral("Stock");
            d.go();
            d.addtodatabase2(d.tickercode, d.fondsnaam, d.marketid, d.fondstype);
        };
        add("^AEX", "AEX index", "");
        add("^DJI", "Dow", "");
        add("ASML.AS", "ASML", "");
        add("INGA.AS", "ING Groep", "");
        add("ZZ.S", "Alpha", "");
    }

    template <typename T>
    T* child(QWidget& w, const char* name)
    {
        return w.findChild<T*>(QLatin1String(name));
    }
    void chooseMarket(marketform& f, const QString& name)
    {
        auto* combo = child<QComboBox>(f, "Combobox1");
        combo->setCurrentIndex(combo->findText(name));
    }
};

TEST_F(ListWindowTest, ButtonsFillAndEmptyTheList)
{
    settings().lijst = 3;
    marketform f;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("List management"));
    EXPECT_EQ(child<QComboBox>(f, "Combobox2")->currentIndex(), 2);
    chooseMarket(f, QStringLiteral("Amsterdam"));
    EXPECT_EQ(child<QLabel>(f, "lblSymbolmarket")->text(), QStringLiteral("2"));
    EXPECT_EQ(f.gridfondsen()->selectedTickers(), QStringList({"ASML.AS"}));
    EXPECT_EQ(child<QPushButton>(f, "Command1_1")->toolTip(), QStringLiteral("Add all to list 3"));
    EXPECT_TRUE(child<QPushButton>(f, "Command1_2")->toolTip().isEmpty());

    child<QPushButton>(f, "Command1_0")->click();
    EXPECT_EQ(f.gridlijst()->allTickers(), QStringList({"ASML.AS"}));
    child<QPushButton>(f, "Command1_1")->click();
    EXPECT_EQ(child<QLabel>(f, "lblsymbollist")->text(), QStringLiteral("2"));
    EXPECT_EQ(child<QPushButton>(f, "Command1_3")->toolTip(), QStringLiteral("Remove Selected from list 3"));

    // A double click on a title sorts by that column; the title row and the
    // cells have their own tool tips.
    emit f.gridlijst()->horizontalHeader()->sectionDoubleClicked(2);
    EXPECT_EQ(f.gridlijst()->allTickers(), QStringList({"ASML.AS", "INGA.AS"}));
    chooseMarket(f, QStringLiteral("Zurich"));
    f.gridfondsen()->selectRow(0);
    child<QPushButton>(f, "Command1_0")->click();
    emit f.gridlijst()->horizontalHeader()->sectionDoubleClicked(2);
    EXPECT_EQ(f.gridlijst()->allTickers(), QStringList({"ZZ.S", "ASML.AS", "INGA.AS"}));
    EXPECT_EQ(f.gridlijst()->model()->headerData(0, Qt::Horizontal, Qt::ToolTipRole).toString(),
              QStringLiteral("Doubleclick to sort column"));
    EXPECT_EQ(f.gridlijst()->model()->index(0, 0).data(Qt::ToolTipRole).toString(),
              QStringLiteral("Use SHIFT to select multiple Symbols"));

    // Remove selected, then remove all answered No and Yes.
    f.gridlijst()->selectRow(0);
    child<QPushButton>(f, "Command1_3")->click();
    EXPECT_EQ(f.gridlijst()->allTickers(), QStringList({"ASML.AS", "INGA.AS"}));
    msgs.queue(Answer::No);
    child<QPushButton>(f, "Command1_2")->click();
    EXPECT_EQ(f.gridlijst()->allTickers().size(), 2);
    child<QPushButton>(f, "Command1_2")->click();
    EXPECT_TRUE(f.gridlijst()->allTickers().isEmpty());

    // Choosing another list makes it the current one.
    child<QComboBox>(f, "Combobox2")->setCurrentIndex(6);
    EXPECT_EQ(settings().lijst, 7);
    EXPECT_EQ(f.currentList(), 7);
}

TEST_F(ListWindowTest, ViewComponentsLayout)
{
    marketform f(true);
    f.show();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("View components"));
    auto* markets = child<QComboBox>(f, "Combobox1");
    EXPECT_EQ(markets->itemText(markets->count() - 1), QStringLiteral("Indices"));
    EXPECT_EQ(markets->currentText(), QStringLiteral("Indices"));
    for (const char* hidden :
         {"Combobox2", "gridlijst", "Label1", "Label4", "lblsymbollist", "Command1_0", "Command1_4"})
        EXPECT_FALSE(f.findChild<QWidget*>(QLatin1String(hidden))->isVisible()) << hidden;
    auto* view = child<QPushButton>(f, "commandview");
    ASSERT_TRUE(view->isEnabled());
    QSignalSpy spy(&f, &marketform::viewComponentsRequested);
    view->click();
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].toString(), QStringLiteral("^AEX"));
}

TEST_F(ListWindowTest, SearchWindow)
{
    FakeQuoteService fake;
    fake.useForAllHosts();
    QList<QByteArray> all;
    for (int i = 0; i < 60; ++i) {
        const QByteArray s = "T" + QByteArray::number(i);
        fake.addQuote(FakeQuoteService::quote(s, "6/4/2004", "1", "10", "Tee " + s, "NYSE"));
        all << s;
    }
    fake.setLookup("tee", all);

    browser b;
    b.show();
    child<QPushButton>(b, "Command1")->click();
    EXPECT_EQ(msgs.texts(), QStringList{QStringLiteral("Please enter Name or Symbol")});

    child<QLineEdit>(b, "Text1")->setText(QStringLiteral("tee"));
    clickAndWaitForSearch(b, child<QPushButton>(b, "Command1"));
    QTableWidget* grid = b.resultGrid();
    ASSERT_EQ(grid->rowCount(), 50);
    EXPECT_EQ(grid->item(1, 1)->text(), QStringLiteral("Tee T1"));
    EXPECT_EQ(grid->item(1, 3)->text(), QStringLiteral("Stocks"));
    EXPECT_EQ(grid->item(1, 4)->text(), QStringLiteral("No"));
    EXPECT_EQ(child<QGroupBox>(b, "Frame2")->title(), QStringLiteral("Showing 1 - 50 from 60 Results"));
    EXPECT_TRUE(child<QPushButton>(b, "CommandNext50")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(b, "CommandPrevious50")->isEnabled());

    // Rows chosen upwards count as well as downwards.
    grid->setRangeSelected(QTableWidgetSelectionRange(2, 0, 3, 4), true);
    EXPECT_EQ(b.addSelected(), 2);
    EXPECT_EQ(msgs.texts().last(), QStringLiteral("2 Symbols added to Database"));
    EXPECT_EQ(grid->item(3, 4)->text(), QStringLiteral("Yes"));

    clickAndWaitForSearch(b, child<QPushButton>(b, "CommandNext50"));
    EXPECT_EQ(grid->rowCount(), 10);
    EXPECT_TRUE(child<QPushButton>(b, "CommandPrevious50")->isEnabled());

    // The local database: other captions, the other grid.
    child<QRadioButton>(b, "Option4")->setChecked(true);
    EXPECT_EQ(child<QRadioButton>(b, "Option1")->text(), QStringLiteral("Search Name"));
    EXPECT_FALSE(child<QRadioButton>(b, "option5")->isVisible());
    child<QRadioButton>(b, "Option1")->setChecked(true);
    child<QPushButton>(b, "Command1")->click();
    EXPECT_FALSE(grid->isVisible());
    EXPECT_EQ(b.localGrid()->allTickers(), QStringList({"T2", "T3"}));
    b.localGrid()->selectAll();
    QSignalSpy changed(&b, &browser::listsChanged);
    b.lijsttoevoegen(9);
    EXPECT_EQ(msgs.texts().last(), QStringLiteral("2 Symbols added to list 9"));
    EXPECT_EQ(changed.size(), 1);
}
