// The drive host as a child process: its standard input and output joined
// to one end of a socket pair, tied to this program (it never outlives it,
// and gets EOF on its input when this side closes). What to start is worked
// out at start(), so that slow preparations (wine's prefix) happen when the
// host starts, and their failures are those of the first call.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "opstation/back_to_back.h"
#include "opstation/hosted_drive.h"
#include "opstation/platform/child_process.h"

namespace opstation::platform {

// What to run as the host: command[0] with its arguments, and environment
// entries for the host alone.
struct HostCommand {
    std::vector<std::string> command;
    std::vector<std::string> environment;
};

class HostProcess final : public HostTransport {
public:
    // Called at start(); throws DriveLibraryError with a whole message when
    // the host cannot be started (wine missing, say).
    using Preparation = std::function<HostCommand()>;

    // `interruptFd`: readable when the program is asked to close; -1 for
    // none. (On Windows the close requests are watched as they come.)
    HostProcess(Preparation prepare, int interruptFd);
    HostProcess(HostCommand command, int interruptFd);
    // Closes the channel and gives the host a moment to end on its own
    // before it is stopped.
    ~HostProcess() override;
    HostProcess(const HostProcess &) = delete;
    HostProcess &operator=(const HostProcess &) = delete;

    void start() override;
    bool send(std::span<const uint8_t> frame) override;
    Arrival receive(wire::FrameReader &frames, Deadline deadline, bool watchClosing) override;
    HostEnding ending() override;
    void stop() override;
    std::string program() const override { return program_; }

    int pid() const { return child_.pid(); }

private:
    void closeChannel();

    Preparation prepare_;
    std::string program_;
    int interruptFd_;
    ChildProcess child_;
#if defined(_WIN32)
    struct Pipes;  // the host's input, and its output read with a time limit
    std::shared_ptr<Pipes> pipes_;  // shared: its deleter is made where Pipes is known
#else
    int channel_ = -1;
    BackToBack pace_;
    std::chrono::microseconds spin_{};
#endif
};

}  // namespace opstation::platform
