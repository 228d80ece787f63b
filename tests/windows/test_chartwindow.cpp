#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/quotestore.h"
#include "database/startup.h"
#include "support/changes.h"
#include "support/state.h"
#include "testutil.h"

#include "windows/chartwindow.h"
#include "windows/marketform.h"
#include "windows/reportform.h"
#include "windows/symbolgrid.h"

#include <QApplication>
#include <QCategoryAxis>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdio>

namespace {
QByteArray line(QDate d, double high, double volume = 1000)
{
    return d.toString(QStringLiteral("yyyyMMdd")).toLatin1() + ",10," + QByteArray::number(high) + ",9,10.5," +
           QByteArray::number(volume, 'f', 0) + "\r\n";
}
}  // namespace

class ChartWindowTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
        ascii = path("ascii/");
        QDir().mkpath(ascii);
        settings().format('C').on = true;
        settings().format('C').folder = ascii;
    }
    // Every weekday of `count` days up to 2024-03-15, with a pause of two
    // weeks in the middle; the high of 2024-03-01 is 13.75.
    void writeDays(const QString& file, int count)
    {
        QList<QDate> days;
        for (QDate d(2024, 3, 15); days.size() < count; d = d.addDays(-1)) {
            if (d.dayOfWeek() <= 5 && !(d > QDate(2023, 6, 1) && d < QDate(2023, 6, 16)))
                days.prepend(d);
        }
        QByteArray content;
        for (QDate d : days)
            content += line(d, d == QDate(2024, 3, 1) ? 13.75 : 11);
        writeFile(file, content);
    }
    template <typename T>
    T* child(QWidget& w, const char* name)
    {
        return w.findChild<T*>(QLatin1String(name));
    }
    QString ascii;
};

TEST_F(ChartWindowTest, ShowsTheDaysOfTheFileWithZoomPanRangesAndTheValuesUnderThePointer)
{
    writeDays(ascii + "ABC_AS.asc", 400);
    ChartWindow w("ABC.AS");
    w.show();
    const ChartFrame& f = w.frame();
    ASSERT_EQ(f.days().size(), 400);
    EXPECT_EQ(f.days().back().date, QDate(2024, 3, 15));
    EXPECT_EQ(f.days().front().date.year(), 2022);
    EXPECT_EQ(f.visibleCount(), 400);
    ASSERT_EQ(f.gaps().size(), 1);
    EXPECT_EQ(f.gaps()[0].after, QDate(2023, 6, 16));

    w.pointAt(QDate(2024, 3, 1));
    EXPECT_TRUE(child<QLabel>(w, "lblValues")->text().startsWith("2024-03-01  O 10.00  H 13.75  L 9.00  C 10.50"))
        << qPrintable(child<QLabel>(w, "lblValues")->text());
    EXPECT_TRUE(child<QLabel>(w, "lblSource")->text().contains("400 days"));

    child<QToolButton>(w, "cmdRange1M")->click();
    EXPECT_LE(f.visibleCount(), 23);
    EXPECT_EQ(f.last(), 399);
    child<QToolButton>(w, "cmdRangeAll")->click();
    QTest::keyClick(&w, Qt::Key_Plus);
    EXPECT_EQ(f.visibleCount(), 320);
    EXPECT_EQ(f.last() - f.first(), 319);
    const int before = f.first();
    QTest::keyClick(&w, Qt::Key_Left);
    EXPECT_EQ(f.first(), before - 32);
    QTest::keyClick(&w, Qt::Key_Minus);
    EXPECT_EQ(f.visibleCount(), 400);
}

