#include "testutil.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/quotestore.h"
#include "database/startup.h"
#include "runs/currentrun.h"
#include "support/settingsstore.h"
#include "windows/reportform.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace {
QStringList column(QTreeWidget* view, int c)
{
    QStringList t;
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        t << view->topLevelItem(i)->text(c);
    return t;
}

QStringList headers(QTreeWidget* view)
{
    QStringList t;
    for (int i = 0; i < view->columnCount(); ++i)
        t << view->headerItem()->text(i);
    return t;
}
}  // namespace

class ReportFormTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
    }
    template <typename T>
    T* child(QWidget& w, const QString& name)
    {
        T* c = w.findChild<T*>(name);
        EXPECT_NE(c, nullptr) << qPrintable(name);
        return c;
    }
};

TEST_F(ReportFormTest, ShowsTheFourListsWithTheirExplanations)
{
    {
        clsData data;
        data.tickersmislukt({"MSFT", "IBM"});
        data.voegvervallentoe("GONE");
        data.changeticker("OLD", "NEW");
        data.voegverWorpentoe("QUIET");
    }
    reportform w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Current Download Report"));
    const char* columns[] = {"", "Symbol", "Symbol", "Old Symbol,New Symbol", "Symbol"};
    for (int n = 1; n <= 4; ++n) {
        auto* view = child<QTreeWidget>(w, QStringLiteral("ListView%1").arg(n));
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(headers(view).join(QLatin1Char(',')), QLatin1String(columns[n]));
        EXPECT_EQ(view->parentWidget(), child<QGroupBox>(w, QStringLiteral("Frame%1").arg(n)));
    }
    EXPECT_EQ(column(child<QTreeWidget>(w, "ListView1"), 0), QStringList({"IBM", "MSFT"}));
    EXPECT_EQ(column(child<QTreeWidget>(w, "ListView2"), 0), QStringList({"GONE"}));
    EXPECT_EQ(column(child<QTreeWidget>(w, "ListView3"), 0), QStringList({"OLD"}));
    EXPECT_EQ(column(child<QTreeWidget>(w, "ListView3"), 1), QStringList({"NEW"}));
    EXPECT_EQ(column(child<QTreeWidget>(w, "ListView4"), 0), QStringList({"QUIET"}));

    EXPECT_EQ(child<QLabel>(w, "Label3")->text(),
              QStringLiteral("These Symbols have not been downloaded.\nProbably due to a bad connection with the "
                             "server.\nTry again later to download the quotes."));
    EXPECT_EQ(child<QLabel>(w, "Label4")->text(),
              QStringLiteral("These Symbols were not found.\nThe Symbols probably don't exist anymore.\nTry again "
                             "later or click on the remove Button."));
    EXPECT_EQ(child<QLabel>(w, "Label2")->text(),
              QStringLiteral("These Symbols have changed.\nChanges have been made in the database."));
    EXPECT_EQ(
        child<QLabel>(w, "Label1")->text(),
        QStringLiteral("The following Quotes were not updated due to lack of trade or since no volume was found"));
    EXPECT_TRUE(msgs.shown.isEmpty());
}

TEST_F(ReportFormTest, RemoveButtonAsksAndClearsTheNotFoundList)
{
    {
        clsData data;
        data.addtodatabase2("GONE", "Gone Inc", data.markt0(), "Stock");
        data.voegvervallentoe("GONE");
        data.voegverWorpentoe("QUIET");
    }
    reportform w;
    auto* command1 = child<QPushButton>(w, "Command1");
    ASSERT_NE(command1, nullptr);
    EXPECT_EQ(command1->text(), QStringLiteral("&Remove Symbols from Database"));
    EXPECT_EQ(command1->parentWidget(), child<QGroupBox>(w, "Frame2"));

    msgs.queue(Answer::No);
    command1->click();
    EXPECT_EQ(msgs.texts(), QStringList({"Delete Symbols?"}));
    EXPECT_EQ(child<QTreeWidget>(w, "ListView2")->topLevelItemCount(), 0);
    clsData data;
    EXPECT_EQ(data.db().scalar(QStringLiteral("SELECT count(*) FROM fondsen WHERE codeyahoo = 'GONE'")).toInt(), 1);
    EXPECT_EQ(data.db().scalar(QStringLiteral("SELECT count(*) FROM vervallen")).toInt(), 0);
}

