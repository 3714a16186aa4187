// The bar's arithmetic, checked without a display.
#include "controls/progress_bar_math.h"

#include <gtest/gtest.h>

#include <climits>

namespace bramis {
namespace {

int Percent(int position, int lower, int upper)
{
    return PercentDone(ProgressFraction(position, lower, upper));
}

TEST(ProgressBarMath, PercentageAndLengthAreTruncatedFromTheDoubleFraction)
{
    // 29 / 100 is 0.28999... in double precision: integer maths would say 29.
    EXPECT_EQ(Percent(29, 0, 100), 28);
    EXPECT_EQ(Percent(3, 0, 368), 0);
    EXPECT_EQ(Percent(4, 0, 368), 1);
    EXPECT_EQ(Percent(368, 0, 368), 100);
    EXPECT_EQ(LabelText("", ProgressFraction(101, 0, 100)), "101%");  // not clamped
    EXPECT_EQ(FilledLength(256, ProgressFraction(-2, 0, 368)), -1);   // toward zero, not down

    // Empty and inverted ranges give nothing instead of dividing by zero.
    EXPECT_EQ(ProgressFraction(5, 5, 5), 0.0);
    EXPECT_EQ(ProgressFraction(5, 10, 0), 0.0);
    // Ranges and positions that overflow 32-bit differences.
    EXPECT_EQ(FilledLength(256, ProgressFraction(0, INT_MIN, INT_MAX)), 128);
    EXPECT_EQ(Percent(INT_MAX, INT_MIN, INT_MIN + 1), INT_MAX);
}

}  // namespace
}  // namespace bramis
