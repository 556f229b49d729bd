#include "web_server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <future>
#include <map>
#include <thread>

namespace opstation::serve {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using beast::error_code;
using namespace std::chrono_literals;

constexpr std::size_t kHeaderLimit = 8 * 1024;
constexpr auto kRequestTime = 30s;    // for a request's headers to come in
constexpr auto kHandshakeTime = 10s;  // WebSocket opening and closing
constexpr auto kSilenceTime = 20s;    // no answer to the pings sent in it: the page is gone
constexpr auto kWriteTime = 10s;      // one message not taken in this time: the page stopped reading
constexpr auto kAcceptRetry = 100ms;  // after the system refused a connection (no descriptors left)
constexpr std::size_t kCloseReasonBytes = 123;  // what a WebSocket close frame holds
// What the system may hold for one page: some ten seconds of states at the
// station's fastest (one of some 250 bytes a cycle), so that a page that
// stops reading blocks its writes, and is closed, within seconds, and a
// hundred of them cannot tie up the system's memory.
constexpr int kPageSendBuffer = 64 * 1024;

constexpr std::string_view kServerName = "op-station-serve";
// The page, its style sheets and script come from here alone, and no other
// site may frame it (a framed operator page could be clicked through).
constexpr std::string_view kPolicy = "default-src 'self'; connect-src 'self'; frame-ancestors 'none'";

void note(const std::string &text) {
    std::fprintf(stderr, "%s: %s\n", kServerName.data(), text.c_str());
    std::fflush(stderr);
}

std::string clipped(std::string reason) {
    if (reason.size() > kCloseReasonBytes) reason.resize(kCloseReasonBytes);
    return reason;
}

class PageSession;

// Everything the network thread keeps about the pages; only that thread
// touches it.
struct Hub {
    explicit Hub(const WebSettings &given) : settings(given) {}

    const WebSettings &settings;
    HostRule hosts;
    uint16_t port = 0;
    std::unique_ptr<SharedKeys> keys;
    std::map<uint64_t, std::weak_ptr<PageSession>> pages;
    uint64_t nextPage = 1;
    std::shared_ptr<const std::string> latest;  // the newest state
    std::shared_ptr<const std::string> last;    // the station's end, once it came
    std::function<void()> allGone;              // while ending
    WebServer::Counts counts;

    void leave(uint64_t page) {
        keys->letGo(page);
        pages.erase(page);
        if (pages.empty() && allGone) std::exchange(allGone, nullptr)();
    }
};

// The token a request presents: in its query, else in the page's cookie.
std::optional<std::string> presentedToken(const http::request<http::empty_body> &request, uint16_t port) {
    if (const auto token = queryValue(request.target(), "token")) return std::string(*token);
    const auto cookie = request.find(http::field::cookie);
    if (cookie == request.end()) return std::nullopt;
    if (const auto token = cookieValue(cookie->value(), cookieName(port))) return std::string(*token);
    return std::nullopt;
}

// One page's WebSocket. Outgoing messages wait in three slots, sent in this
// order: the hello, the newest state (a newer one replaces it), the last
// message; so a page never has more than one state waiting.
class PageSession final : public std::enable_shared_from_this<PageSession> {
public:
    PageSession(tcp::socket socket, Hub &hub, Role role)
        : ws_(std::move(socket)), hub_(hub), role_(role), writeDeadline_(ws_.get_executor()) {
        error_code ec;
        beast::get_lowest_layer(ws_).socket().set_option(net::socket_base::send_buffer_size(kPageSendBuffer), ec);
        const auto remote = beast::get_lowest_layer(ws_).socket().remote_endpoint(ec);
        peer_ = ec ? "a page" : "the page at " + remote.address().to_string() + ":" + std::to_string(remote.port());
    }

