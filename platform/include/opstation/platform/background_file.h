// A file that a program writes while its 40 ms cycle runs (a recording, a
// transcript), written by a thread of its own: appending never waits on
// the disk. Text comes in whole lines, each piece marked with the exchange
// cycle it belongs to. A write that fails later (a full disk) leaves the
// file as it was before the piece that failed, so it ends on a whole line,
// and says from which cycle on the file is incomplete; the program goes on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace opstation::platform {

class BackgroundFile {
public:
    // Told once, from the writing thread, when a write failed: the first
    // cycle whose text is missing, and why.
    using Incomplete = std::function<void(uint64_t cycle, const std::string &reason)>;

    // Creates (or empties) the file and writes `head` at once: throws
    // std::system_error naming the file when either fails, so that a
    // program can refuse to start.
    BackgroundFile(std::string path, std::string_view head, Incomplete incomplete);
    // Writes out what is left.
    ~BackgroundFile();
    BackgroundFile(const BackgroundFile &) = delete;
    BackgroundFile &operator=(const BackgroundFile &) = delete;

    const std::string &path() const { return path_; }
    void append(std::string_view text, uint64_t cycle);
    // Writes out everything appended so far, and waits until it is written.
    void flush();

private:
    void writeOut();
    void run();

    std::string path_;
    Incomplete incomplete_;
    int fd_ = -1;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::string pending_;
    std::optional<uint64_t> pendingFrom_;  // the cycle of pending_'s first text
    bool failed_ = false;
    bool stopping_ = false;
    uint64_t requested_ = 0, written_ = 0;  // flushes asked for and done
    std::thread writer_;
};

// The SHA-256 of a file, in lower-case hex; empty when it cannot be read.
std::string sha256OfFile(const std::string &path);

}  // namespace opstation::platform
