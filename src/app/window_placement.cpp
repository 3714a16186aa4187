#include "window_placement.h"

#include <QApplication>
#include <QRect>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace bramis {
namespace {

// The frame a window manager puts around `window`. Before it is shown there
// is none yet: a title bar and thin borders are assumed.
QSize FrameOf(const QWidget& window) {
    const QSize frame = window.frameGeometry().size() - window.size();
    if (!frame.isNull()) return frame;
    constexpr int kBorder = 4;
    return {2 * kBorder, window.style()->pixelMetric(QStyle::PM_TitleBarHeight) + 2 * kBorder};
}

}  // namespace

QWidget* ShownWindowOf(QWidget* owner) {
    for (QWidget* window = owner ? owner->window() : nullptr; window != nullptr;
         window = window->parentWidget() ? window->parentWidget()->window() : nullptr)
        if (window->isVisible()) return window;
    return QApplication::activeWindow();
}

QSize FitToScreen(QSize wanted, const QWidget& window, const QWidget* frameOf) {
    const QSize room = window.screen()->availableGeometry().size() - FrameOf(frameOf ? *frameOf : window);
    return wanted.boundedTo(room);
}

void CentreOn(QWidget& window, const QWidget* anchor) {
    if (anchor == nullptr) return;
    QRect place(QPoint(), window.frameGeometry().size());
    place.moveCenter(anchor->frameGeometry().center());
    const QRect screen = anchor->screen()->availableGeometry();
    place.moveLeft(std::max(screen.left(), std::min(place.left(), screen.right() + 1 - place.width())));
    place.moveTop(std::max(screen.top(), std::min(place.top(), screen.bottom() + 1 - place.height())));
    window.move(place.topLeft());
}

}  // namespace bramis
