#include "access.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

#include "opstation/platform/system_random.h"

namespace opstation::serve {

namespace {

constexpr std::size_t kTokenBytes = 16;

bool sameInConstantTime(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char differ = 0;
    for (std::size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool isIpv4(std::string_view name) {
    int parts = 0;
    while (!name.empty()) {
        const std::size_t dot = name.find('.');
        const std::string_view part = name.substr(0, dot);
        unsigned value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (error != std::errc{} || end != part.data() + part.size() || part.empty() || value > 255) return false;
        ++parts;
        name = dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
    }
    return parts == 4;
}

bool isIpv6(std::string_view name) {
    return name.find(':') != std::string_view::npos &&
           std::all_of(name.begin(), name.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'; });
}

}  // namespace

std::string newToken() {
    std::array<std::uint8_t, kTokenBytes> bytes;
    platform::fillFromSystemGenerator(bytes);
    constexpr std::string_view kHex = "0123456789abcdef";
    std::string token;
    for (const std::uint8_t byte : bytes) {
        token += kHex[byte >> 4];
        token += kHex[byte & 0x0F];
    }
    return token;
}

std::optional<Role> AccessTokens::roleOf(std::string_view token) const {
    const bool operates = sameInConstantTime(token, operating);
    const bool watches = !viewing.empty() && sameInConstantTime(token, viewing);
    if (operates) return Role::operating;
    if (watches) return Role::viewing;
    return std::nullopt;
}

std::string_view pathOf(std::string_view target) { return target.substr(0, target.find('?')); }

std::optional<std::string_view> queryValue(std::string_view target, std::string_view name) {
    const std::size_t question = target.find('?');
    if (question == std::string_view::npos) return std::nullopt;
    std::string_view query = target.substr(question + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t equals = pair.find('=');
        if (pair.substr(0, equals) == name) return equals == std::string_view::npos ? "" : pair.substr(equals + 1);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    }
    return std::nullopt;
}

std::optional<std::string_view> cookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const std::size_t semicolon = header.find(';');
        const std::string_view pair = trimmed(header.substr(0, semicolon));
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name) return pair.substr(equals + 1);
        header = semicolon == std::string_view::npos ? std::string_view{} : header.substr(semicolon + 1);
    }
    return std::nullopt;
}

std::string cookieName(uint16_t port) { return "opstation-" + std::to_string(port); }

std::string tokenCookie(uint16_t port, std::string_view token) {
    return cookieName(port) + "=" + std::string(token) + "; HttpOnly; SameSite=Strict; Path=/";
}

std::string hostName(std::string_view hostHeader) {
    hostHeader = trimmed(hostHeader);
    if (hostHeader.starts_with('[')) return lowerCase(hostHeader.substr(1, hostHeader.find(']') - 1));
    return lowerCase(hostHeader.substr(0, hostHeader.find(':')));
}

bool HostRule::allows(std::string_view hostHeader) const {
    const std::string name = hostName(hostHeader);
    if (name.empty()) return false;
    if (name == "localhost" || name == lowerCase(listenAddress)) return true;
    if (listensEverywhere && (isIpv4(name) || isIpv6(name))) return true;
    return std::any_of(allowedNames.begin(), allowedNames.end(), [&](const std::string &a) { return lowerCase(a) == name; });
}

bool sameOrigin(std::string_view origin, std::string_view hostHeader) {
    const std::string host = lowerCase(trimmed(hostHeader));
    const std::string given = lowerCase(origin);
    return !host.empty() && (given == "http://" + host || given == "https://" + host);
}

std::optional<ListenAddress> parseListenAddress(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    std::string_view address = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    if (address.starts_with('[') && address.ends_with(']')) address = address.substr(1, address.size() - 2);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (error != std::errc{} || end != port.data() + port.size() || port.empty() || value > 65535) return std::nullopt;
    if (address.empty()) return std::nullopt;
    return ListenAddress{address == "localhost" ? "127.0.0.1" : std::string(address), static_cast<uint16_t>(value)};
}

}  // namespace opstation::serve
