// Child processes from a test: starting a program with its standard error
// in a file, a process's children by the parent ids in /proc, whether a
// process still exists, and a bounded wait for a condition (for events that
// come from another process).
#pragma once

#include <cctype>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace opstation::test {

// Starts `argv` with the NAME=value entries of `environment` on top of
// ours, standard error into `errors`, and the signals `ignored` ignored as
// nohup leaves SIGHUP.
inline pid_t start(std::vector<std::string> argv, std::vector<std::string> environment, const std::filesystem::path &errors,
                   std::vector<int> ignored = {}) {
    std::vector<char *> args;
    for (std::string &arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, STDERR_FILENO);
        for (std::string &entry : environment) ::putenv(entry.data());
        for (const int signal : ignored) ::signal(signal, SIG_IGN);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

inline bool alive(pid_t pid) { return ::kill(pid, 0) == 0; }

// The first child of `parent` found in /proc, or -1.
inline pid_t childOf(pid_t parent) {
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size()) continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        if (rest >> state >> ppid && ppid == parent) return static_cast<pid_t>(std::stol(entry.path().filename()));
    }
    return -1;
}

// A fault request of the faulty test library ("segv upload 50") as a test
// name ("segv_upload_50").
template <typename Info>
std::string faultName(const Info &info) {
    std::string name = info.param.fault;
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

template <typename Predicate>
bool within(std::chrono::milliseconds patience, Predicate done) {
    for (const auto deadline = std::chrono::steady_clock::now() + patience; !done();) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace opstation::test
