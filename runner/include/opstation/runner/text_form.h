// Display and title text written out for people: in double quotes, UTF-8,
// with NULs, quotes, backslashes and control characters escaped the way a
// script writes them, so a line copied from a transcript or a message can
// be pasted into an expectation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "opstation/drive_link.h"

namespace opstation {

// "\"STOPPED\\0\\0\"": \" \\ \0, and \xHH for the other control characters.
std::string quoted(std::u16string_view text);
void appendQuoted(std::string &out, std::u16string_view text);

// A piece of a script as messages quote it: its own letters and case,
// non-printing characters and bytes that are not UTF-8 escaped (\xHH), cut
// after `most` characters with "…". quotedSource puts it in double quotes.
std::string printableSource(std::string_view utf8, std::size_t most = 60);
std::string quotedSource(std::string_view utf8, std::size_t most = 60);

// A display line as the transcript and messages write it: the part the
// display shows, then " + " and the part it does not, each quoted.
std::string quotedLine(std::u16string_view line);

// "1 cycle", "2 cycles".
std::string counted(uint64_t n, std::string_view noun);

// One UTF-16 code unit as UTF-8.
void appendUtf8(std::string &out, char16_t unit);

// The next character of UTF-8 text at `offset`, advancing it; nullopt for a
// byte sequence that is not UTF-8.
std::optional<char32_t> nextUtf8(std::string_view text, std::size_t &offset);

}  // namespace opstation
