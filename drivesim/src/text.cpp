#include "text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

std::string fixed(double value, int decimals) {
    // Round first, so that a value just below zero never shows as "-0.0".
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0) rounded = 0.0;
    char buffer[32] = {};
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, rounded);
    return buffer;
}

}  // namespace drivesim
