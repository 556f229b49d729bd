#include "opstation/platform/host_channel.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>


namespace opstation::platform {

namespace {

int moveAway(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 3); }

}  // namespace

Channel takeStandardStreams() {
    Channel channel{moveAway(STDIN_FILENO), moveAway(STDOUT_FILENO)};
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nothing >= 0) {
        ::dup2(nothing, STDIN_FILENO);
        ::close(nothing);
    }
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    // A panel that went away leaves a write error, not a signal.
    ::signal(SIGPIPE, SIG_IGN);
    return channel;
}

long readSome(int fd, std::span<uint8_t> into, std::chrono::microseconds spin) {
    const auto until = std::chrono::steady_clock::now() + spin;
    while (spin.count() > 0) {
        const ssize_t got = ::recv(fd, into.data(), into.size(), MSG_DONTWAIT);
        if (got >= 0) return static_cast<long>(got);
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;  // not a socket: read as usual
        if (std::chrono::steady_clock::now() >= until) break;
    }
    for (;;) {
        const ssize_t got = ::read(fd, into.data(), into.size());
        if (got >= 0 || errno != EINTR) return static_cast<long>(got);
    }
}

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::write(fd, bytes.data(), bytes.size());
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
    return true;
}

}  // namespace opstation::platform
