// Real time between two downloads, as the simulation's time step. Clamped,
// so that a stalled panel (a debugger, a dragged window) does not make the
// motor jump, and a clock that seems to run backwards does no harm.
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>

namespace drivesim {

class StepClock {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr double kMaxStep = 0.2;  // seconds

    void start(Clock::time_point now) { last_ = now; }

    // Seconds since the previous lap (or start), within 0..kMaxStep.
    double lap(Clock::time_point now) {
        const double seconds = last_ ? std::chrono::duration<double>(now - *last_).count() : 0.0;
        last_ = now;
        return std::clamp(seconds, 0.0, kMaxStep);
    }

private:
    std::optional<Clock::time_point> last_;
};

}  // namespace drivesim
