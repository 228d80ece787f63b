#include "testutil.h"

#include "app/hoofdform.h"
#include "app/popupmenus.h"
#include "database/clsdata.h"
#include "database/lists.h"
#include "database/startup.h"
#include "support/state.h"
#include "windows/chartwindow.h"
#include "windows/marketform.h"
#include "windows/symbolgrid.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

class ListMenusTest : public QuotarisTest {};

TEST_F(ListMenusTest, FileMenuOpensImportExportAndNames)
{
    runStartup();
    Hoofdform w;
    w.show();
    for (const char* item : {"menuImport", "menuExport"}) {
        QAction* a = w.action(QLatin1String(item));
        ASSERT_TRUE(a->isEnabled()) << item;
        QString title;
        QTimer::singleShot(0, [&title] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            box->findChild<QPushButton*>(QStringLiteral("Command3"))->click();
        });
        a->trigger();  // modal: returns when the window is closed
        EXPECT_EQ(title, QLatin1String(item) == QLatin1String("menuImport") ? QStringLiteral("Import Symbols")
                                                                            : QStringLiteral("Export List"));
    }

    w.action(QStringLiteral("menuNames"))->trigger();
    const auto children = w.mdiArea()->subWindowList();
    ASSERT_EQ(children.size(), 1);
    EXPECT_EQ(children[0]->widget()->windowTitle(), QStringLiteral("List names"));
    // Cancel closes the window and its frame.
    QPointer<QMdiSubWindow> frame = children[0];
    frame->widget()->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame.isNull());
    EXPECT_TRUE(w.mdiArea()->subWindowList().isEmpty());
}

// The list grid's right-click item opens the chart of the first chosen
// symbol in the work area; without a choice it is withdrawn.
TEST_F(ListMenusTest, ListMenuShowsTheChartOfTheChosenSymbol)
{
    runStartup();
    {
        clsData d;
        d.tickercode = QStringLiteral("ABC");
        d.fondsnaam = QStringLiteral("Abc");
        d.MarktNaam = QStringLiteral("X");
        d.fondstype = QStringLiteral("Stock");
        d.go();
        d.addtodatabase2(d.tickercode, d.fondsnaam, d.marketid, d.fondstype);
    }
    Lijstinvoeg().downloaden(QStringLiteral("ABC"), true, lists::column(1));
    settings().lijst = 1;
    Hoofdform w;
    w.show();
    marketform* form = w.openListManagement(false);
    form->gridlijst()->clearSelection();
    QAction* chart = w.popups()->prepareListMenu(form)->findChild<QAction*>(QStringLiteral("menuChart"));
    ASSERT_NE(chart, nullptr);
    EXPECT_FALSE(chart->isEnabled());
    form->gridlijst()->selectRow(0);
    w.popups()->prepareListMenu(form);
    ASSERT_TRUE(chart->isEnabled());
    EXPECT_EQ(chart->text(), QStringLiteral("Show &chart of ABC"));
    chart->trigger();
    auto* window = qobject_cast<ChartWindow*>(w.mdiArea()->activeSubWindow()->widget());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Chart - ABC"));
}
