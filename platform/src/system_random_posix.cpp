#include "opstation/platform/system_random.h"

#include <cerrno>
#include <system_error>

#include <sys/random.h>

namespace opstation::platform {

void fillFromSystemGenerator(std::span<std::uint8_t> bytes) {
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw std::system_error(errno, std::generic_category(), "getrandom");
        filled += static_cast<std::size_t>(got);
    }
}

}  // namespace opstation::platform
