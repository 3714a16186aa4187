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
const QColor kSentinel(1, 2, 3);

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

// A bar in a parent whose palette makes the default colours red (bar) and
// blue (background), with a crisp, large font so that label pixels are exact.
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
        bar.installEventFilter(&paints);
    }

    // Renders `region` (all of the bar when empty) into an image that holds
    // the sentinel colour wherever nothing was painted.
    QImage Render(const QRegion& region = {})
    {
        QImage image(bar.size(), QImage::Format_RGB32);
        image.fill(kSentinel);
        const QPoint offset = region.isEmpty() ? QPoint() : region.boundingRect().topLeft();
        bar.render(&image, offset, region, QWidget::RenderFlags());
        return image;
    }

    // Lets Qt deliver the paints it has queued.
    void Settle() { QTest::qWait(100); }

    // Waits (generously, the machine may be busy) until a queued paint came.
    bool WaitForPaint()
    {
        return QTest::qWaitFor([this] { return paints.count > 0; }, 5000);
    }

    QWidget parent;
    CLabeledProgressCtrl bar{&parent};
    PaintCounter paints;
};

int CountInRow(const QImage& image, int y, const QColor& color)
{
    int count = 0;
    for (int x = 0; x < image.width(); ++x)
        count += image.pixelColor(x, y) == color ? 1 : 0;
    return count;
}

TEST_F(LabeledProgressCtrlTest, FillsFollowThePositionInPixels)
{
    bar.ShowLabel(false);
    bar.SetRange(0x01700000);
    for (const auto& [position, filled] : {std::pair{1, 0}, {2, 1}, {184, 128}, {368, 256}, {400, 256}, {-9, 0}}) {
        bar.SetPos(position);
        const QImage image = Render();
        SCOPED_TRACE(position);
        for (int y : {0, 12, 23}) {
            EXPECT_EQ(CountInRow(image, y, kRed), filled);
            EXPECT_EQ(CountInRow(image, y, kBlue), 256 - filled);
        }
        if (filled > 0) {
            EXPECT_EQ(image.pixelColor(0, 0), kRed);  // the bar grows from the left
        }
    }

    // Explicit colours win until the default marker brings the palette back.
    EXPECT_EQ(bar.SetBarColor(MakeColorRef(0, 255, 0)), kColorDefault);
    EXPECT_EQ(bar.SetBkColor(MakeColorRef(0, 0, 0)), kColorDefault);
    bar.SetPos(184);
    EXPECT_EQ(CountInRow(Render(), 5, QColor(0, 255, 0)), 128);
    EXPECT_EQ(CountInRow(Render(), 5, QColor(0, 0, 0)), 128);
    EXPECT_EQ(bar.SetBarColor(kColorDefault), MakeColorRef(0, 255, 0));
    EXPECT_EQ(CountInRow(Render(), 5, kRed), 128);
}

TEST_F(LabeledProgressCtrlTest, LabelSwapsColoursExactlyAtTheBoundary)
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
    int left = 0, right = 0;
    QRect textBox;
    for (int y = 0; y < fills.height(); ++y) {
        for (int x = 0; x < fills.width(); ++x) {
            const QColor under = fills.pixelColor(x, y);
            EXPECT_EQ(under, x < boundary ? kRed : kBlue);
            if (fixed.pixelColor(x, y) == under) {
                EXPECT_EQ(automatic.pixelColor(x, y), under) << x << "," << y;
                continue;
            }
            EXPECT_EQ(fixed.pixelColor(x, y), QColor(0, 255, 0)) << x << "," << y;
            EXPECT_EQ(automatic.pixelColor(x, y), x < boundary ? kBlue : kRed) << x << "," << y;
            (x < boundary ? left : right) += (x >= boundary - 4 && x < boundary + 4) ? 1 : 0;
            textBox |= QRect(x, y, 1, 1);
        }
    }
    EXPECT_GT(left, 0);
    EXPECT_GT(right, 0);
    EXPECT_NEAR(textBox.center().x(), 128, 2);  // centred on the whole bar
    EXPECT_NEAR(textBox.center().y(), 12, 3);
}

TEST_F(LabeledProgressCtrlTest, PartialRepaintMatchesFullRepaint)
{
    bar.SetPos(50);
    const QImage full = Render();
    for (const QRect& area : {QRect(120, 0, 136, 24), QRect(100, 6, 20, 12)}) {
        const QImage part = Render(area);
        for (int y = 0; y < full.height(); ++y)
            for (int x = 0; x < full.width(); ++x)
                ASSERT_EQ(part.pixelColor(x, y), area.contains(x, y) ? full.pixelColor(x, y) : kSentinel)
                    << x << "," << y << " of " << area.x() << "," << area.y();
    }
}

TEST_F(LabeledProgressCtrlTest, OwnerTextReplacesThePercentageAndHidingLeavesFills)
{
    bar.SetPos(50);
    const QImage percent = Render();
    bar.SetLabelText("Запись");
    const QImage text = Render();
    EXPECT_NE(text, percent);
    char buffer[16];
    EXPECT_EQ(bar.GetLabelText(buffer, sizeof buffer), 12u);
    EXPECT_STREQ(buffer, "Запись");
    bar.SetLabelText(nullptr);
    EXPECT_EQ(Render(), percent);
    EXPECT_EQ(bar.GetLabelText(buffer, sizeof buffer), 0u);

    bar.ShowLabel(false);
    const QImage hidden = Render();
    for (int y = 0; y < hidden.height(); ++y)
        EXPECT_EQ(CountInRow(hidden, y, kRed), 128);
}

