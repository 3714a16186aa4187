#include "controls/labeled_progress_ctrl.h"

#include <QFontMetrics>
#include <QPainter>
#include <QResizeEvent>

#include <utility>

namespace bramis {
namespace {

// The label is centred both ways, on one line.
constexpr int kLabelFormat = static_cast<int>(Qt::AlignCenter) | static_cast<int>(Qt::TextSingleLine);

}  // namespace

CLabeledProgressCtrl::CLabeledProgressCtrl(QWidget* parent) : QWidget(parent)
{
    // The fills cover every pixel, so Qt need not paint what lies beneath;
    // its backing store already buffers each paint off screen.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

std::uint32_t CLabeledProgressCtrl::SetRange(std::uint32_t packedRange)
{
    return SetRange32(static_cast<int>(packedRange & 0xFFFFu), static_cast<int>(packedRange >> 16));
}

std::uint32_t CLabeledProgressCtrl::SetRange32(int lower, int upper)
{
    const std::uint32_t previous = PackRange(m_nLower, m_nUpper);
    m_nLower = lower;
    m_nUpper = upper;
    // An empty range draws nothing; then the parent must show through rather
    // than whatever the backing store last held there.
    setAttribute(Qt::WA_OpaquePaintEvent, m_nLower < m_nUpper);
    return previous;
}

int CLabeledProgressCtrl::GetRange(bool wantLower, PBRANGE* range) const
{
    if (range != nullptr) {
        range->iLow = m_nLower;
        range->iHigh = m_nUpper;
    }
    return wantLower ? m_nLower : m_nUpper;
}

int CLabeledProgressCtrl::GetPos() const
{
    return m_nPosition;
}

int CLabeledProgressCtrl::SetPos(int position)
{
    const int previous = std::exchange(m_nPosition, position);
    const int filled = FilledLength(Extent(), ProgressFraction(m_nPosition, m_nLower, m_nUpper));
    if (filled != m_nFilledPixels) {
        m_nFilledPixels = filled;
        repaint();
    }
    return previous;
}

int CLabeledProgressCtrl::DeltaPos(int increment)
{
    return SetPos(WrappingAdd(m_nPosition, increment));
}

int CLabeledProgressCtrl::StepIt()
{
    return SetPos(WrappingAdd(m_nPosition, m_nStep));
}

int CLabeledProgressCtrl::SetStep(int step)
{
    return std::exchange(m_nStep, step);
}

ColorRef CLabeledProgressCtrl::SetBarColor(ColorRef color)
{
    update();
    return std::exchange(m_crBar, color);
}

ColorRef CLabeledProgressCtrl::SetBkColor(ColorRef color)
{
    update();
    return std::exchange(m_crBack, color);
}

ColorRef CLabeledProgressCtrl::SetLabelColor(ColorRef color)
{
    update();
    return std::exchange(m_crLabel, color);
}

void CLabeledProgressCtrl::ShowLabel(bool show)
{
    if (show != m_bShowLabel)
        update();
    m_bShowLabel = show;
}

void CLabeledProgressCtrl::SetLabelText(const char* text)
{
    const std::string_view newText = text != nullptr ? text : "";
    if (newText == m_strLabel)
        return;
    m_strLabel = newText;
    update();
}

std::size_t CLabeledProgressCtrl::GetLabelText(char* buffer, std::size_t size) const
{
    return CopyLabel(m_strLabel, buffer, size);
}

void CLabeledProgressCtrl::SetOrientation(Qt::Orientation orientation)
{
    if (orientation == m_orientation)
        return;
    m_orientation = orientation;
    m_nFilledPixels = -1;
    setSizePolicy(sizePolicy().transposed());
    updateGeometry();
    update();
}

Qt::Orientation CLabeledProgressCtrl::Orientation() const
{
    return m_orientation;
}

QSize CLabeledProgressCtrl::sizeHint() const
{
    const QFontMetrics metrics(LabelFont());
    const QSize horizontal(metrics.horizontalAdvance(QStringLiteral("100%")) * 4, metrics.height() + 6);
    return m_orientation == Qt::Horizontal ? horizontal : horizontal.transposed();
}

void CLabeledProgressCtrl::paintEvent(QPaintEvent* /*event*/)
{
    // Qt counts the area as painted whether or not anything is drawn.
    if (m_nLower >= m_nUpper)
        return;

    // Default colours are looked up at every paint, so a palette change shows.
    const QColor bar = ResolveColor(m_crBar, palette().color(QPalette::Highlight));
    const QColor back = ResolveColor(m_crBack, palette().color(QPalette::Base));
    const double fraction = ProgressFraction(m_nPosition, m_nLower, m_nUpper);
    // Everything is laid out on the whole client rectangle, never on the area
    // being repainted, so a partial repaint matches a full one pixel for pixel.
    const QRect client = rect();
    const BarSplit split = SplitBar(client, FilledLength(Extent(), fraction), m_orientation);

    QPainter painter(this);
    painter.fillRect(split.filled, bar);
    painter.fillRect(split.empty, back);

    if (!m_bShowLabel || m_orientation == Qt::Vertical)
        return;
    painter.setFont(LabelFont());
    const QString label = QString::fromStdString(LabelText(m_strLabel, fraction));
    const auto drawPart = [&](const QRect& part, const QColor& automatic) {
        if (part.isEmpty())
            return;
        painter.setClipRect(part);
        painter.setPen(ResolveColor(m_crLabel, automatic));
        painter.drawText(client, kLabelFormat, label);
    };
    drawPart(split.filled, back);
    drawPart(split.empty, bar);
}

void CLabeledProgressCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_nFilledPixels = -1;
}

int CLabeledProgressCtrl::Extent() const
{
    return m_orientation == Qt::Horizontal ? width() : height();
}

QFont CLabeledProgressCtrl::LabelFont() const
{
    // Without a parent the widget's own (the application's) font stands in.
    const QWidget* parent = parentWidget();
    return parent != nullptr ? parent->font() : font();
}

}  // namespace bramis
