// What a user expects of the windows beyond their Parts: Cancel and Close,
// buttons withdrawn when they cannot act, one contiguous block selected in
// the grids, and help that always shows something.
#include "testutil.h"

#include "database/clsdata.h"
#include "database/startup.h"
#include "runs/runsummary.h"
#include "support/help.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "windows/frmoptions.h"
#include "windows/helpviewer.h"
#include "windows/historyreportform.h"
#include "windows/marketform.h"
#include "windows/notify.h"
#include "windows/reportform.h"
#include "windows/symbolgrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <algorithm>

class WindowChromeTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
    }

    template <typename T>
    static T* child(QWidget& w, const char* name)
    {
        T* c = w.findChild<T*>(QLatin1String(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
};

TEST_F(WindowChromeTest, OptionsCancelPutsBackWhatWasSet)
{
    settings().teller2 = 30;
    settings().reject = false;
    settings().isdelay = true;
    {
        frmOptions w;
        child<QComboBox>(w, "Combo1")->setCurrentIndex(4);
        child<QCheckBox>(w, "Check6")->setChecked(true);
        msgs.queue(Answer::Yes);  // switching the delay off is asked
        child<QCheckBox>(w, "Check3")->setChecked(false);
        EXPECT_EQ(settings().teller2, 5);
        EXPECT_FALSE(settings().isdelay);
        child<QPushButton>(w, "CommandCancel")->click();
    }
    EXPECT_EQ(settings().teller2, 30);
    EXPECT_FALSE(settings().reject);
    EXPECT_TRUE(settings().isdelay);
    EXPECT_EQ(store::read(QStringLiteral("Isdelay"), QString()).toLower(), QStringLiteral("true"));

    frmOptions again;
    child<QComboBox>(again, "Combo1")->setCurrentIndex(9);
    child<QPushButton>(again, "Command1")->click();
    EXPECT_EQ(settings().teller2, 10);
}

TEST_F(WindowChromeTest, ReportsCloseAndRemoveIsWithdrawnOnAnEmptyList)
{
    reportform empty;
    auto* remove = child<QPushButton>(empty, "Command1");
    EXPECT_FALSE(remove->isEnabled());
    empty.show();
    child<QDialogButtonBox>(empty, "CommandClose")->button(QDialogButtonBox::Close)->click();
    EXPECT_FALSE(empty.isVisible());
    EXPECT_EQ(empty.result(), QDialog::Rejected);

    {
        clsData data;
        data.addtodatabase2(QStringLiteral("GONE"), QStringLiteral("Gone Inc"), data.markt0(), QStringLiteral("Stock"));
        data.voegvervallentoe(QStringLiteral("GONE"));
    }
    reportform filled;
    EXPECT_TRUE(child<QPushButton>(filled, "Command1")->isEnabled());
    msgs.queue(Answer::Yes);
    child<QPushButton>(filled, "Command1")->click();
    EXPECT_FALSE(child<QPushButton>(filled, "Command1")->isEnabled());

    historyreportform history;
    history.show();
    EXPECT_FALSE(child<QPushButton>(history, "Command1")->isEnabled());  // nothing missing
    child<QDialogButtonBox>(history, "CommandClose")->button(QDialogButtonBox::Close)->click();
    EXPECT_FALSE(history.isVisible());
    EXPECT_FALSE(state().historyRetry);
}

TEST_F(WindowChromeTest, ListButtonsNeedSomethingToActOnAndASelectionIsOneBlock)
{
    {
        clsData d;
        for (const char* t : {"A1.AS", "A2.AS", "A3.AS", "A4.AS"}) {
            d.tickercode = QLatin1String(t);
            d.fondsnaam = QLatin1String(t);
            d.MarktNaam.clear();
            d.fondstype = QStringLiteral("Stock");
            d.go();
            d.addtodatabase2(d.tickercode, d.fondsnaam, d.marketid, d.fondstype);
        }
    }
    marketform f;
    f.show();
    // The first market is chosen at once, so its pane is never blank; the
    // list is empty.
    auto* markets = child<QComboBox>(f, "Combobox1");
    EXPECT_EQ(markets->currentIndex(), 0);
    EXPECT_TRUE(child<QPushButton>(f, "Command1_1")->isEnabled());
    for (const char* name : {"Command1_2", "Command1_3"})
        EXPECT_FALSE(child<QPushButton>(f, name)->isEnabled()) << name;
    markets->setCurrentIndex(markets->findText(QStringLiteral("Amsterdam")));
    for (const char* name : {"Command1_0", "Command1_1", "Command1_4"})
        EXPECT_TRUE(child<QPushButton>(f, name)->isEnabled()) << name;
    EXPECT_FALSE(child<QPushButton>(f, "Command1_2")->isEnabled());

    // Control-click on the first and the last row never leaves two rows
    // shown selected with unselected rows between them: what the grid shows
    // selected is the block the operations take.
    SymbolGrid* grid = f.gridfondsen();
    EXPECT_EQ(grid->selectionMode(), QAbstractItemView::ContiguousSelection);
    auto rowCentre = [grid](int row) { return grid->visualRect(grid->model()->index(row, 0)).center(); };
    auto shownSelected = [grid] {
        QList<int> rows;
        for (const QModelIndex& i : grid->selectionModel()->selectedRows())
            rows << i.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(3));
    EXPECT_EQ(shownSelected(), QList<int>({0, 1, 2, 3}));
    EXPECT_EQ(grid->selectedTickers(), QStringList({"A1.AS", "A2.AS", "A3.AS", "A4.AS"}));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(2));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowCentre(3));
    EXPECT_EQ(shownSelected(), QList<int>({2, 3}));

    child<QPushButton>(f, "Command1_0")->click();
    EXPECT_TRUE(child<QPushButton>(f, "Command1_2")->isEnabled());
    EXPECT_EQ(f.gridlijst()->allTickers(), QStringList({"A3.AS", "A4.AS"}));
}

