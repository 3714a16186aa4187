// Where the programmer's own windows go on the screen: in the middle of the
// window they belong to, and never off the screen's available area, at any
// scale.
#pragma once

#include <QSize>

class QWidget;

namespace bramis {

// The window `owner` belongs to or, while that is hidden, the nearest shown
// one above it; else the active window; null when there is none. GUI thread.
QWidget* ShownWindowOf(QWidget* owner);

// `wanted`, cut down to what the available area of `window`'s screen leaves
// for the inside of a window framed as `frameOf` is (the window itself when
// null). GUI thread.
QSize FitToScreen(QSize wanted, const QWidget& window, const QWidget* frameOf = nullptr);

// Moves the top-level `window` into the middle of `anchor` (nowhere when
// null), then as far as needed to lie wholly on `anchor`'s screen. GUI thread.
void CentreOn(QWidget& window, const QWidget* anchor);

}  // namespace bramis
