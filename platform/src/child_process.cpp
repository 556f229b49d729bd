#include "opstation/platform/child_process.h"

namespace opstation::platform {

std::optional<ChildEnding> runToEnd(std::vector<std::string> command, ChildOptions options, std::chrono::milliseconds limit) {
    ChildProcess child(std::move(command), std::move(options));
    if (child.await(limit)) return child.ending();
    child.stop();
    return std::nullopt;
}

}  // namespace opstation::platform
