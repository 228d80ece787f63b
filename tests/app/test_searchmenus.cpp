#include "app/hoofdform.h"
#include "app/popupmenus.h"
#include "database/clsdata.h"
#include "database/listedit.h"
#include "database/startup.h"
#include "fakeservice.h"
#include "runs/symbolsearch.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/yield.h"
#include "testutil.h"
#include "windows/browser.h"
#include "windows/marketform.h"
#include "windows/symbolgrid.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTableWidget>

class PopupMenuTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        clsData d;
        const int m = d.markt0();
        for (const char* t : {"A&B", "CC", "DD"})
            d.addtodatabase2(QLatin1String(t), QLatin1String(t), m, QStringLiteral("Stock"));
        listedit::addSelected({"A&B", "CC", "DD"}, 2);
        settings().lijst = 2;
    }

    QStringList captions(const QString& windowType)
    {
        QStringList c;
        for (QMdiSubWindow* f : w.mdiArea()->subWindowList()) {
            if (f->widget()->inherits(windowType.toLatin1().constData()))
                c << f->widget()->windowTitle();
        }
        return c;
    }
    QAction* item(int menu, const char* name)
    {
        return w.popups()->menu(menu)->findChild<QAction*>(QLatin1String(name));
    }

    Hoofdform w;
};

TEST_F(PopupMenuTest, ListGridMenuFollowsTheSelection)
{
    for (const char* name : {"menustocklistopen", "menuTickersearch", "menuView", "toolListManagement", "toolSearch"})
        EXPECT_TRUE(w.action(QLatin1String(name))->isEnabled()) << name;
    w.action(QStringLiteral("menustocklistopen"))->trigger();
    w.action(QStringLiteral("menustocklistopen"))->trigger();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(captions(QStringLiteral("marketform")), QStringList{QStringLiteral("List management")});
    auto* form = qobject_cast<marketform*>(w.mdiArea()->subWindowList().last()->widget());

    form->gridlijst()->selectRow(0);
    w.popups()->prepareListMenu(form);
    QMenu* copySelected = w.popups()->menu(2)->findChild<QMenu*>(QStringLiteral("menucopyselected"));
    EXPECT_EQ(copySelected->title(), QStringLiteral("Copy A&&B to"));
    EXPECT_EQ(item(2, "menuRemoveselected")->text(), QStringLiteral("Remove A&&B from list"));
    for (const char* sub :
         {"menucopyselectedtolist", "menucopyalltolist", "menumoveselectedtolist", "menumovealltolist"}) {
        for (int n = 1; n <= 16; ++n)
            EXPECT_EQ(item(2, (QByteArray(sub) + QByteArray::number(n)).constData())->isEnabled(), n != 2) << sub << n;
    }

    form->gridlijst()->selectAll();
    w.popups()->prepareListMenu(form);
    EXPECT_EQ(copySelected->title(), QStringLiteral("Copy selected to"));
    EXPECT_EQ(item(2, "menuRemoveselected")->text(), QStringLiteral("Remove selected from list"));
    item(2, "menucopyalltolist4")->trigger();
    form->gridlijst()->selectRow(1);
    item(2, "menumoveselectedtolist5")->trigger();
    EXPECT_EQ(form->gridlijst()->allTickers(), QStringList({"A&B", "DD"}));
    clsData d;
    EXPECT_EQ(lists::symbolCount(d.db(), 4), 3);
    EXPECT_EQ(lists::symbolCount(d.db(), 5), 1);

    // The market grid's menu.
    auto* combo = form->findChild<QComboBox*>(QStringLiteral("Combobox1"));
    combo->setCurrentIndex(combo->findText(QStringLiteral("Unknown")));
    form->gridfondsen()->selectRow(1);
    w.popups()->prepareMarketMenu(form);
    EXPECT_EQ(item(1, "menuaddselected")->text(), QStringLiteral("Add CC to list 2"));
    EXPECT_EQ(item(1, "menuRemovefromdatabase")->text(), QStringLiteral("Remove CC from database"));
    EXPECT_FALSE(item(1, "menuviewcomponents")->isEnabled());
    form->gridfondsen()->selectAll();
    w.popups()->prepareMarketMenu(form);
    EXPECT_EQ(item(1, "menuaddselected")->text(), QStringLiteral("Add Selected to list"));
    msgs.queue(Answer::No);
    item(1, "menuRemovefromdatabase")->trigger();
    EXPECT_EQ(msgs.texts().last(), QStringLiteral("3 Symbols will be removed from database\r\n Are you sure?"));
    EXPECT_EQ(form->gridfondsen()->allTickers().size(), 3);
}

