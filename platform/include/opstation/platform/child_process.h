// Starting, awaiting and killing a child process with an environment of its
// own. Two kinds of children: a tied one (a drive host) never outlives the
// program, even one killed with SIGKILL (on Windows: ended any way), and
// runs in a process group of its own, so that a Ctrl+C at the terminal
// reaches the program, which stops the library properly, and not the child
// behind its back; a loose one (a program of wine's that keeps wine's
// session) outlives it.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "opstation/hosted_drive.h"

namespace opstation::platform {

// A stream of this program's to hand to a child: a file descriptor on
// POSIX, a handle on Windows.
#if defined(_WIN32)
using Stream = void *;
inline constexpr Stream kNoStream = nullptr;
#else
using Stream = int;
inline constexpr Stream kNoStream = -1;
#endif

struct ChildOptions {
    // NAME=value entries set on top of this program's environment, for the
    // child alone.
    std::vector<std::string> environment;
    // The child's standard input (else the null device) and output (else
    // as below): a drive host's channel.
    Stream input = kNoStream;
    Stream output = kNoStream;
    // The child's standard output (unless given above) and error go into
    // this file; empty: they are this program's.
    std::string outputFile;
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
    // Leaves a running loose child alone: stop() it first where it must end.
    ~ChildProcess();

    bool started() const;
    int pid() const;

    // Waits up to `patience` for the child to end: true once it has.
    bool await(std::chrono::milliseconds patience);
    // Ends the child at once (SIGKILL) unless it has ended, and reaps it.
    void stop();
    // After the child ended: how.
    ChildEnding ending() const;

private:
#if defined(_WIN32)
    void *process_ = nullptr;
    void *job_ = nullptr;  // kills the child when this program ends
    unsigned long code_ = 0;
#else
    int pid_ = -1;
    int status_ = 0;
#endif
    bool reaped_ = false;
};

// Runs a loose child to its end within `limit` (it is stopped after that):
// how it ended, or nothing when it had to be stopped.
std::optional<ChildEnding> runToEnd(std::vector<std::string> command, ChildOptions options, std::chrono::milliseconds limit);

}  // namespace opstation::platform
