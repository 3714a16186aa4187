// The bar's arithmetic, checked without a display.
#include "controls/progress_bar_math.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace bramis {
namespace {

int Percent(int position, int lower, int upper)
{
    return PercentDone(ProgressFraction(position, lower, upper));
}

int Filled(int extent, int position, int lower, int upper)
{
    return FilledLength(extent, ProgressFraction(position, lower, upper));
}

TEST(ProgressBarMath, PercentageAndLengthAreTruncatedFromTheDoubleFraction)
{
    // 29 / 100 is 0.28999... in double precision: integer maths would say 29.
    EXPECT_EQ(Percent(29, 0, 100), 28);
    EXPECT_EQ(Percent(57, 0, 100), 56);
    EXPECT_EQ(Percent(3, 0, 368), 0);
    EXPECT_EQ(Percent(4, 0, 368), 1);
    EXPECT_EQ(Percent(368, 0, 368), 100);
    EXPECT_EQ(LabelText("", ProgressFraction(101, 0, 100)), "101%");  // not clamped
    EXPECT_EQ(LabelText("", ProgressFraction(-5, 0, 100)), "-5%");
    EXPECT_EQ(LabelText("Стирание", 0.5), "Стирание");
    EXPECT_EQ(Filled(256, -2, 0, 368), -1);  // toward zero, not down

    // Empty and inverted ranges give nothing instead of dividing by zero.
    EXPECT_EQ(ProgressFraction(5, 5, 5), 0.0);
    EXPECT_EQ(ProgressFraction(5, 10, 0), 0.0);

    // Ranges and positions that overflow 32-bit differences.
    EXPECT_DOUBLE_EQ(ProgressFraction(INT_MAX, INT_MIN, INT_MAX), 1.0);
    EXPECT_EQ(Filled(256, 0, INT_MIN, INT_MAX), 128);
    EXPECT_EQ(Percent(INT_MAX, INT_MIN, INT_MIN + 1), INT_MAX);
    EXPECT_EQ(Filled(10000, INT_MIN, INT_MAX - 1, INT_MAX), INT_MIN);
    EXPECT_EQ(WrappingAdd(INT_MAX, 1), INT_MIN);
}

TEST(ProgressBarMath, ColoursKeepTheirByteOrderAndBlackIsNoDefault)
{
    EXPECT_EQ(ResolveColor(MakeColorRef(0x12, 0x34, 0x56), Qt::white), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(ResolveColor(MakeColorRef(0, 0, 0), Qt::white), QColor(Qt::black));
}

TEST(ProgressBarMath, LabelCopyStaysInsideTheBufferAndWholeCharacters)
{
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(CopyLabel("abcdef", buffer, 4), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], '#');
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(CopyLabel("abcdef", buffer, 0), 0u);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(CopyLabel("abcdef", nullptr, 4), 0u);

    // "Ёж" is two 2-byte characters: never "Ё" and half of "ж".
    EXPECT_EQ(CopyLabel("Ёж", buffer, 4), 2u);
    EXPECT_STREQ(buffer, "Ё");
    EXPECT_EQ(CopyLabel("Ёж", buffer, 2), 0u);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
}  // namespace bramis
