#include "drive_sim.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace drivesim {

const char *name(State s) {
    switch (s) {
        case State::Stopped: return "STOPPED";
        case State::Running: return "RUNNING";
        case State::Jogging: return "JOGGING";
        case State::Stopping: return "STOPPING";
        case State::Tripped: return "TRIPPED";
    }
    return "";
}

const char *name(Trip t) { return t == Trip::Overvoltage ? "OVERVOLTAGE" : "EXTERNAL TRIP"; }

int KeyRepeat::update(bool down, bool pressed, double dt) {
    if (!down) {
        held_ = 0.0;
        next_ = kFirstDelay;
        return 0;
    }
    if (pressed) {
        held_ = 0.0;
        next_ = kFirstDelay;
        return 1;
    }
    held_ += dt;
    int due = 0;
    while (held_ >= next_ && due < 20) {
        ++due;
        next_ += next_ < kFastAfter ? kSlowInterval : kFastInterval;
    }
    return due;
}

DriveSim::DriveSim(int32_t station) : station_(station) {}

std::string DriveSim::title() const { return "KELVARA DRIVES - simulated drive, station " + std::to_string(station_); }

void DriveSim::step(KeyMask held, double dt) {
    if (!(dt >= 0.0)) dt = 0.0;  // also catches NaN
    sincePowerOn_ += dt;
    const auto pressed = static_cast<KeyMask>(held & ~previous_);
    previous_ = held;
    // A message stays for its time, or until the operator presses a key.
    message_.remaining = pressed != 0 ? 0.0 : message_.remaining - dt;

    handleKeys(held, pressed, dt);
    followRemote();
    runMotor(dt);
    checkCombos(held, dt);
}

void DriveSim::handleKeys(KeyMask held, KeyMask pressed, double dt) {
    const bool chord = std::popcount(static_cast<unsigned>(held & kNavigationKeys)) >= 2;
    const KeyMask nav = chord ? 0 : pressed;
    const int ups = upRepeat_.update(!chord && has(held, Key::Up), has(nav, Key::Up), dt);
    const int downs = downRepeat_.update(!chord && has(held, Key::Down), has(nav, Key::Down), dt);
    navigate(nav, ups, downs);

    if (has(pressed, Key::Run)) onRun();
    if (has(pressed, Key::Stop)) onStop();  // after RUN: pressed together, STOP wins
    onJog(has(held, Key::Jog), has(pressed, Key::Jog));
    if (has(pressed, Key::Dir)) onDir();
    if (has(pressed, Key::Local)) onLocal();
}

void DriveSim::onRun() {
    if (state_ == State::Tripped) return show("TRIPPED", "RESET WITH STOP");
    if (mode_ == Mode::Remote) return show("REMOTE MODE", "L/R FOR LOCAL");
    state_ = State::Running;
}

void DriveSim::onStop() {
    if (state_ == State::Tripped) {
        activeTrip_.reset();
        state_ = motor_.speed() == 0.0 ? State::Stopped : State::Stopping;
        return;
    }
    if (mode_ == Mode::Remote) {
        if (!params_.isOn(Param::StopInRemote)) return show("STOP KEY IS OFF", "IN REMOTE MODE");
        remoteHold_ = true;
    }
    if (state_ == State::Running || state_ == State::Jogging) state_ = State::Stopping;
}

void DriveSim::onJog(bool held, bool pressed) {
    if (state_ == State::Jogging && !held) state_ = State::Stopping;
    if (!pressed) return;
    if (mode_ == Mode::Remote) return show("REMOTE MODE", "L/R FOR LOCAL");
    if (state_ == State::Stopped || state_ == State::Stopping) state_ = State::Jogging;
}

void DriveSim::onDir() {
    if (mode_ == Mode::Remote) return show("REMOTE MODE", "L/R FOR LOCAL");
    requested_ = requested_ == Direction::Forward ? Direction::Reverse : Direction::Forward;
}

void DriveSim::onLocal() {
    if (!atStandstill()) return show("STOP MOTOR FIRST", "THEN PRESS L/R");
    mode_ = mode_ == Mode::Local ? Mode::Remote : Mode::Local;
    // Entering REMOTE hands the run command to REMOTE RUN as it stands.
    remoteHold_ = false;
}

// In REMOTE the run command is the level of REMOTE RUN.
void DriveSim::followRemote() {
    if (mode_ != Mode::Remote || state_ == State::Tripped) return;
    if (!params_.isOn(Param::RemoteRun)) {
        remoteHold_ = false;
        if (state_ == State::Running) state_ = State::Stopping;
    } else if (!remoteHold_ && (state_ == State::Stopped || state_ == State::Stopping)) {
        state_ = State::Running;
    }
}

