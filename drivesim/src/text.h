// Display lines as the panel takes them: 16 visible characters, space
// padded, then NUL bytes up to the 20 bytes of the panel's buffer.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace drivesim {

inline constexpr std::size_t kVisibleChars = 16;
inline constexpr std::size_t kLineBytes = 20;

using Line = std::array<char, kLineBytes>;

// Pads or cuts text to the visible width; bytes past it are NUL.
Line makeLine(std::string_view text);

// Left part and right part of a line, the right part flush right.
Line makeLine(std::string_view left, std::string_view right);

// value with the given number of decimals, e.g. "12.5".
std::string fixed(double value, int decimals);

}  // namespace drivesim
