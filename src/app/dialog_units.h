// Dialog units: the layout grid of the programmer's windows. One horizontal
// unit is a quarter of the dialog font's average character width, one vertical
// unit an eighth of its line height, so a layout keeps its proportions on any
// font, screen resolution or platform.
#pragma once

#include <QRect>
#include <QSize>

class QFont;
class QWidget;

namespace bramis {

// Pixels per 4 horizontal (x) and per 8 vertical (y) dialog units.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};

// A rectangle in dialog units, as a window layout gives it.
struct DluRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Base units from the width of the 52 Latin letters "A".."Z", "a".."z" set in
// the dialog font and that font's line height: x is half the rounded-up
// average of 26 letter pairs, the rule the dialog templates were drawn for.
// Pure; any thread.
DialogBaseUnits BaseUnitsFromMetrics(int alphabetWidth, int lineHeight);

// Base units of `font` as it is laid out on the screen. GUI thread.
DialogBaseUnits BaseUnitsOf(const QFont& font);

// a * b / c rounded half away from zero, in 64-bit arithmetic. Pure.
int MulDivRound(int a, int b, int c);

// Converts a rectangle in dialog units to pixels. Each edge is converted on
// its own, so controls that share an edge in units share it in pixels. Pure.
QRect MapDialogRect(const DialogBaseUnits& units, const DluRect& rect);

// Converts a size in dialog units to pixels (a window's client area). Pure.
QSize MapDialogSize(const DialogBaseUnits& units, int width, int height);

// Places `widget` at `rect` (dialog units) of its parent's client area,
// shifted down by `topOffset` pixels (the height of a menu bar). GUI thread.
void PlaceInDialogUnits(QWidget* widget, const DialogBaseUnits& units, const DluRect& rect,
                        int topOffset = 0);

}  // namespace bramis
