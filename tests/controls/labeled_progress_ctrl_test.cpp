// The bar rendered offscreen: pixels of the fills and the two-coloured label,
// and paint counts for the repaint rule.
#include "controls/labeled_progress_ctrl.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>


namespace bramis {
namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 255, 0);
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

// A 256-pixel bar in a parent whose palette makes the default colours red
// (bar) and blue (background), with a crisp, large font so that label pixels
// are exact.
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
        parent.resize(400, 300);
        bar.setGeometry(0, 0, 256, 24);
    }

    // Renders `region` (all of the bar when empty) into an image that holds
    // the sentinel colour wherever nothing was painted.
    QImage Render(const QRegion& region = {})
    {
        QImage image(bar.size(), QImage::Format_RGB32);
        image.fill(kSentinel);
        bar.render(&image, region.isEmpty() ? QPoint() : region.boundingRect().topLeft(), region,
                   QWidget::RenderFlags());
        return image;
    }

    // Lets Qt deliver the paints it has queued.
    static void Settle() { QTest::qWait(100); }

    // Waits (generously, the machine may be busy) until a queued paint came.
    bool WaitForPaint()
    {
        return QTest::qWaitFor([this] { return bar.paints > 0; }, 5000);
    }

    QWidget parent;
    CountedBar bar{&parent};
};

int CountInRow(const QImage& image, int y, const QColor& color)
{
    int count = 0;
    for (int x = 0; x < image.width(); ++x)
        count += image.pixelColor(x, y) == color ? 1 : 0;
    return count;
}

TEST_F(LabeledProgressCtrlTest, FillsFollowThePositionInPixelsInEitherOrientationAndColours)
{
    bar.ShowLabel(false);
    bar.SetRange(0x01700000);  // 0..368
    for (const auto& [position, filled] : {std::pair{1, 0}, {2, 1}, {184, 128}, {368, 256}, {400, 256}, {-9, 0}}) {
        bar.SetPos(position);
        const QImage image = Render();
        SCOPED_TRACE(position);
        for (int y : {0, 12, 23}) {
            EXPECT_EQ(CountInRow(image, y, kRed), filled);
            EXPECT_EQ(CountInRow(image, y, kBlue), 256 - filled);
        }
        EXPECT_EQ(image.pixelColor(0, 0), filled > 0 ? kRed : kBlue);  // the bar grows from the left
    }

    // Explicit colours win until the default marker brings the palette back.
    EXPECT_EQ(bar.SetBarColor(MakeColorRef(0, 255, 0)), kColorDefault);
    bar.SetPos(184);
    EXPECT_EQ(CountInRow(Render(), 5, kGreen), 128);
    EXPECT_EQ(bar.SetBarColor(kColorDefault), MakeColorRef(0, 255, 0));
    EXPECT_EQ(CountInRow(Render(), 5, kRed), 128);

    // A vertical bar fills from the bottom and shows no label.
    bar.SetOrientation(Qt::Vertical);
    bar.setGeometry(0, 0, 20, 200);
    bar.ShowLabel(true);
    bar.SetLabelText("Текст");
    bar.SetRange32(0, 100);
    bar.SetPos(11);
    const QImage vertical = Render();
    for (int y = 0; y < 200; ++y)
        EXPECT_EQ(CountInRow(vertical, y, y >= 178 ? kRed : kBlue), 20) << y;
}

