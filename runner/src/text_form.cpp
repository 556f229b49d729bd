#include "opstation/runner/text_form.h"

#include <array>

namespace opstation {

namespace {

struct Escape {
    char16_t unit;
    std::string_view written;
};

constexpr std::array kEscapes = {Escape{u'"', "\\\""}, Escape{u'\\', "\\\\"}, Escape{u'\0', "\\0"}};

bool isControl(char16_t unit) { return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F); }

void appendHexEscape(std::string &out, char16_t unit) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[(unit >> 4) & 0xF];
    out += kDigits[unit & 0xF];
}

}  // namespace

std::string printableSource(std::string_view utf8, std::size_t most) {
    std::string out;
    std::size_t characters = 0;
    for (std::size_t at = 0; at < utf8.size(); ++characters) {
        if (characters == most) return out + "…";
        const std::size_t start = at;
        const std::optional<char32_t> code = nextUtf8(utf8, at);
        if (!code) {
            appendHexEscape(out, static_cast<unsigned char>(utf8[start]));
            at = start + 1;
        } else if (*code <= 0xFFFF && isControl(static_cast<char16_t>(*code))) {
            appendHexEscape(out, static_cast<char16_t>(*code));
        } else {
            out.append(utf8.substr(start, at - start));
        }
    }
    return out;
}

std::string quotedSource(std::string_view utf8, std::size_t most) { return '"' + printableSource(utf8, most) + '"'; }

std::string quotedLine(std::u16string_view line) {
    if (line.size() <= kShownLineSize) return quoted(line);
    return quoted(line.substr(0, kShownLineSize)) + " + " + quoted(line.substr(kShownLineSize));
}

std::string counted(uint64_t n, std::string_view noun) {
    return std::to_string(n) + " " + std::string(noun) + (n == 1 ? "" : "s");
}

void appendUtf8(std::string &out, char16_t unit) {
    if (unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit < 0x800) {
        out += static_cast<char>(0xC0 | (unit >> 6));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (unit >> 12));
        out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    }
}

void appendQuoted(std::string &out, std::u16string_view text) {
    out += '"';
    for (char16_t unit : text) {
        const Escape *escape = nullptr;
        for (const Escape &e : kEscapes)
            if (e.unit == unit) escape = &e;
        if (escape != nullptr) out += escape->written;
        else if (isControl(unit)) appendHexEscape(out, unit);
        else appendUtf8(out, unit);
    }
    out += '"';
}

std::string quoted(std::u16string_view text) {
    std::string out;
    appendQuoted(out, text);
    return out;
}

std::optional<char32_t> nextUtf8(std::string_view text, std::size_t &offset) {
    const auto lead = static_cast<unsigned char>(text[offset++]);
    if (lead < 0x80) return lead;
    // Lead bytes C2..DF, E0..EF and F0..F4 start sequences of 2, 3 and 4 bytes.
    const int more = lead >= 0xC2 && lead <= 0xDF ? 1 : lead >= 0xE0 && lead <= 0xEF ? 2 : lead >= 0xF0 && lead <= 0xF4 ? 3 : -1;
    if (more < 0 || offset + static_cast<std::size_t>(more) > text.size()) return std::nullopt;
    char32_t code = lead & (0x3F >> more);
    for (int i = 0; i < more; ++i) {
        const auto next = static_cast<unsigned char>(text[offset++]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        code = (code << 6) | (next & 0x3F);
    }
    constexpr std::array<char32_t, 4> kSmallest = {0, 0x80, 0x800, 0x10000};  // shorter forms are not UTF-8
    if (code < kSmallest[static_cast<std::size_t>(more)] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return std::nullopt;
    return code;
}

}  // namespace opstation
