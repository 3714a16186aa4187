#include "dialog_units.h"

#include <QFont>
#include <QFontMetrics>
#include <QWidget>

#include <cstdint>
#include <cstdlib>

namespace bramis {

DialogBaseUnits BaseUnitsFromMetrics(int alphabetWidth, int lineHeight) {
    return {(alphabetWidth / 26 + 1) / 2, lineHeight};
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabetWidth =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return BaseUnitsFromMetrics(alphabetWidth, metrics.height());
}

int MulDivRound(int a, int b, int c) {
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const std::int64_t divisor = std::abs(static_cast<std::int64_t>(c));
    // Rounded on the magnitudes, so that halves go away from zero either way.
    const std::int64_t magnitude = (std::abs(product) + divisor / 2) / divisor;
    return static_cast<int>((product < 0) != (c < 0) ? -magnitude : magnitude);
}

QRect MapDialogRect(const DialogBaseUnits& units, const DluRect& rect) {
    const int left = MulDivRound(rect.x, units.x, 4);
    const int top = MulDivRound(rect.y, units.y, 8);
    const int right = MulDivRound(rect.x + rect.width, units.x, 4);
    const int bottom = MulDivRound(rect.y + rect.height, units.y, 8);
    return {left, top, right - left, bottom - top};
}

QSize MapDialogSize(const DialogBaseUnits& units, int width, int height) {
    return MapDialogRect(units, {0, 0, width, height}).size();
}

void PlaceInDialogUnits(QWidget* widget, const DialogBaseUnits& units, const DluRect& rect,
                        int topOffset) {
    widget->setGeometry(MapDialogRect(units, rect).translated(0, topOffset));
}

}  // namespace bramis
