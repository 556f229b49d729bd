// A drive library can end the process it runs in from inside a call: a
// crash (a signal; on Windows an exception), abort(), or exit(). Whoever
// runs the library in its own process says which call it was before the
// process ends: the drive host to its program over the channel, a program
// that runs the library in process on standard error. The handlers run
// under a signal handler's rules (async-signal-safe calls only) and end the
// process themselves or return to let it end as it would have.
#pragma once

#include "opstation/host_protocol.h"

namespace opstation::platform {

struct LibraryEndings {
    // The library crashed in `call`: `code` is the signal number (on
    // Windows the exception code), `text` its name ("Segmentation fault
    // (signal 11)", "Access violation (exception 0xC0000005)").
    void (*crashed)(wire::Call call, long cycle, unsigned code, const char *text);
    // The library called exit(status) in `call`; -1 where the status is
    // not known.
    void (*exited)(wire::Call call, long cycle, int status);
};

// From here on, for as long as the process lives.
void watchLibraryEndings(LibraryEndings endings);

// Async-signal-safe text for those handlers: a fixed buffer that takes
// strings and numbers and never allocates.
class SafeText {
public:
    SafeText &operator<<(const char *text) {
        while (*text != '\0' && size_ + 1 < sizeof text_) text_[size_++] = *text++;
        return *this;
    }
    SafeText &operator<<(long number) {
        char digits[24];
        int count = 0;
        unsigned long left = number < 0 ? 0UL - static_cast<unsigned long>(number) : static_cast<unsigned long>(number);
        do digits[count++] = static_cast<char>('0' + left % 10);
        while ((left /= 10) != 0);
        if (number < 0) *this << "-";
        while (count > 0 && size_ + 1 < sizeof text_) text_[size_++] = digits[--count];
        return *this;
    }
    const char *data() const { return text_; }
    unsigned size() const { return size_; }

private:
    char text_[4096] = {};
    unsigned size_ = 0;
};

}  // namespace opstation::platform