TEST_F(LabeledProgressCtrlTest, EmptyOrInvertedRangeDrawsNothing)
{
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    for (const auto& [lower, upper] : {std::pair{5, 5}, {10, 0}}) {
        bar.SetRange32(lower, upper);
        bar.SetPos(7);
        EXPECT_EQ(bar.SetPos(8), 7);  // and no division by the empty span
        const QImage image = Render();
        EXPECT_EQ(CountInRow(image, 12, kSentinel), 256);
        PBRANGE range{};
        EXPECT_EQ(bar.GetRange(true, &range), lower);
        EXPECT_EQ(bar.GetRange(false), upper);
        EXPECT_EQ(range.iLow, lower);
        EXPECT_EQ(range.iHigh, upper);
        // On screen the parent shows through rather than the old bar.
        bar.update();
        Settle();
        const QImage screen = parent.screen()->grabWindow(parent.winId()).toImage();
        EXPECT_EQ(screen.pixelColor(100, 12), parent.palette().color(QPalette::Window));
    }
}

TEST_F(LabeledProgressCtrlTest, PositionRepaintsAtOnceOnlyWhenTheFilledLengthChanges)
{
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    EXPECT_EQ(bar.SetRange(0x01700000), 0x00640000u);
    Settle();
    paints.count = 0;
    bar.SetRange(0x01700000);
    EXPECT_EQ(bar.SetPos(0), 0);
    EXPECT_EQ(paints.count, 1);  // first position: no length known yet
    EXPECT_EQ(bar.SetPos(1), 0);
    EXPECT_EQ(paints.count, 1);  // still 0 px
    EXPECT_EQ(bar.SetPos(2), 1);
    EXPECT_EQ(paints.count, 2);  // 1 px, painted before SetPos returned
    Settle();
    EXPECT_EQ(paints.count, 2);

    // The same length in a resized bar still repaints once.
    paints.count = 0;
    bar.resize(300, 24);
    ASSERT_TRUE(WaitForPaint());
    Settle();
    paints.count = 0;
    bar.SetPos(2);
    EXPECT_EQ(paints.count, 1);

    // Stepping and deltas go through the same rule and return the old position.
    bar.SetRange32(0, 100);
    bar.SetPos(100);
    EXPECT_EQ(bar.SetStep(1), 1);
    EXPECT_EQ(bar.StepIt(), 100);
    EXPECT_EQ(bar.GetPos(), 101);  // no wrap at the upper limit
    EXPECT_EQ(bar.DeltaPos(-51), 101);
    EXPECT_EQ(bar.GetPos(), 50);

    // Label changes are queued, and only when something changed.
    Settle();
    paints.count = 0;
    bar.ShowLabel(true);
    bar.SetLabelText("");
    Settle();
    EXPECT_EQ(paints.count, 0);
    bar.SetLabelText("Чтение");
    EXPECT_EQ(paints.count, 0);
    EXPECT_TRUE(WaitForPaint());
}

TEST_F(LabeledProgressCtrlTest, VerticalBarFillsFromTheBottomWithoutLabel)
{
    bar.SetOrientation(Qt::Vertical);
    bar.setGeometry(0, 0, 20, 200);
    bar.SetLabelText("Текст");
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    bar.SetPos(10);
    Settle();
    paints.count = 0;
    bar.SetPos(11);
    EXPECT_EQ(paints.count, 1);
    const QImage image = Render();
    for (int y = 0; y < 200; ++y)
        EXPECT_EQ(CountInRow(image, y, y >= 178 ? kRed : kBlue), 20) << y;
}

// A picture of the bar for people to look at: several positions, an owner
// text, custom colours and a vertical bar, in the application's own look.
TEST(LabeledProgressCtrlPreview, WritesPng)
{
    QWidget parent;
    QImage sheet(360, 8 * 30, QImage::Format_RGB32);
    sheet.fill(parent.palette().color(QPalette::Window));
    CLabeledProgressCtrl bar(&parent);
    bar.setGeometry(0, 0, 300, 22);
    bar.SetRange32(0, 368);
    int row = 0;
    const auto shoot = [&](int position) {
        bar.SetPos(position);
        bar.render(&sheet, QPoint(10, 6 + 30 * row++));
    };
    for (int position : {0, 29, 92, 184, 300, 368})
        shoot(position);
    bar.SetLabelText("Стирание...");
    shoot(150);
    bar.SetLabelText(nullptr);
    bar.SetBarColor(MakeColorRef(0, 128, 0));
    bar.SetBkColor(MakeColorRef(240, 240, 200));
    shoot(250);
    CLabeledProgressCtrl vertical(&parent);
    vertical.SetOrientation(Qt::Vertical);
    vertical.setGeometry(0, 0, 20, 220);
    vertical.SetPos(40);
    vertical.render(&sheet, QPoint(330, 10));
    EXPECT_TRUE(sheet.save(QStringLiteral(BRAMIS_PREVIEW_PNG)));
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
