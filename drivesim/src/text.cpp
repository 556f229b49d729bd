#include "text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace drivesim {

Line makeLine(std::string_view text) {
    Line line{};
    line.fill('\0');
    const std::size_t n = std::min(text.size(), kVisibleChars);
    std::fill(line.begin(), line.begin() + kVisibleChars, ' ');
    std::copy_n(text.begin(), n, line.begin());
    return line;
}

Line makeLine(std::string_view left, std::string_view right) {
    std::string text(kVisibleChars, ' ');
    // The right part wins the room when both do not fit: it carries the value.
    const std::size_t r = std::min(right.size(), kVisibleChars);
    text.replace(kVisibleChars - r, r, right.substr(0, r));
    const std::size_t l = std::min(left.size(), kVisibleChars - r);
    text.replace(0, l, left.substr(0, l));
    return makeLine(text);
}

// Integer arithmetic rather than printf: the display is formatted on every
// cycle, and this keeps a cycle of the drive cheap.
std::string fixed(double value, int decimals) {
    static constexpr std::array<long long, 5> kScale = {1, 10, 100, 1000, 10000};
    decimals = std::clamp(decimals, 0, int(kScale.size()) - 1);
    const long long scale = kScale[static_cast<std::size_t>(decimals)];
    if (!std::isfinite(value)) value = 0.0;
    // Round first, so that a value just below zero never shows as "-0.0".
    const long long scaled = std::llround(value * static_cast<double>(scale));
    const long long magnitude = scaled < 0 ? -scaled : scaled;
    std::string text = scaled < 0 ? "-" : "";
    text += std::to_string(magnitude / scale);
    if (decimals > 0) {
        const std::string fraction = std::to_string(magnitude % scale);
        text += '.';
        text.append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
        text += fraction;
    }
    return text;
}

}  // namespace drivesim
