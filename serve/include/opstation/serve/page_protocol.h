// The messages between op-station-serve and its page (serve/page/page.js),
// over one WebSocket at /ws: text frames, each one JSON object whose "t"
// names its kind. This is the one place they are described; the page's
// script and the tests follow it.
//
// Page to server, at most kMaxPageMessageBytes each and kMaxPageMessagesPerSecond
// a second; anything else closes the page's connection with a reason:
//
//   {"t":"down","key":KEY}       a pointer went down on a panel key
//   {"t":"up","key":KEY}         the pointer that went down on it came up
//                                (or was lost)
//   {"t":"keydown","code":CODE}  a PC key went down, auto-repeats included
//   {"t":"keyup","code":CODE}    a PC key came up
//   {"t":"letgo"}                the page lost the focus or is going: let go
//                                of every key it holds
//
//   KEY is a panel key by the drive library's name (kPanelKeyNames: up
//   down esc menu dir jog local run stop disp). CODE is the PC key's
//   place on a US keyboard as KeyboardEvent.code names it ("KeyR",
//   "ArrowLeft", "F2"), one of the codes the hello lists.
//
// Server to page:
//
//   {"t":"hello","protocol":1,"role":"operator"|"viewer",
//    "recording":true|false,"codes":[CODE...],"leds":[LED...]}
//        first, once: what the page may send, whether the session is being
//        recorded (the page says so, as the window's title does), and the
//        order of the LEDs in every state (kLedNames: health fwd rev run
//        stop seq ref)
//   {"t":"state","cycle":N,"title":TEXT,"lines":[LINE1,LINE2],
//    "lit":[0|1,...],"shows":["off"|"on"|"flashing",...]}
//        the station after exchange cycle N, sent when any of it changed:
//        the window title, both display lines whole (20 characters, NULs
//        included), which LEDs are lit now (the station's flash clock) and
//        what each shows over a whole flash period
//   {"t":"failed","message":TEXT}  the drive library failed: the window's
//        message, naming the library file, the entry point and the cause;
//        the station stops
//   {"t":"closed","message":TEXT}  the station was closed
//
// A page that is refused (too many pages) gets a WebSocket close with code
// 1013 and the reason; bad input gets code 1008 (1009 when too long).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "opstation/drive_link.h"
#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/station_state.h"

namespace opstation::serve {

inline constexpr int kProtocolVersion = 1;
inline constexpr std::size_t kMaxPageMessageBytes = 1024;
inline constexpr int kMaxPageMessagesPerSecond = 200;

// What a page's token lets it do.
enum class Role : uint8_t { operating, viewing };

// A message from a page, read.
struct PageMessage {
    enum class Kind : uint8_t { pointerDown, pointerUp, pcKeyDown, pcKeyUp, letGo };
    Kind kind = Kind::letGo;
    PanelKey key = PanelKey::up;  // pointerDown, pointerUp
    int pcKey = 0;                // pcKeyDown, pcKeyUp: the Windows virtual-key code
};

// Why a message is not one the page sends; the text closes its connection.
struct Rejection {
    std::string reason;
};

std::variant<PageMessage, Rejection> readPageMessage(std::string_view text);

// The PC keys a page passes on, by KeyboardEvent.code: those of the panel's
// key map, each with its virtual-key code.
struct PcKeyCode {
    std::string code;
    int virtualKey;
};
std::span<const PcKeyCode> pcKeyCodes();

// What the pages show of the station after a cycle.
struct StationView {
    Text title;
    std::array<Text, 2> lines;
    std::array<bool, kLedCount> lit{};  // by Led
    std::array<LedShowing, kLedCount> shows{};

    bool operator==(const StationView &) const = default;
};

std::string helloMessage(Role role, bool recording);
std::string stateMessage(const StationView &view, uint64_t cycle);
std::string failedMessage(std::string_view message);
std::string closedMessage(std::string_view message);

// Text as UTF-8, for the messages and for the server's own words.
std::string utf8(std::u16string_view text);

}  // namespace opstation::serve
