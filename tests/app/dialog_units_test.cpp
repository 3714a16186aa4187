// The dialog-unit grid: the rounding of the conversion and that layouts keep
// their proportions whatever the font.
#include "app/dialog_units.h"

#include <gtest/gtest.h>

#include <QFont>

namespace bramis {
namespace {

TEST(DialogUnits, ConvertsLikeTheTemplatesWereDrawn) {
    // 52 letters 312 pixels wide and a 13-pixel line: 6 by 13 base units.
    const DialogBaseUnits units = BaseUnitsFromMetrics(312, 13);
    EXPECT_EQ(units.x, 6);
    EXPECT_EQ(units.y, 13);
    // The average is rounded up: 313 pixels gives (12 + 1) / 2 = 6 as well,
    // 338 pixels (13 a pair) gives 7.
    EXPECT_EQ(BaseUnitsFromMetrics(313, 13).x, 6);
    EXPECT_EQ(BaseUnitsFromMetrics(338, 13).x, 7);

    // Half a pixel rounds away from zero, on both sides of zero.
    EXPECT_EQ(MulDivRound(7, 6, 4), 11);
    EXPECT_EQ(MulDivRound(-7, 6, 4), -11);
    EXPECT_EQ(MulDivRound(7, -6, 4), -11);
    EXPECT_EQ(MulDivRound(5, 13, 8), 8);  // 8.125
    EXPECT_EQ(MulDivRound(0, 13, 8), 0);
    // No overflow in the product.
    EXPECT_EQ(MulDivRound(1 << 20, 1 << 20, 1 << 20), 1 << 20);

    EXPECT_EQ(MapDialogSize(units, 230, 114), QSize(345, 185));
    EXPECT_EQ(MapDialogRect(units, {82, 93, 50, 14}), QRect(123, 151, 75, 23));
}

TEST(DialogUnits, NeighboursShareEdgesAndProportionsHoldOnAnyFont) {
    for (const DialogBaseUnits units : {DialogBaseUnits{5, 11}, DialogBaseUnits{6, 13}, DialogBaseUnits{7, 15},
                                        DialogBaseUnits{9, 19}}) {
        // The "..." button starts one unit right of the combo box's end in
        // units; in pixels the gap never collapses or overlaps.
        const QRect combo = MapDialogRect(units, {7, 20, 196, 12});
        const QRect browse = MapDialogRect(units, {208, 20, 15, 12});
        EXPECT_GT(browse.left(), combo.right()) << units.x;
        // Rectangles that meet in units meet in pixels: the edge is
        // converted once, not as left plus a rounded width.
        const QRect left = MapDialogRect(units, {7, 40, 89, 18});
        const QRect right = MapDialogRect(units, {96, 40, 17, 18});
        EXPECT_EQ(left.left() + left.width(), right.left()) << units.x;
    }

    // A larger font gives larger units and so a larger window.
    QFont small;
    small.setPixelSize(10);
    QFont large;
    large.setPixelSize(20);
    const DialogBaseUnits smallUnits = BaseUnitsOf(small);
    const DialogBaseUnits largeUnits = BaseUnitsOf(large);
    EXPECT_GT(smallUnits.x, 0);
    EXPECT_GT(largeUnits.x, smallUnits.x);
    EXPECT_GT(largeUnits.y, smallUnits.y);
}

}  // namespace
}  // namespace bramis
