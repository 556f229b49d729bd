#include "opstation/platform/program.h"

#include <climits>

#include <unistd.h>

namespace opstation::platform {

std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    const std::string self(path, static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/'));
}

void binaryStandardStreams() {}

}  // namespace opstation::platform
