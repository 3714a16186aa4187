// The arithmetic of the labelled progress bar, kept apart from the widget so
// that it can be checked without a display: colours with a "default" marker,
// the fraction done, the filled length, the percentage label, the split of
// the bar into its filled and empty parts, and the copy of the label text.
// Pure functions; any thread may call them.
#pragma once

#include <QColor>
#include <QRect>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace bramis {

// A colour as the bar's owner gives it: 0x00BBGGRR, or kColorDefault for
// "use the palette's colour". The marker cannot collide with a real colour,
// whose top byte is always 0.
using ColorRef = std::uint32_t;
inline constexpr ColorRef kColorDefault = 0xFF000000u;

// The ColorRef of an opaque colour.
constexpr ColorRef MakeColorRef(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return ColorRef{red} | (ColorRef{green} << 8) | (ColorRef{blue} << 16);
}

// The colour `color` stands for: `fallback` for kColorDefault, otherwise the
// red, green and blue bytes of `color` (its top byte is ignored).
QColor ResolveColor(ColorRef color, const QColor& fallback);

// The range record that GetRange fills.
struct PBRANGE {
    int iLow;
    int iHigh;
};

// The two limits in the packed 16-bit form: the lower limit in the low word,
// the upper limit in the high word, each truncated to 16 bits.
std::uint32_t PackRange(int lower, int upper);

// a + b wrapped to 32 bits, as a position that steps past the largest int
// turns over instead of overflowing.
int WrappingAdd(int a, int b);

// (position - lower) / (upper - lower) in double precision, the differences
// taken without overflow. 0 for an empty or inverted range (lower >= upper),
// which the bar never draws.
double ProgressFraction(int position, int lower, int upper);

// The filled length of a bar `extent` pixels long at `fraction` done:
// extent * fraction truncated toward zero. Positions outside the range give
// lengths below 0 or above `extent`; absurd ones saturate at the int limits.
int FilledLength(int extent, double fraction);

// The percentage done: fraction * 100 truncated toward zero (saturating).
int PercentDone(double fraction);

// The label shown: `text` when it is not empty, otherwise the percentage
// done followed by a percent sign ("28%").
std::string LabelText(std::string_view text, double fraction);

// The client rectangle split at the filled length: a horizontal bar fills
// from the left, a vertical bar from the bottom. The length is clamped to
// the rectangle, so both parts lie inside it and together cover it.
struct BarSplit {
    QRect filled;
    QRect empty;
};
BarSplit SplitBar(const QRect& client, int filledLength, Qt::Orientation orientation);

// Copies `text` into `buffer` of `size` bytes: at most size - 1 bytes and a
// terminating NUL, never ending inside a UTF-8 sequence. Copies nothing when
// `size` is 0 or `buffer` is null. Returns the bytes copied, without the NUL.
std::size_t CopyLabel(std::string_view text, char* buffer, std::size_t size);

}  // namespace bramis