    void start(http::request<http::empty_body> request) {
        ws_.set_option(websocket::stream_base::timeout{kHandshakeTime, kSilenceTime, true});
        ws_.set_option(websocket::stream_base::decorator(
            [](websocket::response_type &response) { response.set(http::field::server, kServerName); }));
        ws_.read_message_max(kMaxPageMessageBytes);
        ws_.text(true);
        ws_.async_accept(request, [self = shared_from_this()](error_code ec) { self->accepted(ec); });
    }

    void deliver(std::shared_ptr<const std::string> state) {
        state_ = std::move(state);
        pump();
    }

    void end(std::shared_ptr<const std::string> last) {
        last_ = std::move(last);
        pump();
    }

private:
    using Kind = PageMessage::Kind;

    void accepted(error_code ec) {
        if (ec) return;  // not a WebSocket after all, or too slow: nothing joined yet
        if (hub_.pages.size() >= hub_.settings.maxPages) {
            ++hub_.counts.pagesRefused;
            note("refused " + peer_ + ": " + std::to_string(hub_.pages.size()) + " pages are open already");
            closeFor(websocket::close_code::try_again_later,
                     "too many pages: this station serves at most " + std::to_string(hub_.settings.maxPages) + " at once");
            readNext();
            return;
        }
        id_ = hub_.nextPage++;
        hub_.pages.emplace(id_, weak_from_this());
        ++hub_.counts.pagesServed;
        hello_ = std::make_shared<const std::string>(helloMessage(role_, hub_.settings.recording));
        state_ = hub_.latest;
        last_ = hub_.last;
        pump();
        readNext();
    }

    void readNext() {
        ws_.async_read(in_, [self = shared_from_this()](error_code ec, std::size_t) { self->read(ec); });
    }

    void read(error_code ec) {
        if (ec) return gone(ec);
        const std::string text = beast::buffers_to_string(in_.data());
        in_.consume(in_.size());
        if (!closing_) take(text);
        readNext();  // until the close handshake ends the reading
    }

    void take(std::string_view text) {
        if (!withinRate()) {
            return closeFor(websocket::close_code::policy_error,
                            "more than " + std::to_string(kMaxPageMessagesPerSecond) + " messages a second");
        }
        if (!ws_.got_text()) return closeFor(websocket::close_code::policy_error, "a binary message");
        const auto message = readPageMessage(text);
        if (const auto *rejection = std::get_if<Rejection>(&message))
            return closeFor(websocket::close_code::policy_error, rejection->reason);
        if (role_ == Role::viewing) {
            ++hub_.counts.viewerMessages;  // a view-only page may watch, never press
            return;
        }
        const PageMessage &m = std::get<PageMessage>(message);
        SharedKeys &keys = *hub_.keys;
        switch (m.kind) {
        case Kind::pointerDown: keys.pointerDown(id_, m.key); break;
        case Kind::pointerUp: keys.pointerUp(id_, m.key); break;
        case Kind::pcKeyDown: keys.pcKeyDown(id_, m.pcKey); break;
        case Kind::pcKeyUp: keys.pcKeyUp(id_, m.pcKey); break;
        case Kind::letGo: keys.letGo(id_); break;
        }
    }

    // A bucket of a second's worth of messages, refilled as time passes.
    bool withinRate() {
        const auto now = std::chrono::steady_clock::now();
        const std::chrono::duration<double> since = now - refilled_;
        refilled_ = now;
        allowance_ = std::min<double>(kMaxPageMessagesPerSecond, allowance_ + since.count() * kMaxPageMessagesPerSecond);
        if (allowance_ < 1) return false;
        allowance_ -= 1;
        return true;
    }

    void closeFor(websocket::close_code code, const std::string &reason) {
        if (closing_) return;
        if (id_ != 0) {
            ++hub_.counts.pagesClosed;
            note("closed " + peer_ + ": " + reason);
        }
        closing_ = websocket::close_reason(code, clipped(reason));
        pump();
    }

