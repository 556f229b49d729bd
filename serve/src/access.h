// Who may reach the station, decided on plain text so that it can be
// checked without a network: the access tokens (one to operate, one to
// watch), where a request carries its token, and the Host and Origin
// headers that keep other web sites out (DNS rebinding, cross-site
// WebSockets).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "opstation/serve/page_protocol.h"

namespace opstation::serve {

// 128 bits from the system's generator, as 32 lower-case hex digits.
std::string newToken();

struct AccessTokens {
    std::string operating;
    std::string viewing;  // empty without --view-link

    // The role a presented token gives; none for any other text. Compares
    // in time independent of where a wrong token differs.
    std::optional<Role> roleOf(std::string_view token) const;
};

// The path of a request target, without its query.
std::string_view pathOf(std::string_view target);
// A parameter of the target's query ("?token=..."), as it stands.
std::optional<std::string_view> queryValue(std::string_view target, std::string_view name);
// A cookie of a Cookie header ("a=1; b=2").
std::optional<std::string_view> cookieValue(std::string_view header, std::string_view name);

// The page keeps its token in a cookie named for the port, so that two
// stations on one machine do not overwrite each other's.
std::string cookieName(uint16_t port);
std::string tokenCookie(uint16_t port, std::string_view token);

// The names a request's Host header may give: the listening address,
// localhost, the names given with --allow-host and, when listening on every
// address, any IP address (a name can be rebound to this machine by
// someone else's DNS; an address typed by the user cannot).
struct HostRule {
    std::string listenAddress;  // as the system writes it: "127.0.0.1", "::1"
    bool listensEverywhere = false;
    std::vector<std::string> allowedNames;

    bool allows(std::string_view hostHeader) const;
};

// The host part of a Host header: "[::1]:8040" gives "::1", "Name:80" "name".
std::string hostName(std::string_view hostHeader);

// A WebSocket's Origin must be the page's own: http or https with the
// request's own Host.
bool sameOrigin(std::string_view origin, std::string_view hostHeader);

// --listen's ADDR:PORT ("127.0.0.1:8040", "[::1]:0", "localhost:8040").
struct ListenAddress {
    std::string address;
    uint16_t port = 0;
};
std::optional<ListenAddress> parseListenAddress(std::string_view text);

}  // namespace opstation::serve
