#include "motor.h"

#include <algorithm>
#include <cmath>

namespace drivesim {

namespace {

constexpr double kCoastTime = 8.0;         // s for a free-running motor to coast from 100 %
constexpr double kRatedCurrent = 12.0;     // A at full speed and full load
constexpr double kAmpsPerAccel = 0.04;     // extra A per % / s of speed change
constexpr double kNominalDcLink = 565.0;   // V from a rectified 400 V supply
constexpr double kVoltsPerRegen = 1.5;     // V per (% / s) at 100 % speed
constexpr double kMaxDcLink = 850.0;
constexpr double kHzAt100 = 50.0;

// Moves x towards target by at most rate * time; returns the time used.
double approach(double &x, double target, double rate, double time) {
    const double gap = std::fabs(target - x);
    const double reach = rate * time;
    if (reach >= gap) {
        x = target;
        return gap / rate;
    }
    x += target > x ? reach : -reach;
    return time;
}

}  // namespace

void Motor::drive(double demand, RampTimes ramps, double dt) {
    const double before = speed_;
    double left = dt;
    bool regen = false;
    // At most two legs: down to zero, then up the other side.
    for (int leg = 0; leg < 2 && left > 0.0 && speed_ != demand; ++leg) {
        const bool slowing = std::fabs(demand) < std::fabs(speed_) || demand * speed_ < 0.0;
        if (slowing) {
            regen = true;
            const double target = demand * speed_ < 0.0 ? 0.0 : demand;
            left -= approach(speed_, target, 100.0 / ramps.decel, left);
        } else {
            left -= approach(speed_, demand, 100.0 / ramps.accel, left);
        }
    }
    acceleration_ = dt > 0.0 ? (speed_ - before) / dt : 0.0;
    regenerating_ = regen;
    powered_ = true;
}

void Motor::coast(double dt) {
    const double before = speed_;
    approach(speed_, 0.0, 100.0 / kCoastTime, dt);
    acceleration_ = dt > 0.0 ? (speed_ - before) / dt : 0.0;
    regenerating_ = false;
    powered_ = false;
}

double Motor::currentAmps() const {
    if (!powered_) return 0.0;
    const double load = speed_ / 100.0;
    // Magnetising current, a fan-like load and the torque to accelerate.
    return kRatedCurrent * (0.3 + 0.5 * load * load) + kAmpsPerAccel * std::fabs(acceleration_);
}

double Motor::dcLinkVolts() const {
    if (!regenerating_) return kNominalDcLink;
    const double rise = kVoltsPerRegen * std::fabs(acceleration_) * std::fabs(speed_) / 100.0;
    return std::min(kNominalDcLink + rise, kMaxDcLink);
}

double Motor::frequencyHz() const { return powered_ ? std::fabs(speed_) / 100.0 * kHzAt100 : 0.0; }

}  // namespace drivesim