    void pump() {
        if (writing_ || closed_) return;
        if (closing_) {
            writing_ = closed_ = true;
            ws_.async_close(*closing_, [self = shared_from_this()](error_code) { self->writing_ = false; });
            return;
        }
        std::shared_ptr<const std::string> *slot = hello_ ? &hello_ : state_ ? &state_ : last_ ? &last_ : nullptr;
        if (slot == nullptr) return;
        const bool lastOne = slot == &last_;
        auto message = std::exchange(*slot, nullptr);
        writing_ = true;
        writeDeadline_.expires_after(kWriteTime);
        writeDeadline_.async_wait([weak = weak_from_this()](error_code ec) {
            if (auto self = weak.lock(); self && !ec) self->stoppedReading();
        });
        ws_.async_write(net::buffer(*message), [self = shared_from_this(), message, lastOne](error_code ec, std::size_t) {
            self->written(ec, lastOne);
        });
    }

    void written(error_code ec, bool lastOne) {
        writing_ = false;
        writeDeadline_.cancel();
        if (ec) return;  // the reading side sees the end and leaves
        if (lastOne) closing_ = websocket::close_reason(websocket::close_code::going_away, "the station ended");
        pump();
    }

    // The page took no message for a while: it is closed without a close
    // frame, which could not get through either.
    void stoppedReading() {
        ++hub_.counts.pagesClosed;
        note("closed " + peer_ + ": it took no message for " + std::to_string(kWriteTime.count()) + " s");
        error_code ignored;
        beast::get_lowest_layer(ws_).socket().close(ignored);
    }

    void gone(error_code ec) {
        if (left_ || id_ == 0) return;
        left_ = true;
        if (ec == beast::error::timeout) {
            ++hub_.counts.pagesClosed;
            note("closed " + peer_ + ": no answer for " + std::to_string(kSilenceTime.count()) + " s");
        } else if (ec == websocket::error::message_too_big) {
            ++hub_.counts.pagesClosed;
            note("closed " + peer_ + ": a message over " + std::to_string(kMaxPageMessageBytes) + " bytes");
        }
        writeDeadline_.cancel();
        hub_.leave(id_);
    }

    websocket::stream<beast::tcp_stream> ws_;
    Hub &hub_;
    Role role_;
    std::string peer_;
    uint64_t id_ = 0;  // 0 until the page joined
    beast::flat_buffer in_;
    std::shared_ptr<const std::string> hello_, state_, last_;
    std::optional<websocket::close_reason> closing_;
    bool writing_ = false;
    bool closed_ = false;
    bool left_ = false;
    net::steady_timer writeDeadline_;
    double allowance_ = kMaxPageMessagesPerSecond;
    std::chrono::steady_clock::time_point refilled_ = std::chrono::steady_clock::now();
};

using Response = http::response<http::string_body>;

// One connection's HTTP requests, until it becomes a page's WebSocket.
class HttpSession final : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(tcp::socket socket, Hub &hub) : stream_(std::move(socket)), hub_(hub) {}

    void readNext() {
        parser_.emplace();
        parser_->header_limit(kHeaderLimit);
        stream_.expires_after(kRequestTime);
        http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](error_code ec, std::size_t) { self->read(ec); });
    }

