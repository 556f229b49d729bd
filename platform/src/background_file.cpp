#include "opstation/platform/background_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

#include "file_io.h"

namespace opstation::platform {

namespace {

using namespace io;

// 0 when all of it was written, else the reason.
int writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const long written = writeSome(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : ENOSPC;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// Often enough that little is lost if the program is killed, seldom enough
// to cost nothing.
constexpr auto kWriteEvery = std::chrono::milliseconds(250);

}  // namespace

BackgroundFile::BackgroundFile(std::string path, std::string_view head, Incomplete incomplete)
    : path_(std::move(path)), incomplete_(std::move(incomplete)), fd_(createFile(path_)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "cannot create " + path_);
    if (const int error = writeAll(fd_, head); error != 0) {
        closeFile(fd_);
        throw std::system_error(error, std::generic_category(), "cannot write " + path_);
    }
    writer_ = std::thread(&BackgroundFile::run, this);
}

BackgroundFile::~BackgroundFile() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    writer_.join();
    closeFile(fd_);
}

void BackgroundFile::append(std::string_view text, uint64_t cycle) {
    const std::lock_guard lock(mutex_);
    if (failed_) return;
    if (pending_.empty()) pendingFrom_ = cycle;
    pending_ += text;
}

void BackgroundFile::flush() {
    std::unique_lock lock(mutex_);
    const uint64_t ticket = ++requested_;
    wake_.notify_one();
    wake_.wait(lock, [&] { return written_ >= ticket; });
}

// Takes what is pending and writes it outside the lock; a failed write is
// cut off again, and nothing is written after it.
void BackgroundFile::writeOut() {
    std::string text;
    std::optional<uint64_t> from;
    {
        const std::lock_guard lock(mutex_);
        text.swap(pending_);
        from = std::exchange(pendingFrom_, std::nullopt);
    }
    if (text.empty() || failed_) return;
    const long long before = endOf(fd_);
    if (const int error = writeAll(fd_, text); error != 0) {
        cutAt(fd_, before);
        {
            const std::lock_guard lock(mutex_);
            failed_ = true;
            pending_.clear();
        }
        if (incomplete_) incomplete_(from.value_or(0), std::strerror(error));
    }
}

void BackgroundFile::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, kWriteEvery, [&] { return stopping_ || requested_ > written_; });
        const uint64_t asked = requested_;
        const bool last = stopping_;
        lock.unlock();
        writeOut();
        lock.lock();
        written_ = asked;
        wake_.notify_all();
        if (last) return;
    }
}

}  // namespace opstation::platform