void DriveSim::runMotor(double dt) {
    const double sign = requested_ == Direction::Forward ? 1.0 : -1.0;
    switch (state_) {
        case State::Running:
            demand_ = sign * params_.value(mode_ == Mode::Remote ? Param::RemoteSetpoint : Param::LocalSetpoint);
            break;
        case State::Jogging: demand_ = sign * params_.value(Param::JogSpeed); break;
        default: demand_ = 0.0; break;
    }
    if (state_ == State::Stopped || state_ == State::Tripped) return motor_.coast(dt);

    const double before = std::fabs(motor_.speed());
    motor_.drive(demand_, {params_.value(Param::AccelTime), params_.value(Param::DecelTime)}, dt);
    // Braking hard from high speed pumps more energy into the DC link than
    // it can hold; the drive has no braking resistor.
    const bool fastDecel = params_.raw(Param::DecelTime) < 10;  // under 1.0 s
    if (motor_.regenerating() && before > 80.0 && fastDecel) return trip(Trip::Overvoltage);
    if (state_ == State::Stopping && motor_.speed() == 0.0) state_ = State::Stopped;
}

void DriveSim::trip(Trip t) {
    if (state_ == State::Tripped) return;
    state_ = State::Tripped;
    activeTrip_ = t;
    demand_ = 0.0;
    history_.push_front(t);
    if (history_.size() > kHistorySize) history_.pop_back();
    remoteHold_ = true;
    // The operator must see the trip, wherever the display was.
    message_.remaining = 0.0;
    if (view_ == View::Menu) leaveMenu();
}

bool DriveSim::atStandstill() const {
    return (state_ == State::Stopped || state_ == State::Tripped) && motor_.speed() == 0.0;
}

Direction DriveSim::actualDirection() const {
    if (motor_.speed() > 0.0) return Direction::Forward;
    if (motor_.speed() < 0.0) return Direction::Reverse;
    return requested_;
}

double DriveSim::rpm() const { return motor_.speed() / 100.0 * params_.value(Param::MaxSpeed); }

// A combination counts only as the exact set of keys held, and only at
// standstill: during the first seconds after power-on at once, later when
// held long enough to stand for a power cycle. It fires once per hold.
void DriveSim::checkCombos(KeyMask held, double dt) {
    const bool combo = held == kComboDefaults || held == kComboClearTrips || held == kComboFullReset;
    if (!combo || held != comboHeld_) {
        comboHeld_ = combo ? held : 0;
        comboTime_ = 0.0;
        comboDone_ = false;
    }
    if (!combo) return;
    if (!atStandstill()) {
        comboTime_ = 0.0;
        return;
    }
    comboTime_ += dt;
    if (comboDone_) return;
    if (sincePowerOn_ <= kPowerOnWindow || comboTime_ >= kComboHoldTime) {
        applyCombo(held);
        comboDone_ = true;
    }
}

void DriveSim::applyCombo(KeyMask combo) {
    cancelEdit();
    view_ = View::Home;
    if (combo == kComboDefaults) {
        params_.restoreDefaults();
        return show("POWER-ON RESET", "DEFAULTS LOADED");
    }
    if (combo == kComboClearTrips) {
        history_.clear();
        return show("POWER-ON RESET", "TRIPS CLEARED");
    }
    params_.restoreDefaults();
    history_.clear();
    activeTrip_.reset();
    state_ = State::Stopped;
    mode_ = Mode::Local;
    requested_ = Direction::Forward;
    remoteHold_ = false;
    lastPlace_ = Place{};
    show("POWER-ON RESET", "FULL RESET DONE");
}

void DriveSim::show(std::string line1, std::string line2) {
    message_ = {std::move(line1), std::move(line2), kMessageTime};
}

Leds DriveSim::leds() const {
    const bool tripped = state_ == State::Tripped;
    const Direction actual = actualDirection();
    const bool reversing = actual != requested_;
    const auto dirLed = [&](Direction d) {
        return Led{actual == d || (reversing && requested_ == d), reversing && requested_ == d};
    };
    const bool local = mode_ == Mode::Local;
    Leds l;
    l.health = {true, tripped};
    l.run = {state_ == State::Running || state_ == State::Jogging, state_ == State::Jogging};
    l.stop = {state_ == State::Stopped || state_ == State::Stopping || tripped, state_ == State::Stopping};
    l.fwd = dirLed(Direction::Forward);
    l.rev = dirLed(Direction::Reverse);
    l.seq = {local, false};
    l.ref = {local, false};
    return l;
}

}  // namespace drivesim
