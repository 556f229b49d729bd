// Fuzz harness for op-station-serve's reading of what a page sends: any
// bytes a WebSocket may carry. Whatever they are, readPageMessage returns
// one of the page's messages, which written the way the page writes it
// reads back the same, or a rejection whose reason is short printable text
// (it closes the connection and goes to the server's log). Nothing may
// throw, crash or read past the input.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "opstation/panel/key_model.h"
#include "opstation/panel/vocabulary.h"
#include "opstation/serve/page_protocol.h"

namespace opstation::serve {
namespace {

[[noreturn]] void fail(const char *what, std::string_view input) {
    std::fprintf(stderr, "page message fuzz: %s, reading %.*s\n", what, static_cast<int>(input.size()), input.data());
    std::abort();
}

// The message as page.js writes it.
std::string written(const PageMessage &m) {
    using Kind = PageMessage::Kind;
    const auto code = [&] {
        for (const PcKeyCode &c : pcKeyCodes())
            if (c.virtualKey == m.pcKey) return c.code;
        return std::string("?");
    };
    switch (m.kind) {
    case Kind::pointerDown: return R"({"t":"down","key":")" + std::string(nameOf(kPanelKeyNames, m.key)) + "\"}";
    case Kind::pointerUp: return R"({"t":"up","key":")" + std::string(nameOf(kPanelKeyNames, m.key)) + "\"}";
    case Kind::pcKeyDown: return R"({"t":"keydown","code":")" + code() + "\"}";
    case Kind::pcKeyUp: return R"({"t":"keyup","code":")" + code() + "\"}";
    case Kind::letGo: return R"({"t":"letgo"})";
    }
    return {};
}

bool same(const PageMessage &a, const PageMessage &b) {
    return a.kind == b.kind && a.key == b.key && a.pcKey == b.pcKey;
}

}  // namespace
}  // namespace opstation::serve

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    using namespace opstation::serve;
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const auto read = readPageMessage(input);
    if (const auto *rejection = std::get_if<Rejection>(&read)) {
        if (rejection->reason.empty() || rejection->reason.size() > 120) fail("a reason empty or over 120 bytes", input);
        for (const char c : rejection->reason)
            if (c < 0x20 || c > 0x7E) fail("a reason with a character that is not printable ASCII", input);
        return 0;
    }
    const PageMessage &message = std::get<PageMessage>(read);
    if (input.size() > kMaxPageMessageBytes) fail("a message over 1 KiB taken", input);
    const bool pcKey = message.kind == PageMessage::Kind::pcKeyDown || message.kind == PageMessage::Kind::pcKeyUp;
    if (pcKey && opstation::panelKeysFor(message.pcKey).empty()) fail("a PC key outside the key map taken", input);
    if (!pcKey && message.pcKey != 0) fail("a PC key in a message without one", input);
    if (static_cast<std::size_t>(message.key) >= opstation::kPanelKeyCount) fail("a panel key out of range", input);
    const auto again = readPageMessage(written(message));
    if (!std::holds_alternative<PageMessage>(again) || !same(std::get<PageMessage>(again), message))
        fail("a message that reads otherwise written back", input);
    return 0;
}
