#include "opstation/host_process.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace opstation {

using namespace std::chrono_literals;
using std::chrono::steady_clock;

namespace {

constexpr const char *kHostProgramName = "op-station-drive-host";
constexpr auto kSpin = 50us;  // awake, for an answer to a request back to back (wire::kBackToBack)

std::string errorText(int error) { return std::strerror(error); }

void closeFd(int &fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Only async-signal-safe calls between fork and exec: the panel has threads.
[[noreturn]] void becomeHost(const std::vector<char *> &argv, const std::vector<char *> &envp, int channel, int report,
                             pid_t parent) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);  // the panel is already gone
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::dup2(channel, STDIN_FILENO);
    ::dup2(channel, STDOUT_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(report, &error, sizeof error);
    ::_exit(127);
}

int pollTimeout(HostTransport::Deadline deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

}  // namespace

std::string defaultHostProgram() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return kHostProgramName;
    const std::string self(path, static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/') + 1) + kHostProgramName;
}

std::vector<char *> environmentWith(std::vector<std::string> &changes) {
    const auto overridden = [&](std::string_view entry) {
        const std::string_view name = entry.substr(0, entry.find('='));
        return std::any_of(changes.begin(), changes.end(), [&](const std::string &change) {
            return std::string_view(change).substr(0, change.find('=')) == name;
        });
    };
    std::vector<char *> envp;
    for (char **entry = environ; *entry != nullptr; ++entry)
        if (!overridden(*entry)) envp.push_back(*entry);
    for (std::string &change : changes) envp.push_back(change.data());
    envp.push_back(nullptr);
    return envp;
}

HostEnding describeWaitStatus(int status) {
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        const char *name = ::strsignal(signal);
        return {HostEnding::How::signal, std::string(name != nullptr ? name : "signal") + " (signal " + std::to_string(signal) + ")"};
    }
    if (WIFEXITED(status)) return {HostEnding::How::exit, "exit status " + std::to_string(WEXITSTATUS(status))};
    return {HostEnding::How::unknown, "wait status " + std::to_string(status)};
}

HostProcess::HostProcess(std::string program, std::vector<std::string> arguments, int interruptFd,
                         std::vector<std::string> environment)
    : program_(std::move(program)), arguments_(std::move(arguments)), environment_(std::move(environment)),
      interruptFd_(interruptFd) {}

HostProcess::~HostProcess() {
    if (pid_ < 0 || reaped_) return;
    closeChannel();  // the host reads EOF and ends
    if (!reap(1s)) stop();
}

void HostProcess::start() {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) throw DriveLibraryError(errorText(errno));
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(pair[0]);
        ::close(pair[1]);
        throw DriveLibraryError(errorText(error));
    }
    std::vector<char *> argv{program_.data()};
    for (std::string &argument : arguments_) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::vector<char *> envp = environmentWith(environment_);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) becomeHost(argv, envp, pair[1], report[1], parent);
    const int forkError = errno;
    ::close(pair[1]);
    ::close(report[1]);
    if (pid < 0) {
        ::close(pair[0]);
        ::close(report[0]);
        throw DriveLibraryError(errorText(forkError));
    }
    // The report pipe closes at the exec; an errno arrives only if it failed.
    int execError = 0;
    ssize_t got;
    do got = ::read(report[0], &execError, sizeof execError);
    while (got < 0 && errno == EINTR);
    ::close(report[0]);
    pid_ = pid;
    channel_ = pair[0];
    if (got == static_cast<ssize_t>(sizeof execError)) {
        stop();
        throw DriveLibraryError(errorText(execError));
    }
}

bool HostProcess::send(std::span<const uint8_t> frame) {
    backToBack_ = steady_clock::now() - answered_ < wire::kBackToBack;
    while (!frame.empty()) {
        const ssize_t sent = ::send(channel_, frame.data(), frame.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        frame = frame.subspan(static_cast<std::size_t>(sent));
    }
    return true;
}

HostTransport::Arrival HostProcess::receive(wire::FrameReader &frames, Deadline deadline, bool watchClosing) {
    // When requests go back to back, an answer is due within microseconds
    // and is awaited awake: waking up costs more than that on some machines.
    // At the panel's 40 ms pace this side sleeps, as the host does.
    for (const auto until = steady_clock::now() + (backToBack_ ? kSpin : 0us); steady_clock::now() < until;) {
        const std::span<uint8_t> space = frames.space();
        const ssize_t got = ::recv(channel_, space.data(), space.size(), MSG_DONTWAIT);
        if (got == 0) return Arrival::end;
        if (got > 0) {
            frames.received(static_cast<std::size_t>(got));
            answered_ = steady_clock::now();
            return Arrival::bytes;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
    }
    for (;;) {
        pollfd fds[2] = {{channel_, POLLIN, 0}, {interruptFd_, POLLIN, 0}};
        const nfds_t count = interruptFd_ >= 0 && watchClosing ? 2 : 1;
        const int ready = ::poll(fds, count, pollTimeout(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Arrival::end;
        if (count == 2 && fds[1].revents != 0) return Arrival::interrupted;
        if (fds[0].revents == 0) {
            if (steady_clock::now() >= deadline) return Arrival::timeout;
            continue;
        }
        const std::span<uint8_t> space = frames.space();
        const ssize_t got = ::read(channel_, space.data(), space.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return Arrival::end;
        frames.received(static_cast<std::size_t>(got));
        answered_ = steady_clock::now();
        return Arrival::bytes;
    }
}

HostEnding HostProcess::ending() {
    if (pid_ < 0) return {HostEnding::How::unknown, "the host was not running"};
    if (reap(2s)) return describeWaitStatus(status_);
    stop();
    return {HostEnding::How::unknown, "it closed its output but went on running, and was stopped"};
}

void HostProcess::stop() {
    closeChannel();
    if (pid_ < 0 || reaped_) return;
    status_ = killChild(pid_);
    reaped_ = true;
}

// Waits up to `patience` for the host to end; true once it has.
bool HostProcess::reap(std::chrono::milliseconds patience) {
    const std::optional<int> status = awaitChild(pid_, patience);
    if (status) status_ = *status;
    return reaped_ = status.has_value();
}

std::optional<int> awaitChild(int pid, std::chrono::milliseconds patience) {
    int status = 0;
    for (const auto deadline = steady_clock::now() + patience;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD)) return status;
        if (steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(2ms);
    }
}

int killChild(int pid) {
    int status = 0;
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

void HostProcess::closeChannel() { closeFd(channel_); }

}  // namespace opstation
