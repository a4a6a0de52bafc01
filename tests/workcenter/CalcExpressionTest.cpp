#include "services/CalcExpression.h"

#include <gtest/gtest.h>

using pellan::CalcExpression;

namespace {
QString value(const char* expr) {
    const auto r = CalcExpression::evaluate(QString::fromUtf8(expr));
    EXPECT_TRUE(r.ok) << expr << ": " << r.error.toStdString();
    return r.text;
}
QString error(const char* expr) {
    const auto r = CalcExpression::evaluate(QString::fromUtf8(expr));
    EXPECT_FALSE(r.ok) << expr << " gave " << r.text.toStdString();
    return r.error;
}
} // namespace

TEST(CalcExpression, PrecedenceParenthesesAndSigns) {
    EXPECT_EQ(value("1+2*3"), "7");
    EXPECT_EQ(value("(1+2)*3"), "9");
    EXPECT_EQ(value("10-4-3"), "3"); // left to right
    EXPECT_EQ(value("2*-3"), "-6");
    EXPECT_EQ(value("-(2+3)"), "-5");
    EXPECT_EQ(value("8/4/2"), "1");
    EXPECT_EQ(value(" 1.5 + .25 "), "1.75");
}

TEST(CalcExpression, PercentAndWrittenSigns) {
    EXPECT_EQ(value("50%"), "0.5");
    EXPECT_EQ(value("200*15%"), "30");
    EXPECT_EQ(value("12×3÷4"), "9");
    EXPECT_EQ(value("（１＋２）×３"), "9"); // full-width input
    EXPECT_EQ(value("1,234.5+1"), "1235.5");
}

TEST(CalcExpression, ResultTextIsShortAndExact) {
    EXPECT_EQ(value("0.1+0.2"), "0.3");
    EXPECT_EQ(value("1/3"), "0.3333333333");
    EXPECT_EQ(value("-0*1"), "0");
    EXPECT_EQ(value("9999999.9*1"), "9999999.9");
}

TEST(CalcExpression, BadInputNamesTheReasonAndPosition) {
    EXPECT_TRUE(error("").contains("empty"));
    EXPECT_TRUE(error("1+").contains("missing"));
    EXPECT_TRUE(error("(1+2").contains("\")\" is missing"));
    EXPECT_TRUE(error("1+2)").contains("position 4"));
    EXPECT_TRUE(error("2/0").contains("division by zero"));
    EXPECT_TRUE(error("2/(1-1)").contains("division by zero"));
    EXPECT_TRUE(error("abc").contains("unexpected \"a\" at position 1"));
    EXPECT_TRUE(error("1,2").contains("unexpected")); // a comma is only a thousands separator
    EXPECT_FALSE(error("1e309*10").isEmpty());
}
