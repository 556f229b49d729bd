// The motor and power stage: speed in % of maximum (positive forward,
// negative reverse) following a demand along linear ramps, plus the
// readings a drive shows about it.
#pragma once

namespace drivesim {

struct RampTimes {
    double accel;  // seconds for 0 to 100 %
    double decel;
};

class Motor {
public:
    // Drives the speed towards demand for dt seconds. Going through zero
    // (a reversal) decelerates to zero first, then accelerates.
    void drive(double demand, RampTimes ramps, double dt);
    // Output off: the motor coasts down on its own friction.
    void coast(double dt);
    void stopDead() { *this = Motor{}; }

    double speed() const { return speed_; }
    // Speed change of the last step, % per second (signed).
    double acceleration() const { return acceleration_; }
    // True when the last step reduced the speed's magnitude under power:
    // the motor then feeds energy back into the DC link.
    bool regenerating() const { return regenerating_; }
    bool powered() const { return powered_; }

    double currentAmps() const;
    double dcLinkVolts() const;
    double frequencyHz() const;

private:
    double speed_ = 0.0;
    double acceleration_ = 0.0;
    bool regenerating_ = false;
    bool powered_ = false;
};

}  // namespace drivesim
