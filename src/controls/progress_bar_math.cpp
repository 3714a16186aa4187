#include "controls/progress_bar_math.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace bramis {

namespace {

// Truncates toward zero, saturating where an int cannot hold the value.
int TruncateSaturating(double value)
{
    constexpr double kMin = std::numeric_limits<int>::min();
    constexpr double kMax = std::numeric_limits<int>::max();
    return static_cast<int>(std::trunc(std::clamp(value, kMin, kMax)));
}

bool IsUtf8Continuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0u) == 0x80u;
}

}  // namespace

QColor ResolveColor(ColorRef color, const QColor& fallback)
{
    if (color == kColorDefault)
        return fallback;
    return QColor(static_cast<int>(color & 0xFFu), static_cast<int>((color >> 8) & 0xFFu),
                  static_cast<int>((color >> 16) & 0xFFu));
}

std::uint32_t PackRange(int lower, int upper)
{
    return (static_cast<std::uint32_t>(lower) & 0xFFFFu) |
           ((static_cast<std::uint32_t>(upper) & 0xFFFFu) << 16);
}

int WrappingAdd(int a, int b)
{
    return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

double ProgressFraction(int position, int lower, int upper)
{
    if (lower >= upper)
        return 0.0;
    // 64-bit differences: a range such as INT_MIN..INT_MAX overflows 32 bits.
    const auto done = static_cast<std::int64_t>(position) - lower;
    const auto span = static_cast<std::int64_t>(upper) - lower;
    return static_cast<double>(done) / static_cast<double>(span);
}

int FilledLength(int extent, double fraction)
{
    return TruncateSaturating(static_cast<double>(extent) * fraction);
}

int PercentDone(double fraction)
{
    return TruncateSaturating(fraction * 100.0);
}

std::string LabelText(std::string_view text, double fraction)
{
    if (!text.empty())
        return std::string(text);
    return std::to_string(PercentDone(fraction)) + '%';
}

BarSplit SplitBar(const QRect& client, int filledLength, Qt::Orientation orientation)
{
    if (orientation == Qt::Vertical) {
        const int length = std::clamp(filledLength, 0, client.height());
        const int boundary = client.y() + client.height() - length;
        return {QRect(client.x(), boundary, client.width(), length),
                QRect(client.x(), client.y(), client.width(), client.height() - length)};
    }
    const int length = std::clamp(filledLength, 0, client.width());
    return {QRect(client.x(), client.y(), length, client.height()),
            QRect(client.x() + length, client.y(), client.width() - length, client.height())};
}

std::size_t CopyLabel(std::string_view text, char* buffer, std::size_t size)
{
    if (buffer == nullptr || size == 0)
        return 0;
    std::size_t count = std::min(text.size(), size - 1);
    while (count > 0 && count < text.size() && IsUtf8Continuation(text[count]))
        --count;
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return count;
}

}  // namespace bramis