TEST_F(WindowChromeTest, WithoutABrowserHelpOpensInTheProgramsOwnViewer)
{
    help::setInstalledFolderOverride(QStringLiteral(QUOTARIS_SOURCE_DIR "/share/help"));
    QStringList asked;
    desktop::setOpener(HelpViewer::withFallback([&asked](const QUrl& url) {
        asked << url.toString();
        return false;  // no browser could be started
    }));
    EXPECT_TRUE(help::ShowHelp(QStringLiteral("Ticker.htm")));
    ASSERT_EQ(asked.size(), 1);
    HelpViewer* viewer = HelpViewer::instance();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->browser()->source().toLocalFile().endsWith(QStringLiteral("Ticker.htm")));
    EXPECT_FALSE(viewer->browser()->toPlainText().isEmpty());

    // A link of the page opens inside the viewer; Back returns.
    viewer->browser()->setSource(help::pageUrl(QStringLiteral("FAQ_Overview.htm")));
    EXPECT_TRUE(viewer->browser()->source().toLocalFile().endsWith(QStringLiteral("FAQ_Overview.htm")));
    child<QPushButton>(*viewer, "helpBack")->click();
    EXPECT_TRUE(viewer->browser()->source().toLocalFile().endsWith(QStringLiteral("Ticker.htm")));

    // A mail address is not a page: it is not the viewer's.
    EXPECT_FALSE(desktop::openUrl(QUrl(QStringLiteral("mailto:someone@example.org"))));
    viewer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    desktop::setOpener({});
    help::setInstalledFolderOverride(QString());
}

namespace {
struct FinishedRun : RunSummary {
    bool serviceFailed() const override { return false; }
    QString downloadErrors() const override { return {}; }
};
}  // namespace

TEST_F(WindowChromeTest, AScheduledRunIsAnnouncedOnTheDesktop)
{
    FinishedRun run;
    run.symbols = 3;
    run.quotesReceived = 3;
    run.written[QLatin1Char('C')] = 3;
    run.symbolsWritten = 3;
    EXPECT_EQ(notify::summaryOf(2, run), QStringLiteral("Quotaris: list 2 downloaded"));
    EXPECT_EQ(notify::bodyOf(run), QStringLiteral("Download finished: 3 of 3 written\n3 symbols, 3 quotes written"));
    const QDBusMessage call = notify::message(QStringLiteral("S"), QStringLiteral("B"));
    EXPECT_EQ(call.service(), QStringLiteral("org.freedesktop.Notifications"));
    EXPECT_EQ(call.member(), QStringLiteral("Notify"));
    const QList<QVariant> args = call.arguments();
    ASSERT_EQ(args.size(), 8);
    EXPECT_EQ(args[0].toString(), QStringLiteral("Quotaris"));
    EXPECT_EQ(args[3].toString(), QStringLiteral("S"));
    EXPECT_EQ(args[4].toString(), QStringLiteral("B"));
    EXPECT_EQ(args[7].toInt(), -1);

    FinishedRun stopped = run;
    stopped.aborted = true;
    EXPECT_EQ(notify::summaryOf(2, stopped), QStringLiteral("Quotaris: download of list 2 stopped"));
    FinishedRun nothing;
    nothing.nothingToDo = true;
    EXPECT_FALSE(notify::scheduledRunFinished(1, nothing));
    // Without a session bus nothing is sent, silently.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        EXPECT_FALSE(notify::scheduledRunFinished(2, run));
    }
    EXPECT_TRUE(msgs.shown.isEmpty());
}