TEST_F(PopupMenuTest, ComponentsOpenInOneSearchWindow)
{
    FakeQuoteService fake;
    fake.useForAllHosts();
    fake.addQuote(FakeQuoteService::quote("M1", "6/4/2004", "1", "10", "Member one", "NYSE"));
    fake.setMembers("^IDX", {"M1", "DD"});

    w.action(QStringLiteral("menuTickersearch"))->trigger();
    w.action(QStringLiteral("menuView"))->trigger();
    // Each window shows its members once the search has been answered.
    const auto view = [this] {
        browser* shown = w.viewComponents(QStringLiteral("^IDX"));
        bool searched = false;
        QObject scope;
        QObject::connect(&shown->search(), &SymbolSearch::searched, &scope, [&searched] { searched = true; });
        waitUntil([&searched] { return searched; }, 60000);
        return shown;
    };
    view();
    browser* b = view();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(captions(QStringLiteral("browser")), QStringList{QStringLiteral("^IDX - Components")});
    EXPECT_EQ(captions(QStringLiteral("marketform")), QStringList{QStringLiteral("View components")});
    ASSERT_EQ(b->resultGrid()->rowCount(), 2);
    EXPECT_EQ(b->search().hits[1].inDatabase, QStringLiteral("Yes"));
    EXPECT_EQ(b->search().hits[1].type, QStringLiteral("Stock"));

    // "List n" of the result menu adds what is new, then puts all on the list.
    b->resultGrid()->selectAll();
    w.popups()->prepareBrowserMenu(b, 3);
    EXPECT_EQ(w.popups()->menu(3)->findChild<QMenu*>(QStringLiteral("menubrowseradd"))->title(),
              QStringLiteral("&Add Selected to"));
    item(3, "menuBrowserlist18")->trigger();
    EXPECT_EQ(msgs.texts().last(), QStringLiteral("1 Symbols added to Database\n2 Symbols added to list 8"));
    b->resultGrid()->selectRow(0);
    w.popups()->prepareBrowserMenu(b, 3);
    EXPECT_EQ(w.popups()->menu(3)->findChild<QMenu*>(QStringLiteral("menubrowseradd"))->title(),
              QStringLiteral("Add M1 to"));
}

class SearchCommandTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        store::write(QStringLiteral("QuoteHost"), fake.host());
        store::sync();
        for (int i = 0; i < 55; ++i) {
            const QByteArray s = "Q" + QByteArray::number(i);
            fake.addQuote(
                FakeQuoteService::quote(s, "6/4/2004", "1", "10", "Q, number " + QByteArray::number(i), "NYSE"));
            all << s;
        }
    }
    FakeQuoteService fake;
    QList<QByteArray> all;
};

TEST_F(SearchCommandTest, SearchMembersAndAdd)
{
    fake.setLookup("q co", all);
    ProgramRun r =
        runQuotaris({QStringLiteral("search"), QStringLiteral("q co"), QStringLiteral("--from"), QStringLiteral("51"),
                     QStringLiteral("--add"), QStringLiteral("--list"), QStringLiteral("3")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    QStringList lines = r.lines();
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[0], QStringLiteral("Q50,Q, number 50,NYSE"));
    EXPECT_EQ(lines[5], QStringLiteral("results 51-55 of 55"));
    EXPECT_EQ(lines[6], QStringLiteral("5 Symbols added to Database"));
    EXPECT_EQ(lines[7], QStringLiteral("5 Symbols added to list 3"));

    r = runQuotaris({QStringLiteral("symbols"), QStringLiteral("--list"), QStringLiteral("3"), QStringLiteral("--sort"),
                     QStringLiteral("name")});
    EXPECT_EQ(r.lines().first(), QStringLiteral("Q50,Q, number 50,Stocks,NYSE"));

    r = runQuotaris({QStringLiteral("search"), QStringLiteral("--symbol"), QStringLiteral("NOPE")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.lines(), QStringList({QStringLiteral("NOPE Returned No Results"),
                                      QStringLiteral("the quote service answered: no match")}));

    fake.setMembers("^Q", all);
    r = runQuotaris({QStringLiteral("members"), QStringLiteral("^Q"), QStringLiteral("--from"), QStringLiteral("51"),
                     QStringLiteral("--add")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.lines().mid(5), QStringList({"results 51-55", "0 Tickers added to Database"}));

    r = runQuotaris({QStringLiteral("markets")});
    EXPECT_EQ(r.lines(), QStringList({"NYSE\t5"}));

    fake.setFault(FakeQuoteService::Fault::CloseBeforeAnswer);
    r = runQuotaris({QStringLiteral("search"), QStringLiteral("q")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("No answer from the quote service")));
}

TEST_F(SearchCommandTest, ListCommands)
{
    const QString in = path(QStringLiteral("in.txt"));
    writeFile(in, "AA\nBB\nCC\n");
    ASSERT_EQ(runQuotaris({QStringLiteral("import"), QStringLiteral("--list"), QStringLiteral("2"), in}).status, 0);
    auto run = [](const QString& line) { return runQuotaris(line.split(QLatin1Char(' '))); };

    ProgramRun r = run(QStringLiteral("list copy 2 5 AA NOPE"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("not in the database: NOPE")));
    EXPECT_EQ(r.lines(), QStringList({"list 2 now holds 3 symbols", "list 5 now holds 1 symbols"}));
    r = run(QStringLiteral("list move 2 5 --all"));
    EXPECT_EQ(r.lines(), QStringList({"list 2 now holds 0 symbols", "list 5 now holds 3 symbols"}));
    EXPECT_EQ(run(QStringLiteral("list move 5 5 --all")).status, 2);
    EXPECT_EQ(run(QStringLiteral("list add 17 AA")).status, 2);
    EXPECT_EQ(run(QStringLiteral("list remove 5 BB")).lines(), QStringList{"list 5 now holds 2 symbols"});
    EXPECT_EQ(run(QStringLiteral("list add-market 7 unknown")).lines(), QStringList{"list 7 now holds 3 symbols"});
    r = run(QStringLiteral("remove-symbol CC"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.lines(), QStringList{"removed: CC"});
    EXPECT_EQ(run(QStringLiteral("symbols --list 7 --sort symbol")).lines(),
              QStringList({"AA,AA,Unknown,Unknown", "BB,BB,Unknown,Unknown"}));
    EXPECT_EQ(run(QStringLiteral("list remove 7 --all")).lines(), QStringList{"list 7 now holds 0 symbols"});
}