private:
    void read(error_code ec) {
        if (ec == http::error::header_limit)
            return answer(http::status::request_header_fields_too_large, "The request's headers are over 8 KiB.\n", false);
        if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == net::error::operation_aborted) return;
        if (ec) return answer(http::status::bad_request, "This is no request of a browser's.\n", false);
        http::request<http::empty_body> request = parser_->release();
        if (!hub_.hosts.allows(request[http::field::host]))
            return answer(http::status::forbidden, "This station answers only to the names it was started for (--allow-host).\n",
                          false);
        if (websocket::is_upgrade(request)) return upgrade(std::move(request));
        route(request);
    }

    void route(const http::request<http::empty_body> &request) {
        if (request.method() != http::verb::get && request.method() != http::verb::head)
            return answer(http::status::method_not_allowed, "Only GET and HEAD.\n", request.keep_alive());
        const std::string_view path = pathOf(request.target());
        const auto &assets = hub_.settings.assets;
        const auto asset = std::find_if(assets.begin(), assets.end(), [&](const Asset &a) { return a.path == path; });
        if (asset == assets.end()) return answer(http::status::not_found, "Nothing here.\n", request.keep_alive());
        const auto token = presentedToken(request, hub_.port);
        if (asset->needsToken && !(token && hub_.settings.tokens.roleOf(*token)))
            return answer(http::status::forbidden, "No access: open the address that op-station-serve printed, with its token.\n",
                          request.keep_alive());
        auto response = std::make_shared<Response>(http::status::ok, request.version());
        response->set(http::field::content_type, asset->contentType);
        response->body() = asset->body;
        if (asset->needsToken && queryValue(request.target(), "token"))
            response->set(http::field::set_cookie, tokenCookie(hub_.port, *token));
        response->keep_alive(request.keep_alive());
        send(std::move(response), request.method() == http::verb::head);
    }

    // The page's WebSocket: its own path, a token, and its own page's origin.
    void upgrade(http::request<http::empty_body> request) {
        if (pathOf(request.target()) != "/ws") return answer(http::status::not_found, "Nothing here.\n", false);
        const auto token = presentedToken(request, hub_.port);
        const auto role = token ? hub_.settings.tokens.roleOf(*token) : std::nullopt;
        if (!role) return answer(http::status::forbidden, "No access: no token, or not this station's.\n", false);
        if (!sameOrigin(request[http::field::origin], request[http::field::host]))
            return answer(http::status::forbidden, "Only the station's own page may connect.\n", false);
        stream_.expires_never();  // the WebSocket keeps its own time limits
        std::make_shared<PageSession>(stream_.release_socket(), hub_, *role)->start(std::move(request));
    }

    void answer(http::status status, std::string_view text, bool keepAlive) {
        auto response = std::make_shared<Response>(status, 11);
        response->set(http::field::content_type, "text/plain; charset=utf-8");
        if (status == http::status::method_not_allowed) response->set(http::field::allow, "GET, HEAD");
        response->body() = text;
        response->keep_alive(keepAlive);
        send(std::move(response), false);
    }

    void send(std::shared_ptr<Response> response, bool headOnly) {
        response->set(http::field::server, kServerName);
        response->set("Content-Security-Policy", kPolicy);
        response->set("X-Content-Type-Options", "nosniff");
        response->set("Referrer-Policy", "no-referrer");
        response->set(http::field::cache_control, "no-store");
        response->prepare_payload();
        if (headOnly) response->body().clear();  // Content-Length stays the full body's
        http::async_write(stream_, *response, [self = shared_from_this(), response](error_code ec, std::size_t) {
            if (!ec && response->keep_alive()) return self->readNext();
            error_code ignored;
            self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        });
    }

    beast::tcp_stream stream_;
    Hub &hub_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::empty_body>> parser_;
};

std::string authority(const tcp::endpoint &endpoint) {
    const std::string address = endpoint.address().to_string();
    const std::string host = endpoint.address().is_v6() ? "[" + address + "]" : address;
    return host + ":" + std::to_string(endpoint.port());
}

}  // namespace

struct WebServer::Impl {
    explicit Impl(WebSettings given) : settings(std::move(given)), hub(settings) {}

    void accept() {
        acceptor.async_accept([this](error_code ec, tcp::socket socket) {
            if (ec == net::error::operation_aborted) return;
            if (ec) {  // out of descriptors, say: take the next one a moment later
                retry.expires_after(kAcceptRetry);
                retry.async_wait([this](error_code waited) {
                    if (!waited) accept();
                });
                return;
            }
            std::make_shared<HttpSession>(std::move(socket), hub)->readNext();
            accept();
        });
    }

    // Cancelled before it is closed: wine does not complete a pending accept
    // whose socket is just closed, and the I/O context would wait for it
    // for ever as it shuts down.
    void stopAccepting() {
        error_code ignored;
        acceptor.cancel(ignored);
        acceptor.close(ignored);
    }