// The chart opens at a size where both panes are readable and comes back
// at the size it was closed with; the volume axis counts in K or M.
TEST_F(ChartWindowTest, OpensReadableRemembersItsSizeAndShortensVolumes)
{
    writeDays(ascii + "ABC_AS.asc", 60);
    {
        ChartWindow w("ABC.AS");
        EXPECT_GE(w.sizeHint().width(), 800);
        EXPECT_GE(w.sizeHint().height(), 560);
        w.adjustSize();  // as the main window places it
        EXPECT_GE(w.findChild<QWidget*>("chartView")->height(), 300);
        w.show();
        w.resize(1000, 700);
        w.close();
    }
    ChartWindow again("ABC.AS");
    EXPECT_EQ(again.sizeHint(), QSize(1000, 700));
    // Price labels stand only where the prices are (9 to 13.75 here), none
    // beside the volume pane below them.
    auto* view = qobject_cast<QChartView*>(again.findChild<QWidget*>("chartView"));
    ASSERT_NE(view, nullptr);
    QCategoryAxis* prices = nullptr;
    for (QAbstractAxis* axis : view->chart()->axes(Qt::Vertical)) {
        if (axis->objectName() == QStringLiteral("priceAxis"))
            prices = qobject_cast<QCategoryAxis*>(axis);
    }
    ASSERT_NE(prices, nullptr);
    ASSERT_GE(prices->count(), 3);
    EXPECT_LT(prices->min(), 9.0);
    for (const QString& label : prices->categoriesLabels()) {
        EXPECT_GE(prices->endValue(label), 9.0) << qPrintable(label);
        EXPECT_LE(prices->endValue(label), 13.75) << qPrintable(label);
    }

    EXPECT_EQ(ChartWindow::volumeUnit(40315544), qMakePair(1e6, QStringLiteral("%.0f M")));
    EXPECT_EQ(ChartWindow::volumeUnit(2500000), qMakePair(1e6, QStringLiteral("%.1f M")));
    EXPECT_EQ(ChartWindow::volumeUnit(45000), qMakePair(1e3, QStringLiteral("%.0f K")));
    EXPECT_EQ(ChartWindow::volumeUnit(900), qMakePair(1.0, QStringLiteral("%.0f")));
}

TEST_F(ChartWindowTest, OffersEveryFormatThatIsOnAndMarksFlaggedDays)
{
    writeDays(ascii + "ABC.asc", 30);
    const QString kbf = path("kbf/");
    QDir().mkpath(kbf);
    settings().format('K').on = true;
    settings().format('K').folder = kbf;
    {
        auto db = Database::openDefault();
        db->exec("INSERT INTO findings (ticker, datum, kind) VALUES ('abc', '2024-03-14', 'jump')");
    }
    ChartWindow w("ABC");
    auto* formats = child<QComboBox>(w, "cboFormat");
    ASSERT_EQ(formats->count(), 2);
    EXPECT_EQ(formats->itemData(1).toChar(), QLatin1Char('K'));
    EXPECT_TRUE(w.frame().flagged(QDate(2024, 3, 14)));
    w.pointAt(QDate(2024, 3, 14));
    EXPECT_TRUE(child<QLabel>(w, "lblValues")->text().endsWith("(flagged by the check)"));

    formats->setCurrentIndex(1);  // no KBF file yet
    EXPECT_TRUE(w.frame().isEmpty());
    EXPECT_TRUE(child<QLabel>(w, "lblSource")->text().startsWith("No file"));
    EXPECT_FALSE(child<QToolButton>(w, "cmdRange1Y")->isEnabled());
}

// The figure of the issue: a file of 10,000 days opens, drawn, in well
// under a second; printed so a slower machine shows.
TEST_F(ChartWindowTest, OpensTenThousandDaysAtOnce)
{
    writeDays(ascii + "BIG.asc", 10000);
    QElapsedTimer t;
    t.start();
    ChartWindow w("BIG");
    w.resize(900, 560);
    w.show();
    QApplication::processEvents();
    const qint64 ms = t.elapsed();
    std::printf("chart window with 10000 days: %lld ms\n", static_cast<long long>(ms));
    EXPECT_EQ(w.frame().days().size(), 10000);
    EXPECT_EQ(w.frame().bars().size(), ChartFrame::kMaxBars);
}

class StatusColumnTest : public ChartWindowTest {};

