// A drive host as a child process, its standard input and output joined to
// one end of a socket pair. The child never outlives this process: it gets
// SIGKILL when the thread that started it ends (even by SIGKILL), and EOF
// on its input when this side closes. It runs in a process group of its
// own, so a Ctrl+C at the terminal reaches the panel, which closes the
// library properly, and not the host behind its back.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "opstation/hosted_drive.h"

namespace opstation {

class HostProcess final : public HostTransport {
public:
    // Runs `program` with `arguments`; the environment is inherited, with
    // the NAME=value entries of `environment` set on top (for the host
    // alone, not for this process).
    HostProcess(std::string program, std::vector<std::string> arguments, int interruptFd = -1,
                std::vector<std::string> environment = {});
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

    int pid() const { return pid_; }

private:
    bool reap(std::chrono::milliseconds patience);
    void closeChannel();

    std::string program_;
    std::vector<std::string> arguments_;
    std::vector<std::string> environment_;
    int interruptFd_;
    int channel_ = -1;
    int pid_ = -1;
    int status_ = 0;
    bool reaped_ = false;
    std::chrono::steady_clock::time_point answered_{};  // when the last bytes came
    bool backToBack_ = false;                           // the last request followed them at once
};

// A child's environment: this process's, with the NAME=value entries of
// `changes` set on top. The strings stay in `changes` and in environ.
std::vector<char *> environmentWith(std::vector<std::string> &changes);

// Waits up to `patience` for the child `pid` to end: its wait status, or
// nothing while it still runs.
std::optional<int> awaitChild(int pid, std::chrono::milliseconds patience);

// Stops the child `pid` with SIGKILL and reaps it: its wait status.
int killChild(int pid);

// How a wait status reads in a message.
HostEnding describeWaitStatus(int status);

}  // namespace opstation
