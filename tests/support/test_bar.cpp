#include "core/bar.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <cmath>
#include <limits>

using core::Bar;
using core::Figure;

TEST(Figure, ParseKeepsTheDigitsAsSent)
{
    // Trailing zeros and leading zeros are part of what the files print.
    EXPECT_EQ(Figure::parse(u"1.50"), Figure(QStringLiteral("1.50"), 1.5));
    EXPECT_EQ(Figure::parse(u"0.00006123"), Figure(QStringLiteral("0.00006123"), 0.00006123));
    EXPECT_EQ(Figure::parse(u"007"), Figure(QStringLiteral("007"), 7));
    // Blanks around go, a decimal comma becomes a point.
    EXPECT_EQ(Figure::parse(u" 12,5 "), Figure(QStringLiteral("12.5"), 12.5));
    EXPECT_EQ(Figure::parse(u"-0.25"), Figure(QStringLiteral("-0.25"), -0.25));
    EXPECT_EQ(Figure::parse(u"0"), Figure(QStringLiteral("0"), 0));
    EXPECT_TRUE(Figure::parse(u"0").given());
}

TEST(Figure, ParseRefusesWhatIsNoFiniteNumber)
{
    for (const char16_t* text : {u"", u"   ", u"N/A", u"n/a", u"-", u".", u"12abc", u"1.2.3", u"1,000.5", u"inf",
                                 u"-inf", u"nan", u"1e999", u"\"12\""}) {
        const Figure f = Figure::parse(text);
        EXPECT_FALSE(f.given()) << QString::fromUtf16(text).toStdString();
        EXPECT_EQ(f.value, 0) << QString::fromUtf16(text).toStdString();
    }
}

TEST(Figure, OfPrintsPlainShortestDecimals)
{
    EXPECT_EQ(Figure::of(10.2).text, QStringLiteral("10.2"));
    EXPECT_EQ(Figure::of(0.00001).text, QStringLiteral("0.00001"));  // never an exponent
    EXPECT_EQ(Figure::of(12345678901234567890.0).text, QStringLiteral("12345678901234567000"));
    EXPECT_EQ(Figure::of(-0.0).text, QStringLiteral("0"));
    EXPECT_EQ(Figure::of(1000).text, QStringLiteral("1000"));
    EXPECT_FALSE(Figure::of(std::numeric_limits<double>::infinity()).given());
    EXPECT_FALSE(Figure::of(std::numeric_limits<double>::quiet_NaN()).given());

    // Whatever the value, its text reads back as exactly that value.
    QRandomGenerator random(7);
    for (int i = 0; i < 2000; ++i) {
        const double v = std::ldexp(random.generateDouble() - 0.5, static_cast<int>(random.bounded(-30, 40)));
        const Figure f = Figure::of(v);
        ASSERT_TRUE(f.given());
        EXPECT_EQ(Figure::parse(f.text).value, v) << f.text.toStdString();
        EXPECT_FALSE(f.text.contains(QLatin1Char('e')));
    }
}

TEST(Bar, FlagsAreSetAndClearedOneByOneAndTakePartInEquality)
{
    Bar a;
    a.date = 20240105;
    a.close = Figure::parse(u"10.20");
    Bar b = a;
    b.set(Bar::Repaired);
    EXPECT_TRUE(b.has(Bar::Repaired));
    EXPECT_FALSE(b.has(Bar::Refused));
    EXPECT_NE(a, b);
    b.set(Bar::Refused);
    b.set(Bar::Repaired, false);
    EXPECT_TRUE(b.has(Bar::Refused));
    EXPECT_FALSE(b.has(Bar::Repaired));
    b.set(Bar::Refused, false);
    EXPECT_EQ(a, b);
    // The same number under another text is another figure: files print it.
    b.close = Figure::parse(u"10.2");
    EXPECT_EQ(b.close.value, a.close.value);
    EXPECT_NE(a, b);
}
