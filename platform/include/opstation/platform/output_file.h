// Output to a file descriptor through a buffer of our own, for a program's
// transcript: what it holds can be written out from a signal handler or
// another thread when the drive library ends the program from inside a
// call, so nothing already written is lost.
#pragma once

#include <array>
#include <streambuf>
#include <string>

namespace opstation::platform {

class OutputFile final : public std::streambuf {
public:
    // Creates (or empties) the file; failed() says whether that worked.
    explicit OutputFile(const std::string &path);
    // Takes an open descriptor (standard output, say).
    explicit OutputFile(int fd);
    ~OutputFile() override;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    bool failed() const { return fd_ < 0 || error_ != 0; }
    // The reason of the first failure, as errno had it.
    int error() const { return fd_ < 0 ? openError_ : error_; }
    // Writes out what the buffer holds. Async-signal-safe.
    bool flushNow() noexcept;

protected:
    int_type overflow(int_type c) override;
    int sync() override { return flushNow() ? 0 : -1; }

private:
    int fd_ = -1;
    bool owned_ = false;
    int openError_ = 0;
    int error_ = 0;
    std::array<char, 64 * 1024> buffer_{};
};

// Takes standard output away from whatever writes to file descriptor 1 (a
// drive library in this process that prints): from now on it goes to
// standard error, and the returned descriptor is the program's own
// standard output.
int keepStandardOutput();

}  // namespace opstation::platform