// One symbol of the list is up to date, one five trading days behind, one
// has no file: the list grid shows each, read off the event loop's turns.
TEST_F(StatusColumnTest, ListGridShowsLastDaysBehindAndMissing)
{
    {
        clsData d;
        for (const char* t : {"AAA", "BBB", "CCC"}) {
            d.tickercode = QLatin1String(t);
            d.fondsnaam = QLatin1String(t);
            d.MarktNaam = QStringLiteral("X");
            d.fondstype = QStringLiteral("Stock");
            d.go();
            d.addtodatabase2(d.tickercode, d.fondsnaam, d.marketid, d.fondstype);
        }
        d.tickersmislukt({"CCC"});
    }
    Lijstinvoeg on;
    for (const char* t : {"AAA", "BBB", "CCC"})
        on.downloaden(QLatin1String(t), true, lists::column(2));
    writeFile(ascii + "AAA.asc", line(QDate(2024, 3, 15), 11));
    writeFile(ascii + "BBB.asc", line(QDate(2024, 3, 8), 11));
    settings().lijst = 2;

    marketform f;
    SymbolGridModel* grid = f.gridlijst()->grid();
    ASSERT_EQ(grid->rowCount(), 3);
    for (int i = 0; i < 100 && f.readingStatus(); ++i)
        QApplication::processEvents();
    ASSERT_FALSE(f.readingStatus());
    ASSERT_EQ(grid->columnCount(), 6);  // market, symbol, name, type, last ASCII, download
    EXPECT_EQ(grid->headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Last ASCII"));
    auto cell = [&](int row, int col) { return grid->data(grid->index(row, col), Qt::DisplayRole).toString(); };
    EXPECT_EQ(cell(0, 1), QStringLiteral("AAA"));
    EXPECT_EQ(cell(0, 4), QStringLiteral("2024-03-15"));
    EXPECT_EQ(cell(1, 4), QStringLiteral("2024-03-08"));
    EXPECT_EQ(cell(2, 4), QStringLiteral("missing"));
    EXPECT_EQ(cell(2, 5), QStringLiteral("failed"));
    EXPECT_EQ(cell(0, 5), QStringLiteral("ok"));
    EXPECT_EQ(grid->statusOf(1)->formats[0].state, symbolstatus::FileState::Behind);
    EXPECT_FALSE(grid->data(grid->index(0, 4), Qt::BackgroundRole).isValid());
    EXPECT_TRUE(grid->data(grid->index(1, 4), Qt::BackgroundRole).isValid());
    // BBB's file lacks the latest session: its download is not "ok".
    EXPECT_EQ(cell(1, 5), QStringLiteral("old session"));

    // A double-click on a row asks for its chart.
    QString asked;
    QObject::connect(&f, &marketform::chartRequested, [&](const QString& t) { asked = t; });
    emit f.gridlijst()->doubleClicked(grid->index(1, 0));
    EXPECT_EQ(asked, QStringLiteral("BBB"));

    // A click on a status title sorts by it: a missing file first, then the
    // oldest last day, so stale symbols come to the top.
    emit f.gridlijst()->horizontalHeader()->sectionClicked(4);
    EXPECT_EQ(f.gridlijst()->allTickers(), QStringList({"CCC", "BBB", "AAA"}));
    EXPECT_EQ(cell(0, 4), QStringLiteral("missing"));
    EXPECT_EQ(cell(1, 4), QStringLiteral("2024-03-08"));

    // A run writes CCC's file: the open window follows without reopening.
    writeFile(ascii + "CCC.asc", line(QDate(2024, 3, 15), 11));
    announce::filesWritten();
    QElapsedTimer waited;
    waited.start();
    while (cell(0, 4) == QStringLiteral("missing") && waited.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_LT(waited.elapsed(), 1500);
    const QStringList order = f.gridlijst()->allTickers();
    EXPECT_EQ(cell(static_cast<int>(order.indexOf(QStringLiteral("CCC"))), 4), QStringLiteral("2024-03-15"));
}

TEST_F(ChartWindowTest, TheReportOpensTheChartOfTheChosenSymbol)
{
    writeDays(ascii + "IBM.asc", 20);
    {
        clsData d;
        d.tickersmislukt({"IBM"});
    }
    reportform r;
    auto* chart = child<QPushButton>(r, "cmdChart");
    ASSERT_NE(chart, nullptr);
    EXPECT_FALSE(chart->isEnabled());
    auto* failed = child<QTreeWidget>(r, "ListView1");
    failed->setCurrentItem(failed->topLevelItem(0));
    ASSERT_TRUE(chart->isEnabled());
    chart->click();
    auto* w = r.findChild<ChartWindow*>();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->ticker(), QStringLiteral("IBM"));
    EXPECT_EQ(w->frame().days().size(), 20);
}

// At the size list management first opens with, two formats' status
// columns beside the others: every column shows its whole title and the
// list needs no sideways scrolling.
TEST_F(StatusColumnTest, EveryColumnOfTheListShowsAtTheFirstSize)
{
    const QString kbf = path("kbf/");
    QDir().mkpath(kbf);
    settings().format('K').on = true;
    settings().format('K').folder = kbf;
    {
        clsData d;
        for (const char* t : {"ASML.AS", "PHIA.AS", "INGA.AS"}) {
            d.tickercode = QLatin1String(t);
            d.fondsnaam = QStringLiteral("Koninklijke Philips N.V.");
            d.MarktNaam = QStringLiteral("Amsterdam");
            d.fondstype = QStringLiteral("Stock");
            d.go();
            d.addtodatabase2(d.tickercode, d.fondsnaam, d.marketid, d.fondstype);
        }
    }
    Lijstinvoeg on;
    for (const char* t : {"ASML.AS", "PHIA.AS", "INGA.AS"})
        on.downloaden(QLatin1String(t), true, lists::column(2));
    settings().lijst = 2;

    marketform f;
    f.resize(900, 560);
    f.show();
    for (int i = 0; i < 100 && f.readingStatus(); ++i)
        QApplication::processEvents();
    QApplication::processEvents();
    SymbolGrid* list = f.gridlijst();
    ASSERT_EQ(list->grid()->columnCount(), 7);  // market, symbol, name, type, two formats, download
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    QHeaderView* header = list->horizontalHeader();
    for (int c = 0; c < header->count(); ++c)
        EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c))
            << qPrintable(list->grid()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
}

