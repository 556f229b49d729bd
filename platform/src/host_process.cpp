#include "opstation/platform/host_process.h"

// What HostProcess does alike on every platform; how the host is started
// and its channel made, written and read is in host_process_<platform>.cpp.
namespace opstation::platform {

using namespace std::chrono_literals;

HostProcess::HostProcess(Preparation prepare, int interruptFd) : prepare_(std::move(prepare)), interruptFd_(interruptFd) {}

HostProcess::HostProcess(HostCommand command, int interruptFd)
    : HostProcess([command] { return command; }, interruptFd) {
    program_ = command.command.front();
}

// Gives the host a moment to end on the end of its input, then stops it.
HostProcess::~HostProcess() {
    if (!child_.started()) return;
    closeChannel();  // the host reads EOF and ends
    if (!child_.await(1s)) child_.stop();
}

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
