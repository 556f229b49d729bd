// Watching child processes from a test: a process's children by the parent
// ids in /proc, whether a process still exists, and a bounded wait for a
// condition (for events that come from another process).
#pragma once

#include <cctype>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <sys/types.h>

namespace opstation::test {

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
