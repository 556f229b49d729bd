#include "opstation/platform/host_process.h"

// What HostProcess does alike on every platform; how the host is started
// and its channel made, written and read is in host_process_<platform>.cpp.
namespace opstation::platform {

using namespace std::chrono_literals;

HostEnding HostProcess::ending() {
    if (!child_.started()) return {HostEnding::How::unknown, "the host was not running"};
    if (child_.await(2s)) return child_.ending();
    stop();
    return {HostEnding::How::unknown, "it closed its output but went on running, and was stopped"};
}

void HostProcess::stop() {
    closeChannel();
    child_.stop();
}

}  // namespace opstation::platform
