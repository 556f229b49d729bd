#include "opstation/serve/page_protocol.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <vector>

#include "opstation/panel/key_model.h"
#include "opstation/panel/vocabulary.h"

namespace opstation::serve {

namespace {

using nlohmann::json;
using Kind = PageMessage::Kind;

// The one field each kind of message carries besides "t".
enum class Field : uint8_t { none, key, code };

struct Reading {
    std::string_view kind;
    Kind as;
    Field field;
};

constexpr std::array<Reading, 5> kReadings = {{
    {"down", Kind::pointerDown, Field::key},
    {"up", Kind::pointerUp, Field::key},
    {"keydown", Kind::pcKeyDown, Field::code},
    {"keyup", Kind::pcKeyUp, Field::code},
    {"letgo", Kind::letGo, Field::none},
}};

constexpr std::array<std::string_view, 3> kFieldNames = {"", "key", "code"};

// PC keys other than letters, by KeyboardEvent.code; letters are "KeyA" to
// "KeyZ" and give the code of their capital.
constexpr std::array<std::pair<std::string_view, int>, 7> kNamedPcKeys = {{
    {"ArrowLeft", vk::left},
    {"ArrowUp", vk::up},
    {"ArrowRight", vk::right},
    {"ArrowDown", vk::down},
    {"F2", vk::f2},
    {"F3", vk::f3},
    {"F4", vk::f4},
}};

std::vector<PcKeyCode> makePcKeyCodes() {
    std::vector<PcKeyCode> codes;
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        if (!panelKeysFor(letter).empty()) codes.push_back({std::string("Key") + letter, letter});
    for (const auto &[code, virtualKey] : kNamedPcKeys)
        if (!panelKeysFor(virtualKey).empty()) codes.push_back({std::string(code), virtualKey});
    return codes;
}

// What a page sent, as it may appear in a reason: printable ASCII, short.
std::string asShown(std::string_view text) {
    constexpr std::size_t kShown = 24;
    std::string shown = "\"";
    for (const char c : text.substr(0, kShown)) shown += c >= 0x20 && c < 0x7F ? c : '?';
    return shown + (text.size() > kShown ? "...\"" : "\"");
}

Rejection rejected(std::string reason) { return {std::move(reason)}; }

std::variant<PageMessage, Rejection> readField(const Reading &reading, const json &message) {
    PageMessage read{.kind = reading.as};
    if (reading.field == Field::none) {
        if (message.size() != 1) return rejected("a \"" + std::string(reading.kind) + "\" message with other fields");
        return read;
    }
    const std::string_view name = kFieldNames[static_cast<std::size_t>(reading.field)];
    const auto field = message.find(name);
    if (message.size() != 2 || field == message.end() || !field->is_string())
        return rejected("a \"" + std::string(reading.kind) + "\" message without its one field \"" + std::string(name) + "\"");
    const std::string &value = field->get_ref<const std::string &>();
    if (reading.field == Field::key) {
        const auto key = valueOf(kPanelKeyNames, value);
        if (!key) return rejected("an unknown panel key " + asShown(value));
        read.key = *key;
        return read;
    }
    const auto codes = pcKeyCodes();
    const auto code = std::find_if(codes.begin(), codes.end(), [&](const PcKeyCode &c) { return c.code == value; });
    if (code == codes.end()) return rejected("a PC key that is not on the panel's key map: " + asShown(value));
    read.pcKey = code->virtualKey;
    return read;
}

void appendUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr std::array<std::string_view, 3> kShowingNames = {"off", "on", "flashing"};

}  // namespace

std::variant<PageMessage, Rejection> readPageMessage(std::string_view text) {
    if (text.size() > kMaxPageMessageBytes)
        return rejected("a message of " + std::to_string(text.size()) + " bytes, more than " +
                        std::to_string(kMaxPageMessageBytes));
    const json message = json::parse(text, nullptr, false);
    if (message.is_discarded()) return rejected("a message that is not JSON");
    const auto kind = message.is_object() ? message.find("t") : message.end();
    if (!message.is_object() || kind == message.end() || !kind->is_string())
        return rejected("a message that is no object with a kind \"t\"");
    const std::string &name = kind->get_ref<const std::string &>();
    for (const Reading &reading : kReadings)
        if (reading.kind == name) return readField(reading, message);
    return rejected("an unknown kind of message " + asShown(name));
}

std::span<const PcKeyCode> pcKeyCodes() {
    static const std::vector<PcKeyCode> codes = makePcKeyCodes();
    return codes;
}

std::string utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool high = unit >= 0xD800 && unit < 0xDC00;
        const bool pairs = high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        if (pairs) {
            appendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00));
        } else if (unit >= 0xD800 && unit < 0xE000) {
            appendUtf8(out, 0xFFFD);  // half a pair: no character
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

std::string helloMessage(Role role, bool recording) {
    nlohmann::ordered_json hello = {{"t", "hello"},
                                    {"protocol", kProtocolVersion},
                                    {"role", role == Role::operating ? "operator" : "viewer"},
                                    {"recording", recording}};
    json codes = json::array();
    for (const PcKeyCode &code : pcKeyCodes()) codes.push_back(code.code);
    json leds = json::array();
    for (const auto &led : kLedNames) leds.push_back(led.name);
    hello["codes"] = std::move(codes);
    hello["leds"] = std::move(leds);
    return hello.dump();
}

std::string stateMessage(const StationView &view, uint64_t cycle) {
    json lit = json::array();
    json shows = json::array();
    for (const auto &led : kLedNames) {
        const auto index = static_cast<std::size_t>(led.value);
        lit.push_back(view.lit[index] ? 1 : 0);
        shows.push_back(kShowingNames[static_cast<std::size_t>(view.shows[index])]);
    }
    nlohmann::ordered_json state = {{"t", "state"},
                                    {"cycle", cycle},
                                    {"title", utf8(view.title)},
                                    {"lines", {utf8(view.lines[0]), utf8(view.lines[1])}},
                                    {"lit", std::move(lit)},
                                    {"shows", std::move(shows)}};
    return state.dump();
}

std::string failedMessage(std::string_view message) {
    return nlohmann::ordered_json{{"t", "failed"}, {"message", std::string(message)}}.dump(-1, ' ', false,
                                                                                          json::error_handler_t::replace);
}

std::string closedMessage(std::string_view message) {
    return nlohmann::ordered_json{{"t", "closed"}, {"message", std::string(message)}}.dump(-1, ' ', false,
                                                                                          json::error_handler_t::replace);
}

}  // namespace opstation::serve
