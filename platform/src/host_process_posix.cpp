#include "opstation/platform/host_process.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace opstation::platform {

using namespace std::chrono_literals;
using std::chrono::steady_clock;

namespace {

int pollTimeout(HostTransport::Deadline deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

}  // namespace

void HostProcess::start() {
    HostCommand host = prepare_();
    program_ = host.command.front();
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) throw HostStartError(std::strerror(errno));
    try {
        child_ = ChildProcess(std::move(host.command),
                              {.environment = std::move(host.environment), .input = pair[1], .output = pair[1], .tied = true});
    } catch (const std::system_error &error) {
        ::close(pair[0]);
        ::close(pair[1]);
        throw HostStartError(std::strerror(error.code().value()));
    }
    ::close(pair[1]);
    channel_ = pair[0];
}

bool HostProcess::send(std::span<const uint8_t> frame) {
    spin_ = pace_.spin();
    while (!frame.empty()) {
        const ssize_t sent = ::send(channel_, frame.data(), frame.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        frame = frame.subspan(static_cast<std::size_t>(sent));
    }
    return true;
}

HostTransport::Arrival HostProcess::receive(wire::FrameReader &frames, Deadline deadline, bool watchClosing) {
    const auto arrived = [&](ssize_t got) {
        frames.received(static_cast<std::size_t>(got));
        pace_.mark();
        return Arrival::bytes;
    };
    for (const auto until = steady_clock::now() + spin_; steady_clock::now() < until;) {
        const std::span<uint8_t> space = frames.space();
        const ssize_t got = ::recv(channel_, space.data(), space.size(), MSG_DONTWAIT);
        if (got == 0) return Arrival::end;
        if (got > 0) return arrived(got);
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
    }
    for (;;) {
        pollfd fds[2] = {{channel_, POLLIN, 0}, {interruptFd_, POLLIN, 0}};
        const nfds_t count = interruptFd_ >= 0 && watchClosing ? 2 : 1;
        const int ready = ::poll(fds, count, pollTimeout(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Arrival::end;
        if (count == 2 && fds[1].revents != 0) return Arrival::interrupted;
        if (fds[0].revents == 0) {
            if (steady_clock::now() >= deadline) return Arrival::timeout;
            continue;
        }
        const std::span<uint8_t> space = frames.space();
        const ssize_t got = ::read(channel_, space.data(), space.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return Arrival::end;
        return arrived(got);
    }
}

void HostProcess::closeChannel() {
    if (channel_ >= 0) ::close(channel_);
    channel_ = -1;
}

}  // namespace opstation::platform
