// Starting, awaiting and killing a child process with an environment of its
// own. Two kinds of children: a tied one (a drive host) never outlives the
// program, even one killed with SIGKILL, and runs in a process group of its
// own, so that a Ctrl+C at the terminal reaches the program, which stops
// the library properly, and not the child behind its back; a loose one (a
// program of wine's that keeps wine's session) outlives it.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "opstation/hosted_drive.h"

namespace opstation::platform {

struct ChildOptions {
    // NAME=value entries set on top of this program's environment, for the
    // child alone.
    std::vector<std::string> environment;
    // Becomes the child's standard input and output (one end of a socket
    // pair); -1: input from the null device, output as below.
    int channel = -1;
    // The child's standard output (without a channel) and error go into
    // this file; empty: they are this program's.
    std::string output;
    bool tied = false;
};

// How a child ended, in words for a message: as a drive host's ending.
using ChildEnding = HostEnding;

class ChildProcess {
public:
    ChildProcess() = default;
    // Starts command[0] with the rest as its arguments. Throws
    // std::system_error when it cannot be started at all.
    ChildProcess(std::vector<std::string> command, ChildOptions options);
    ChildProcess(ChildProcess &&other) noexcept;
    ChildProcess &operator=(ChildProcess &&other) noexcept;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    // Leaves a running child alone: stop() it first where it must end.
    ~ChildProcess() = default;

    bool started() const { return pid_ > 0; }
    int pid() const { return pid_; }

    // Waits up to `patience` for the child to end: true once it has.
    bool await(std::chrono::milliseconds patience);
    // Ends the child at once (SIGKILL) unless it has ended, and reaps it.
    void stop();
    // After the child ended: how.
    ChildEnding ending() const;

private:
    int pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// Runs a loose child to its end within `limit` (it is stopped after that):
// how it ended, or nothing when it had to be stopped.
std::optional<ChildEnding> runToEnd(std::vector<std::string> command, ChildOptions options, std::chrono::milliseconds limit);

}  // namespace opstation::platform
