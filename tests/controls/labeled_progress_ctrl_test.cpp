// The bar rendered offscreen: pixels of the fill and the two-coloured label,
// and paint counts for the repaint rule.
#include "controls/labeled_progress_ctrl.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

namespace bramis {
namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kSentinel(1, 2, 3);

// The bar, counting the paint events it receives.
struct CountedBar : CLabeledProgressCtrl {
    using CLabeledProgressCtrl::CLabeledProgressCtrl;
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        CLabeledProgressCtrl::paintEvent(event);
    }
    int paints = 0;
};

// A 256-pixel bar over 368 blocks in a parent whose palette makes the
// default colours red (bar) and blue (background), with a crisp, large font
// so that label pixels are exact.
class LabeledProgressCtrlTest : public ::testing::Test {
protected:
    LabeledProgressCtrlTest()
    {
        QPalette palette;
        palette.setColor(QPalette::Highlight, kRed);
        palette.setColor(QPalette::Base, kBlue);
        parent.setPalette(palette);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(20);
        font.setStyleStrategy(QFont::NoAntialias);
        parent.setFont(font);
        bar.setGeometry(0, 0, 256, 24);
        bar.SetRange32(0, 368);
    }

    // Renders `area` (all of the bar when empty) into an image that holds
    // the sentinel colour wherever nothing was painted.
    QImage Render(const QRect& area = {})
    {
        QImage image(bar.size(), QImage::Format_RGB32);
        image.fill(kSentinel);
        bar.render(&image, area.topLeft(), area.isEmpty() ? QRegion() : QRegion(area), QWidget::RenderFlags());
        return image;
    }

    QWidget parent;
    CountedBar bar{&parent};
};

TEST_F(LabeledProgressCtrlTest, TheFillFollowsThePositionInWholePixelsAndTheLabelSwapsColoursAtItsEdge)
{
    bar.ShowLabel(false);
    for (const auto& [position, filled] : {std::pair{1, 0}, {2, 1}, {184, 128}, {368, 256}, {400, 256}, {-9, 0}}) {
        bar.SetPos(position);
        const QImage image = Render();
        for (int y : {0, 23})
            for (int x = 0; x < 256; ++x)
                ASSERT_EQ(image.pixelColor(x, y), x < filled ? kRed : kBlue) << position << ": " << x;
    }

    // "50%" across the edge at x = 128: each glyph pixel in the other fill's colour.
    bar.SetPos(184);
    const QImage fills = Render();
    bar.ShowLabel(true);
    const QImage labelled = Render();
    QRect textBox;
    for (int y = 0; y < fills.height(); ++y) {
        for (int x = 0; x < fills.width(); ++x) {
            if (labelled.pixelColor(x, y) == fills.pixelColor(x, y)) continue;
            EXPECT_EQ(labelled.pixelColor(x, y), x < 128 ? kBlue : kRed) << x << "," << y;
            textBox |= QRect(x, y, 1, 1);
        }
    }
    EXPECT_LT(textBox.left(), 124);
    EXPECT_NEAR(textBox.center().x(), 128, 2);  // centred on the whole bar
    EXPECT_NEAR(textBox.center().y(), 12, 3);

    // A repaint of part of the bar draws those pixels as the full one does.
    for (const QRect& area : {QRect(120, 0, 136, 24), QRect(100, 6, 20, 12)}) {
        const QImage part = Render(area);
        for (int y = 0; y < labelled.height(); ++y)
            for (int x = 0; x < labelled.width(); ++x)
                ASSERT_EQ(part.pixelColor(x, y), area.contains(x, y) ? labelled.pixelColor(x, y) : kSentinel)
                    << x << "," << y << " of " << area.x() << "," << area.y();
    }
}

TEST_F(LabeledProgressCtrlTest, APositionRepaintsAtOnceOnlyWhenTheFilledLengthChanges)
{
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    QTest::qWait(100);
    bar.paints = 0;
    const struct { int position, paints; } steps[] = {
        {0, 1},  // first position: no length known yet
        {1, 1},  // still 0 px
        {2, 2},  // 1 px, painted before SetPos returned
    };
    for (const auto& step : steps) {
        bar.SetPos(step.position);
        EXPECT_EQ(bar.paints, step.paints) << step.position;
    }
    QTest::qWait(100);
    EXPECT_EQ(bar.paints, 2);
    // The same length in a resized bar still repaints once.
    bar.resize(300, 24);
    ASSERT_TRUE(QTest::qWaitFor([this] { return bar.paints > 2; }, 5000));
    QTest::qWait(100);
    bar.paints = 0;
    bar.SetPos(2);
    EXPECT_EQ(bar.paints, 1);
}

}  // namespace
}  // namespace bramis
