// The 8-bit code page of drive library text. On Linux it is Windows-1252,
// where every byte maps to one character (the five bytes that Windows-1252
// leaves undefined map to the C1 control of the same value); on Windows it
// is the system's ANSI code page.
#pragma once

#include <cstddef>
#include <string>

namespace opstation {

char16_t decodeAnsiByte(unsigned char byte);

// Decodes exactly `size` bytes, NULs included: one character per byte.
std::u16string decodeAnsi(const char *bytes, std::size_t size);
void decodeAnsi(const char *bytes, std::size_t size, char16_t *into);

}  // namespace opstation