// A symbol whose last stored day is provisional says so beside its outcome.
TEST(SymbolGridStatusTest, AProvisionalLastDayIsShownBesideTheOutcome)
{
    SymbolGridModel grid({listedit::Column::Symbol});
    lists::Symbol a, b;
    a.ticker = QStringLiteral("AAA");
    b.ticker = QStringLiteral("BBB");
    grid.setRows({a, b});
    grid.setStatusFormats({QLatin1Char('C')});
    symbolstatus::SymbolStatus early, final;
    early.ticker = a.ticker;
    early.formats = {{QLatin1Char('C'), QDate(2024, 3, 15), symbolstatus::FileState::Ok}};
    early.provisional = QDate(2024, 3, 15);
    final.ticker = b.ticker;
    final.formats = early.formats;
    grid.setStatus(0, {early, final});
    const QModelIndex marked = grid.index(0, 2), plain = grid.index(1, 2);
    EXPECT_EQ(grid.data(marked, Qt::DisplayRole).toString(), QStringLiteral("ok, provisional 2024-03-15"));
    EXPECT_EQ(grid.data(plain, Qt::DisplayRole).toString(), QStringLiteral("ok"));
    EXPECT_TRUE(grid.data(marked, Qt::ToolTipRole).toString().contains(QStringLiteral("before its exchange closed")));
    EXPECT_TRUE(grid.data(marked, Qt::BackgroundRole).isValid());
    EXPECT_FALSE(grid.data(plain, Qt::BackgroundRole).isValid());
}

// The chart names a provisional last day and marks it under the pointer.
TEST_F(ChartWindowTest, MarksTheDaysTheStoreHoldsAsProvisional)
{
    writeDays(ascii + "ABC.asc", 5);
    {
        QuoteStore store;
        const core::Figure ten = core::Figure::parse(u"10");
        core::Bar b{20240315, ten, ten, ten, ten, ten, {}, 0};
        b.set(core::Bar::Provisional);
        store.put(QStringLiteral("ABC"), b, 1);
    }
    ChartWindow w("ABC");
    w.show();
    EXPECT_TRUE(child<QLabel>(w, "lblSource")->text().endsWith("; the last day is provisional"))
        << qPrintable(child<QLabel>(w, "lblSource")->text());
    w.pointAt(QDate(2024, 3, 15));
    EXPECT_TRUE(child<QLabel>(w, "lblValues")->text().contains("(provisional"));
    w.pointAt(QDate(2024, 3, 14));
    EXPECT_FALSE(child<QLabel>(w, "lblValues")->text().contains("provisional"));
}
