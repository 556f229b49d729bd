#include "opstation/ansi_codepage.h"

#include <array>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace opstation {

namespace {

// Bytes 0x80..0x9F of Windows-1252; the undefined 0x81, 0x8D, 0x8F, 0x90 and
// 0x9D map to the C1 control of the same value. Every other byte is its own
// Latin-1 character.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

}  // namespace

#if defined(_WIN32)
char16_t decodeAnsiByte(unsigned char byte) {
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const char in = static_cast<char>(b);
            wchar_t out = 0;
            t[b] = MultiByteToWideChar(CP_ACP, 0, &in, 1, &out, 1) == 1 ? static_cast<char16_t>(out) : static_cast<char16_t>(b);
        }
        return t;
    }();
    return table[byte];
}
#else
char16_t decodeAnsiByte(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return static_cast<char16_t>(byte);
}
#endif

void decodeAnsi(const char *bytes, std::size_t size, char16_t *into) {
    for (std::size_t i = 0; i < size; ++i) into[i] = decodeAnsiByte(static_cast<unsigned char>(bytes[i]));
}

std::u16string decodeAnsi(const char *bytes, std::size_t size) {
    std::u16string text(size, u'\0');
    decodeAnsi(bytes, size, text.data());
    return text;
}

}  // namespace opstation
