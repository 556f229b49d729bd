// When requests go back to back (a runner's cycles, a benchmark's), the
// next message is due within microseconds, and waking up from a wait costs
// more than that on some machines. Both sides of the drive host then await
// the next message awake for a moment; at the panel's 40 ms pace they
// sleep. One rule for both sides, kept here.
#pragma once

#include <chrono>

namespace opstation {

class BackToBack {
public:
    // A message that follows the last one within this long counts as back to back.
    static constexpr std::chrono::microseconds kWindow{200};
    // How long the next message is then awaited awake.
    static constexpr std::chrono::microseconds kSpin{100};

    // A message came or went.
    void mark() { last_ = std::chrono::steady_clock::now(); }
    // How long to look for the next message awake before sleeping on it.
    std::chrono::microseconds spin() const {
        return std::chrono::steady_clock::now() - last_ < kWindow ? kSpin : std::chrono::microseconds{0};
    }

private:
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace opstation