TEST_F(ReportFormTest, FindingsAreOneRowEach)
{
    {
        clsData data;
        data.voegfindingstoe({{"BP.L", 20260105, "unitswitch", "2026-01-05 to 2026-01-09 (5 days) at 100x", "flagged"},
                              {"ABC", 20260102, "bounds", "high 9 below close 10", "repaired: high 9 -> 10"}});
    }
    reportform w;
    auto* view = child<QTreeWidget>(w, "ListView5");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->parentWidget(), child<QGroupBox>(w, "Frame5"));
    EXPECT_EQ(headers(view).join(QLatin1Char(',')), QStringLiteral("Symbol,Date,Kind,Seen,Done"));
    EXPECT_EQ(column(view, 0), QStringList({"ABC", "BP.L"}));
    EXPECT_EQ(column(view, 2), QStringList({"bounds", "unitswitch"}));
    EXPECT_EQ(column(view, 4), QStringList({"repaired: high 9 -> 10", "flagged"}));
    EXPECT_TRUE(child<QLabel>(w, "Label5")->text().startsWith(QStringLiteral("The integrity check found")));
    // Without a quote store there are no values as sent to show.
    EXPECT_EQ(w.findChild<QTreeWidget*>(QStringLiteral("ListView5Repaired")), nullptr);
}

TEST_F(ReportFormTest, RepairedDaysAreListedWithTheirValuesAsSentAndAsWritten)
{
    {
        clsData data;
        data.voegfindingstoe({{"ABC", 20260102, "bounds", "high 9 below close 10", "repaired: high 9 -> 10"}});
        const auto figure = [](const char* t) { return core::Figure::parse(QString::fromLatin1(t)); };
        core::Bar sent{20260102, figure("9.5"), figure("9"), figure("8"), figure("10"), figure("100"), {}, 0};
        core::Bar written = sent;
        written.high = figure("10");
        written.set(core::Bar::Repaired);
        core::Bar next{20260105, figure("10"), figure("11"), figure("9"), figure("10.5"), figure("100"), {}, 0};
        QuoteStore store;
        store.begin();
        const int source = store.source(QStringLiteral("quotes.example"), QDateTime::currentDateTimeUtc());
        store.put(QStringLiteral("ABC"), written, source, &sent);
        store.put(QStringLiteral("ABC"), next, source);
        store.commit();
    }
    reportform w;
    auto* view = child<QTreeWidget>(w, "ListView5Repaired");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->parentWidget(), child<QGroupBox>(w, "Frame5"));
    EXPECT_EQ(column(view, 0), QStringList({"ABC"}));
    EXPECT_EQ(column(view, 2), QStringList({"9.5 9 8 10 100"}));
    EXPECT_EQ(column(view, 3), QStringList({"9.5 10 8 10 100"}));
}

// The gap lines the last run recorded, as `report current` prints them; no
// frame for a run that left none.
TEST_F(ReportFormTest, TheGapLinesOfTheRunAreListedAsTheHeadlessReportHasThem)
{
    {
        reportform w;
        EXPECT_FALSE(child<QGroupBox>(w, "Frame6")->isVisibleTo(&w));
    }
    const QStringList lines{QStringLiteral("S1.AS: filled 2026-11-03; still missing 2026-11-04"),
                            QStringLiteral("S2.AS: given up 2026-10-01"),
                            QStringLiteral("market XX: sessions unknown (3 symbols, not checked)")};
    store::write(QLatin1String(CurrentRun::kGapReportKey), lines.join(QLatin1Char('\n')));
    reportform w;
    EXPECT_TRUE(child<QGroupBox>(w, "Frame6")->isVisibleTo(&w));
    auto* view = child<QTreeWidget>(w, "ListView6");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(column(view, 0), lines);
    EXPECT_EQ(child<QLabel>(w, "Label6")->text(), CurrentReport::gapsText());
}
