#include "fakeservice.h"
#include "quotes/pages.h"

#include <gtest/gtest.h>

TEST(QuotePage, SuccessorFromEitherForm)
{
    EXPECT_EQ(findChangedTicker(FakeQuoteService::seeTickerPage("ABC.XY")), QStringLiteral("ABC.XY"));
    EXPECT_EQ(findChangedTicker(FakeQuoteService::changedTickerPage("LEH", "LEHMQ.PK")), QStringLiteral("LEHMQ.PK"));
    EXPECT_EQ(findChangedTicker(FakeQuoteService::invalidTickerPage("ZZZ")), std::nullopt);
    EXPECT_EQ(findChangedTicker(""), std::nullopt);
    // A marker at the very first character does not count.
    EXPECT_EQ(findChangedTicker("**SEE&lt;ABC&gt;"), std::nullopt);
    EXPECT_EQ(findChangedTicker("x**SEE&lt;ABC&gt;"), QStringLiteral("ABC"));
}

TEST(QuotePage, BrokenOrHostileSuccessorsAreRefused)
{
    // End markers missing.
    EXPECT_EQ(findChangedTicker("x**SEE&lt;ABC"), std::nullopt);
    EXPECT_EQ(findChangedTicker("x is no longer valid. It has changed to nothing"), std::nullopt);
    EXPECT_EQ(findChangedTicker("x is no longer valid. It has changed to <a href=\"/q?s=NEW"), std::nullopt);
    // The successor becomes a file name and a database key.
    EXPECT_EQ(findChangedTicker("x**SEE&lt;../../etc&gt;"), std::nullopt);
    EXPECT_EQ(findChangedTicker("x**SEE&lt;A B&gt;"), std::nullopt);
    EXPECT_EQ(findChangedTicker("x**SEE&lt;&gt;"), std::nullopt);
    EXPECT_EQ(findChangedTicker("x**SEE&lt;" + QByteArray(30, 'A') + "&gt;"), std::nullopt);
    EXPECT_TRUE(plausibleTicker(QStringLiteral("^GSPC")));
    EXPECT_TRUE(plausibleTicker(QStringLiteral("EURUSD=X")));
    EXPECT_FALSE(plausibleTicker(QStringLiteral("A\"B")));
}

TEST(HistoryPage, StartDateFromTheStartControls)
{
    auto h = findHistoryStart(FakeQuoteService::historyPricesPage(5, 14, 1962));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->month, 5);
    EXPECT_EQ(h->day, 14);
    EXPECT_EQ(h->year, 1962);

    h = findHistoryStart(FakeQuoteService::historyPricesPage(0, 2, 1970));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->month, 12);
    EXPECT_EQ(h->day, 2);
    EXPECT_EQ(h->year, 1970);
}

TEST(HistoryPage, SelectedMonthFarFromTheStartIsNotTheStartMonth)
{
    // The selected option lies in the end-date controls: month 0, read as 12,
    // and the day and year come from the inputs after the first select.
    const QByteArray page =
        "<p>Start Date:</p><select><option value=\"3\">4</option></select>"
        "<input type=\"text\" maxlength=\"2\" value=\"7\"><input type=\"text\" maxlength=\"4\" value=\"1999\">" +
        QByteArray(300, ' ') + "<option &quot;selected&quot;  value=\"5\">";
    const auto h = findHistoryStart(page);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->month, 12);
    EXPECT_EQ(h->day, 7);
    EXPECT_EQ(h->year, 1999);
}

TEST(HistoryPage, PagesWithoutAStartDate)
{
    EXPECT_FALSE(findHistoryStart(""));
    EXPECT_FALSE(findHistoryStart(FakeQuoteService::invalidTickerPage("ZZZ")));
    EXPECT_FALSE(findHistoryStart(FakeQuoteService::noHistoryPage("ZZZ")));
    EXPECT_FALSE(findHistoryStart("<html>Start Date: nothing else</html>"));
    // Truncated after the month.
    const QByteArray page = FakeQuoteService::historyPricesPage(5, 14, 1962);
    EXPECT_FALSE(findHistoryStart(page.left(page.indexOf("maxlength=\"2\"") + 25)));
    // A number too large for the field.
    QByteArray huge = page;
    huge.replace("value=\"1962\"", "value=\"99999\"");
    EXPECT_FALSE(findHistoryStart(huge));
}
