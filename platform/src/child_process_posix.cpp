#include "opstation/platform/child_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace opstation::platform {

using namespace std::chrono_literals;
using std::chrono::steady_clock;

namespace {

// This program's environment with the NAME=value entries of `changes` set
// on top. The strings stay in `changes` and in environ.
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

void moveTo(int fd, int target) {
    if (fd >= 0 && fd != target) ::dup2(fd, target);
}

// Only async-signal-safe calls between fork and exec: the program has threads.
[[noreturn]] void becomeChild(char *const *argv, char *const *envp, const ChildOptions &options, int output,
                              int nothing, int report, pid_t parent) {
    if (options.tied) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);  // the program is already gone
    } else {
        ::setsid();  // nothing of the program's reaches it, a terminal's signals included
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    moveTo(options.input >= 0 ? options.input : nothing, STDIN_FILENO);
    moveTo(options.output >= 0 ? options.output : output, STDOUT_FILENO);
    moveTo(output, STDERR_FILENO);
    ::execve(argv[0], argv, envp);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(report, &error, sizeof error);
    ::_exit(127);
}

struct Fds {
    std::vector<int> fds;
    ~Fds() {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    int add(int fd) { return fds.emplace_back(fd); }
};

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> command, ChildOptions options) {
    Fds fds;
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category());
    fds.add(report[0]);
    fds.add(report[1]);
    const int nothing = fds.add(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const int output = options.outputFile.empty()
                           ? -1
                           : fds.add(::open(options.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!options.outputFile.empty() && output < 0) throw std::system_error(errno, std::generic_category(), options.outputFile);

    std::vector<char *> argv;
    for (std::string &argument : command) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::vector<char *> envp = environmentWith(options.environment);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) becomeChild(argv.data(), envp.data(), options, output, nothing, report[1], parent);
    if (pid < 0) throw std::system_error(errno, std::generic_category());
    pid_ = pid;
    ::close(report[1]);
    report[1] = fds.fds[1] = -1;
    // The report pipe closes at the exec; an errno arrives only if it failed.
    int execError = 0;
    ssize_t got;
    do got = ::read(report[0], &execError, sizeof execError);
    while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof execError)) {
        await(5s);
        pid_ = -1;
        throw std::system_error(execError, std::generic_category());
    }
}

ChildProcess::~ChildProcess() = default;

bool ChildProcess::started() const { return pid_ > 0; }
int ChildProcess::pid() const { return pid_; }

ChildProcess::ChildProcess(ChildProcess &&other) noexcept { *this = std::move(other); }

ChildProcess &ChildProcess::operator=(ChildProcess &&other) noexcept {
    pid_ = std::exchange(other.pid_, -1);
    reaped_ = other.reaped_;
    status_ = other.status_;
    return *this;
}

bool ChildProcess::await(std::chrono::milliseconds patience) {
    if (pid_ < 0 || reaped_) return true;
    for (const auto deadline = steady_clock::now() + patience;;) {
        const pid_t done = ::waitpid(pid_, &status_, WNOHANG);
        if (done == pid_ || (done < 0 && errno == ECHILD)) return reaped_ = true;
        if (steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
}

void ChildProcess::stop() {
    if (pid_ < 0 || reaped_) return;
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
}

ChildEnding ChildProcess::ending() const {
    if (!reaped_) return {ChildEnding::How::unknown, "it had not ended"};
    if (WIFSIGNALED(status_)) {
        const int signal = WTERMSIG(status_);
        const char *name = ::strsignal(signal);
        return {ChildEnding::How::signal,
                std::string(name != nullptr ? name : "signal") + " (signal " + std::to_string(signal) + ")", signal};
    }
    if (WIFEXITED(status_))
        return {ChildEnding::How::exit, "exit status " + std::to_string(WEXITSTATUS(status_)), WEXITSTATUS(status_)};
    return {ChildEnding::How::unknown, "wait status " + std::to_string(status_)};
}

}  // namespace opstation::platform