TEST_F(LabeledProgressCtrlTest, LabelSwapsColoursAtTheBoundaryOrKeepsAFixedOneAndPartialRepaintsMatch)
{
    bar.SetPos(50);  // boundary at x = 128, through the middle of "50%"
    const int boundary = 128;
    bar.ShowLabel(false);
    const QImage fills = Render();
    bar.ShowLabel(true);
    const QImage automatic = Render();
    bar.SetLabelColor(MakeColorRef(0, 255, 0));
    const QImage fixed = Render();

    // Label pixels are where the fixed green label changed the fills.
    QRect textBox;
    for (int y = 0; y < fills.height(); ++y) {
        for (int x = 0; x < fills.width(); ++x) {
            const QColor under = fills.pixelColor(x, y);
            ASSERT_EQ(under, x < boundary ? kRed : kBlue);
            if (fixed.pixelColor(x, y) == under) {
                EXPECT_EQ(automatic.pixelColor(x, y), under) << x << "," << y;
                continue;
            }
            EXPECT_EQ(fixed.pixelColor(x, y), kGreen) << x << "," << y;
            EXPECT_EQ(automatic.pixelColor(x, y), x < boundary ? kBlue : kRed) << x << "," << y;
            textBox |= QRect(x, y, 1, 1);
        }
    }
    EXPECT_LT(textBox.left(), boundary - 4);  // on both sides of the boundary
    EXPECT_GT(textBox.right(), boundary + 4);
    EXPECT_NEAR(textBox.center().x(), 128, 2);  // centred on the whole bar
    EXPECT_NEAR(textBox.center().y(), 12, 3);

    // The owner's text replaces the percentage until it is taken away again.
    bar.SetLabelText("Запись");
    EXPECT_NE(Render(), fixed);
    bar.SetLabelText(nullptr);
    EXPECT_EQ(Render(), fixed);

    // A repaint of part of the bar draws those pixels as the full one does.
    for (const QRect& area : {QRect(120, 0, 136, 24), QRect(100, 6, 20, 12)}) {
        const QImage part = Render(area);
        for (int y = 0; y < fixed.height(); ++y)
            for (int x = 0; x < fixed.width(); ++x)
                ASSERT_EQ(part.pixelColor(x, y), area.contains(x, y) ? fixed.pixelColor(x, y) : kSentinel)
                    << x << "," << y << " of " << area.x() << "," << area.y();
    }
}

TEST_F(LabeledProgressCtrlTest, PositionRepaintsAtOnceOnlyWhenTheFilledLengthChangesAndAnEmptyRangeDrawsNothing)
{
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    EXPECT_EQ(bar.SetRange(0x01700000), 0x00640000u);
    Settle();
    bar.paints = 0;
    EXPECT_EQ(bar.SetPos(0), 0);
    EXPECT_EQ(bar.paints, 1);  // first position: no length known yet
    EXPECT_EQ(bar.SetPos(1), 0);
    EXPECT_EQ(bar.paints, 1);  // still 0 px
    EXPECT_EQ(bar.SetPos(2), 1);
    EXPECT_EQ(bar.paints, 2);  // 1 px, painted before SetPos returned
    Settle();
    EXPECT_EQ(bar.paints, 2);

    // The same length in a resized bar still repaints once.
    bar.paints = 0;
    bar.resize(300, 24);
    ASSERT_TRUE(WaitForPaint());
    Settle();
    bar.paints = 0;
    bar.SetPos(2);
    EXPECT_EQ(bar.paints, 1);

    // Stepping and deltas go through the same rule and return the old position.
    bar.SetRange32(0, 100);
    bar.SetPos(100);
    EXPECT_EQ(bar.StepIt(), 100);
    EXPECT_EQ(bar.DeltaPos(-51), 101);  // no wrap at the upper limit
    EXPECT_EQ(bar.GetPos(), 50);

    // Label changes are queued, and only when something changed.
    Settle();
    bar.paints = 0;
    bar.ShowLabel(true);
    bar.SetLabelText("");
    Settle();
    EXPECT_EQ(bar.paints, 0);
    bar.SetLabelText("Чтение");
    EXPECT_EQ(bar.paints, 0);
    EXPECT_TRUE(WaitForPaint());

    // An empty or inverted range draws nothing (and divides by nothing): on
    // screen the parent shows through rather than the old bar.
    for (const auto& [lower, upper] : {std::pair{5, 5}, {10, 0}}) {
        bar.SetRange32(lower, upper);
        bar.SetPos(8);
        EXPECT_EQ(CountInRow(Render(), 12, kSentinel), bar.width());
        bar.update();
        Settle();
        const QImage screen = parent.screen()->grabWindow(parent.winId()).toImage();
        EXPECT_EQ(screen.pixelColor(100, 12), parent.palette().color(QPalette::Window));
    }
}

}  // namespace
}  // namespace bramis

int main(int argc, char** argv)
{
    // Listing the tests at build time must not need a display either.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
