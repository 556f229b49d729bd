// HTTP and WebSocket for op-station-serve, on a thread of its own (Beast
// over Asio; this header keeps them out of every other file).
//
// Routes: the assets the program was given (the page at "/", its style
// sheets and script), and the pages' WebSocket at /ws. Every request must
// name an allowed host; the page and the WebSocket need a token (in the
// query, or the cookie the page set); the WebSocket must come from the
// page's own origin. Anything else is answered 403, 404 or 405 and reaches
// nothing of the station.
//
// Each page gets its state messages as fast as it takes them, and has at
// most one waiting, the newest: a page that stops reading costs neither the
// station nor the other pages anything, and is closed after a while.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "access.h"
#include "shared_keys.h"

namespace opstation::serve {

struct Asset {
    std::string path;
    std::string contentType;
    std::string body;
    bool needsToken = false;
};

struct WebSettings {
    ListenAddress listen;
    std::size_t maxPages = 32;
    std::vector<std::string> allowedHosts;
    AccessTokens tokens;
    std::vector<Asset> assets;
    bool recording = false;  // the pages say that the session is recorded
};

// The address cannot be listened on: the message names it and the cause.
class ListenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class WebServer {
public:
    // Binds and listens at once; throws ListenError.
    explicit WebServer(WebSettings settings);
    ~WebServer();
    WebServer(const WebServer &) = delete;
    WebServer &operator=(const WebServer &) = delete;

    uint16_t port() const;
    // The address as a browser names it in a URL: "127.0.0.1:8040", "[::1]:8040".
    std::string urlAuthority() const;
    bool onLoopback() const;
    bool listensEverywhere() const;

    // Serves from now on; the pages' keys go to `keys`.
    void start(SharedKeys::KeyModelStep keys);

    // From any thread: the station's newest state message.
    void publish(std::shared_ptr<const std::string> state);

    // The station ended: every page gets `last` (a failed or closed
    // message) and is closed; no page is taken any more. Returns at once.
    void end(std::string last);
    // Waits until every page had the last message and went, or `patience`
    // passed; then the server stops.
    void awaitEnd(std::chrono::milliseconds patience);

    struct Counts {
        uint64_t pagesServed = 0;       // WebSockets taken
        uint64_t pagesRefused = 0;      // over the maximum
        uint64_t pagesClosed = 0;       // for bad input, slowness or silence
        uint64_t viewerMessages = 0;    // keys from view-only pages, ignored
    };
    // After awaitEnd.
    Counts counts() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace opstation::serve