    WebSettings settings;
    Hub hub;
    net::io_context io{1};
    tcp::acceptor acceptor{io};
    net::steady_timer retry{io};
    tcp::endpoint bound;
    std::thread thread;
    std::promise<void> ended;
    std::future<void> endedFuture = ended.get_future();
};

WebServer::WebServer(WebSettings settings) : impl_(std::make_unique<Impl>(std::move(settings))) {
    const ListenAddress &listen = impl_->settings.listen;
    const std::string named = listen.address + ":" + std::to_string(listen.port);
    error_code ec;
    const auto address = net::ip::make_address(listen.address, ec);
    if (ec) throw ListenError("cannot listen on " + named + ": " + listen.address + " is no IP address (nor localhost)");
    const tcp::endpoint endpoint(address, listen.port);
    tcp::acceptor &acceptor = impl_->acceptor;
    const auto fail = [&](const error_code &error) { throw ListenError("cannot listen on " + named + ": " + error.message()); };
    if (acceptor.open(endpoint.protocol(), ec); ec) fail(ec);
#if !defined(_WIN32)
    // A station restarted at once may take its port back from connections
    // still closing (on Windows this option would let another take it over).
    acceptor.set_option(net::socket_base::reuse_address(true), ec);
#endif
    if (acceptor.bind(endpoint, ec); ec) fail(ec);
    if (acceptor.listen(net::socket_base::max_listen_connections, ec); ec) fail(ec);
    impl_->bound = acceptor.local_endpoint();
    Hub &hub = impl_->hub;
    hub.port = impl_->bound.port();
    hub.hosts = {address.to_string(), address.is_unspecified(), impl_->settings.allowedHosts};
}

WebServer::~WebServer() {
    if (impl_->thread.joinable()) {
        impl_->io.stop();
        impl_->thread.join();
    }
    impl_->stopAccepting();  // also when the server ends without end()
}

uint16_t WebServer::port() const { return impl_->bound.port(); }

std::string WebServer::urlAuthority() const {
    const auto &address = impl_->bound.address();
    if (!address.is_unspecified()) return authority(impl_->bound);
    // On every address: this machine's loopback address reaches it too.
    const tcp::endpoint loopback(address.is_v6() ? net::ip::address(net::ip::address_v6::loopback())
                                                 : net::ip::address(net::ip::address_v4::loopback()),
                                 impl_->bound.port());
    return authority(loopback);
}

bool WebServer::onLoopback() const { return impl_->bound.address().is_loopback(); }
bool WebServer::listensEverywhere() const { return impl_->bound.address().is_unspecified(); }

void WebServer::start(SharedKeys::KeyModelStep keys) {
    impl_->hub.keys = std::make_unique<SharedKeys>(std::move(keys));
    impl_->accept();
    impl_->thread = std::thread([this] { impl_->io.run(); });
}

void WebServer::publish(std::shared_ptr<const std::string> state) {
    net::post(impl_->io, [this, state = std::move(state)] {
        Hub &hub = impl_->hub;
        hub.latest = state;
        for (auto &[id, page] : hub.pages)
            if (auto session = page.lock()) session->deliver(state);
    });
}

void WebServer::end(std::string last) {
    net::post(impl_->io, [this, last = std::make_shared<const std::string>(std::move(last))] {
        Hub &hub = impl_->hub;
        impl_->stopAccepting();
        hub.last = last;
        hub.allGone = [this] { impl_->ended.set_value(); };
        if (hub.pages.empty()) return std::exchange(hub.allGone, nullptr)();
        for (auto &[id, page] : hub.pages)
            if (auto session = page.lock()) session->end(last);
    });
}

void WebServer::awaitEnd(std::chrono::milliseconds patience) {
    impl_->endedFuture.wait_for(patience);
    impl_->io.stop();
    if (impl_->thread.joinable()) impl_->thread.join();
}

WebServer::Counts WebServer::counts() const { return impl_->hub.counts; }

}  // namespace opstation::serve
