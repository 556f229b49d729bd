#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "drive_sim.h"

using namespace drivesim;

namespace {

constexpr double kDt = 0.04;

struct Rig {
    DriveSim drive{2};
    // Past the power-on window, so a held combination does not fire at once.
    Rig() { idle(2.5); }
    void hold(KeyMask keys, double seconds) {
        for (int i = 0; i < static_cast<int>(std::lround(seconds / kDt)); ++i) drive.step(keys, kDt);
    }
    void idle(double seconds) { hold(0, seconds); }
    void tap(KeyMask keys) {
        drive.step(keys, kDt);
        drive.step(0, kDt);
    }
    void tap(Key k) { tap(bit(k)); }
    std::string line(int n) const {
        const Display d = drive.display();
        const Line &l = n == 1 ? d.line1 : d.line2;
        return std::string(l.data(), kVisibleChars);
    }
    // Steps until the speed reaches target; returns the time taken.
    double timeTo(double target, double limit = 30.0) {
        double t = 0.0;
        while (drive.speed() != target && t < limit) {
            drive.step(0, kDt);
            t += kDt;
        }
        return t;
    }
};

std::string trimmed(std::string s) { return s.erase(s.find_last_not_of(' ') + 1); }

}  // namespace

// ---- ramps and motor ----

TEST(Ramps, ReachSetpointWithinOneStepOfRampTime) {
    Rig r;
    r.drive.step(bit(Key::Run), kDt);  // this step already ramps
    const double t = kDt + r.timeTo(50.0);
    EXPECT_NEAR(t, 2.5, kDt);  // 50 % of a 5.0 s ramp
    r.tap(Key::Stop);
    EXPECT_NEAR(2 * kDt + r.timeTo(0.0), 2.5, kDt);
    EXPECT_EQ(r.drive.state(), State::Stopped);
}

TEST(Ramps, ReversalPassesThroughZeroIntoRequestedDirection) {
    Rig r;
    r.tap(Key::Run);
    r.timeTo(50.0);
    r.tap(Key::Dir);
    EXPECT_EQ(r.drive.requestedDirection(), Direction::Reverse);
    EXPECT_GT(r.drive.speed(), 0.0);
    EXPECT_NEAR(2 * kDt + r.timeTo(-50.0), 5.0, kDt + 1e-9);  // 2.5 s down, 2.5 s up
}

TEST(Ramps, ReadingsFollowTheMotor) {
    Rig r;
    r.drive.parameters().set(Param::LocalSetpoint, 1000);
    r.tap(Key::Run);
    r.hold(0, 1.0);
    const double accelAmps = r.drive.motor().currentAmps();
    r.timeTo(100.0);
    r.idle(0.2);
    EXPECT_DOUBLE_EQ(r.drive.rpm(), 1500.0);
    EXPECT_DOUBLE_EQ(r.drive.motor().frequencyHz(), 50.0);
    EXPECT_GT(r.drive.motor().currentAmps(), accelAmps);  // load grows with speed
    const double cruiseVolts = r.drive.motor().dcLinkVolts();
    r.tap(Key::Stop);
    EXPECT_GT(r.drive.motor().dcLinkVolts(), cruiseVolts);
}

// ---- trips ----

TEST(Trips, FastStopFromHighSpeedTripsOnOvervoltage) {
    Rig r;
    r.drive.parameters().set(Param::LocalSetpoint, 900);
    r.drive.parameters().set(Param::DecelTime, 9);  // 0.9 s
    r.tap(Key::Run);
    r.timeTo(90.0);
    r.tap(Key::Stop);
    EXPECT_EQ(r.drive.state(), State::Tripped);
    EXPECT_EQ(trimmed(r.line(2)), "OVERVOLTAGE");
    // Coasts, so slower than the 0.9 s ramp would have been.
    EXPECT_GT(r.timeTo(0.0), 2.0);
    r.tap(Key::Stop);
    EXPECT_EQ(r.drive.state(), State::Stopped);
}

TEST(Trips, NoTripAtOneSecondOrFromLowSpeed) {
    Rig r;
    r.drive.parameters().set(Param::LocalSetpoint, 1000);
    r.drive.parameters().set(Param::DecelTime, 10);
    r.tap(Key::Run);
    r.timeTo(100.0);
    r.tap(Key::Stop);
    r.timeTo(0.0);
    EXPECT_EQ(r.drive.state(), State::Stopped);
    r.drive.parameters().set(Param::LocalSetpoint, 800);
    r.drive.parameters().set(Param::DecelTime, 1);
    r.tap(Key::Run);
    r.timeTo(80.0);
    r.tap(Key::Stop);
    r.timeTo(0.0);
    EXPECT_EQ(r.drive.state(), State::Stopped);
}

TEST(Trips, HistoryKeepsLastFiveNewestFirst) {
    Rig r;
    auto inject = [&] {
        r.tap(Key::Menu);  // home -> menu, DIAGNOSTICS
        r.tap(Key::Down);
        r.tap(Key::Down);  // TRIPS
        r.tap(Key::Menu);
        r.tap(Key::Down);
        r.tap(Key::Down);  // INJECT TRIP
        r.tap(Key::Menu);
        EXPECT_EQ(r.line(2), "SURE? M=YES E=NO");
        r.tap(Key::Menu);
        EXPECT_EQ(r.drive.state(), State::Tripped);
        EXPECT_FALSE(r.drive.inMenu());
        r.tap(Key::Stop);
    };
    for (int i = 0; i < 6; ++i) inject();
    EXPECT_EQ(r.drive.tripHistory().size(), DriveSim::kHistorySize);
    EXPECT_EQ(r.drive.tripHistory().front(), Trip::External);
}

// ---- LEDs ----

TEST(Leds, FollowTheSequencingStates) {
    Rig r;
    Leds l = r.drive.leds();
    EXPECT_EQ(l.health, (Led{true, false}));
    EXPECT_EQ(l.stop, (Led{true, false}));
    EXPECT_EQ(l.run, (Led{false, false}));
    EXPECT_EQ(l.fwd, (Led{true, false}));
    EXPECT_EQ(l.rev, (Led{false, false}));
    EXPECT_EQ(l.seq, (Led{true, false}));
    EXPECT_EQ(l.ref, (Led{true, false}));

    r.hold(bit(Key::Jog), 0.5);
    l = r.drive.leds();
    EXPECT_EQ(r.drive.state(), State::Jogging);
    EXPECT_EQ(l.run, (Led{true, true}));
    EXPECT_EQ(l.stop, (Led{false, false}));
    r.drive.step(0, kDt);
    EXPECT_EQ(r.drive.state(), State::Stopping);
    EXPECT_EQ(r.drive.leds().stop, (Led{true, true}));
    r.timeTo(0.0);

    r.tap(Key::Run);
    r.idle(1.0);
    EXPECT_EQ(r.drive.leds().run, (Led{true, false}));
    r.tap(Key::Dir);  // reversal: actual steady, requested flashing
    l = r.drive.leds();
    EXPECT_EQ(l.fwd, (Led{true, false}));
    EXPECT_EQ(l.rev, (Led{true, true}));
    r.timeTo(-50.0);
    l = r.drive.leds();
    EXPECT_EQ(l.fwd, (Led{false, false}));
    EXPECT_EQ(l.rev, (Led{true, false}));
}

TEST(Leds, TrippedFlashesHealthAndRemoteClearsLocalLeds) {
    Rig r;
    r.drive.parameters().set(Param::LocalSetpoint, 1000);
    r.drive.parameters().set(Param::DecelTime, 5);
    r.tap(Key::Run);
    r.timeTo(100.0);
    r.tap(Key::Stop);
    Leds l = r.drive.leds();
    EXPECT_EQ(l.health, (Led{true, true}));
    EXPECT_EQ(l.stop, (Led{true, false}));
    EXPECT_EQ(l.run, (Led{false, false}));
    r.timeTo(0.0);
    r.tap(Key::Stop);
    r.tap(Key::Local);
    l = r.drive.leds();
    EXPECT_EQ(l.seq, (Led{false, false}));
    EXPECT_EQ(l.ref, (Led{false, false}));
}

// ---- local and remote ----

TEST(LocalRemote, ModeChangesOnlyAtStandstill) {
    Rig r;
    r.tap(Key::Run);
    r.tap(Key::Local);
    EXPECT_EQ(r.drive.mode(), Mode::Local);
    EXPECT_EQ(trimmed(r.line(1)), "STOP MOTOR FIRST");
    r.idle(DriveSim::kMessageTime);
    EXPECT_EQ(trimmed(r.line(1)), "RUNNING    LOCAL");
    r.tap(Key::Stop);
    r.timeTo(0.0);
    r.tap(Key::Local);
    EXPECT_EQ(r.drive.mode(), Mode::Remote);
}

TEST(LocalRemote, RemoteRunsFromParametersAndIgnoresLocalKeys) {
    Rig r;
    r.tap(Key::Local);
    r.tap(Key::Run);
    r.tap(Key::Dir);
    r.hold(bit(Key::Jog), 0.2);
    EXPECT_EQ(r.drive.state(), State::Stopped);
    EXPECT_EQ(r.drive.requestedDirection(), Direction::Forward);

    r.drive.parameters().set(Param::RemoteSetpoint, 200);
    r.drive.parameters().set(Param::RemoteRun, 1);
    r.drive.step(0, kDt);
    EXPECT_EQ(r.drive.state(), State::Running);
    EXPECT_NEAR(kDt + r.timeTo(20.0), 1.0, kDt + 1e-9);

    r.tap(Key::Stop);  // STOP IN REMOTE is enabled by default
    r.timeTo(0.0);
    EXPECT_EQ(r.drive.state(), State::Stopped);
    r.idle(0.5);  // REMOTE RUN still ON: stays stopped until switched off
    EXPECT_EQ(r.drive.state(), State::Stopped);
    r.drive.parameters().set(Param::RemoteRun, 0);
    r.idle(0.1);
    r.drive.parameters().set(Param::RemoteRun, 1);
    r.idle(0.1);
    EXPECT_EQ(r.drive.state(), State::Running);

    r.drive.parameters().set(Param::StopInRemote, 0);
    r.tap(Key::Stop);
    EXPECT_EQ(r.drive.state(), State::Running);
}

// ---- menus ----

TEST(Menu, NavigatesGroupsItemsAndBack) {
    Rig r;
    r.tap(Key::Menu);
    EXPECT_EQ(r.line(1), "MENU         1/4");
    EXPECT_EQ(trimmed(r.line(2)), "DIAGNOSTICS");
    r.tap(Key::Up);  // already first: stays
    EXPECT_EQ(trimmed(r.line(2)), "DIAGNOSTICS");
    for (int i = 0; i < 6; ++i) r.tap(Key::Down);
    EXPECT_EQ(trimmed(r.line(2)), "SYSTEM");
    r.tap(Key::Menu);
    EXPECT_EQ(trimmed(r.line(1)), "RESTORE DEFAULTS");
    r.tap(Key::Down);
    EXPECT_EQ(trimmed(r.line(1)), "SOFTWARE VERSION");
    r.tap(Key::Prog);
    EXPECT_FALSE(r.drive.inMenu());
    r.tap(Key::Prog);  // back to the same place
    EXPECT_EQ(trimmed(r.line(1)), "SOFTWARE VERSION");
    r.tap(Key::Esc);
    EXPECT_EQ(trimmed(r.line(2)), "SYSTEM");
    r.tap(Key::Esc);
    EXPECT_FALSE(r.drive.inMenu());
}

TEST(Menu, EditingKeepsOrRestoresAndStaysInRange) {
    Rig r;
    r.tap(Key::Menu);
    r.tap(Key::Down);
    r.tap(Key::Menu);  // SETUP > ACCEL TIME
    EXPECT_EQ(r.line(1), "ACCEL TIME      ");
    EXPECT_EQ(trimmed(r.line(2)), "  5.0 s");
    r.tap(Key::Menu);
    r.tap(Key::Up);
    EXPECT_EQ(trimmed(r.line(2)), "> 5.1 s <");
    r.tap(Key::Esc);  // restores
    EXPECT_EQ(r.drive.parameters().raw(Param::AccelTime), 50);
    r.tap(Key::Menu);
    r.hold(bit(Key::Down), 10.0);  // far past the bottom
    EXPECT_EQ(r.drive.parameters().raw(Param::AccelTime), info(Param::AccelTime).min);
    r.tap(Key::Menu);  // keeps
    EXPECT_FALSE(r.drive.editing());
    EXPECT_EQ(trimmed(r.line(2)), "  0.1 s");
    // Every parameter's default is within its range and a multiple of its step.
    for (std::size_t p = 0; p < kParamCount; ++p) {
        const ParamInfo &i = info(static_cast<Param>(p));
        EXPECT_LE(i.min, i.def);
        EXPECT_LE(i.def, i.max);
        EXPECT_EQ((i.def - i.min) % i.step, 0) << i.name;
    }
}

TEST(Menu, HomeSetpointRepeatsFasterWhenHeld) {
    Rig r;
    r.tap(Key::Up);
    EXPECT_EQ(r.drive.parameters().raw(Param::LocalSetpoint), 501);
    r.hold(bit(Key::Up), 0.56);  // before the first repeat
    EXPECT_EQ(r.drive.parameters().raw(Param::LocalSetpoint), 502);
    r.idle(0.1);
    r.hold(bit(Key::Up), 3.0);
    const int32_t slow = r.drive.parameters().raw(Param::LocalSetpoint) - 502;
    EXPECT_NEAR(slow, 1 + 24, 1);  // press, then 10 a second from 0.6 s
    r.hold(bit(Key::Up), 1.0);
    EXPECT_GE(r.drive.parameters().raw(Param::LocalSetpoint) - 502 - slow, 40);
    r.hold(bit(Key::Up), 20.0);
    EXPECT_EQ(r.drive.parameters().raw(Param::LocalSetpoint), 1000);
    EXPECT_EQ(trimmed(r.line(2)), "100.0%     0 RPM");
}

// ---- power-on combinations ----

TEST(Combos, FireInPowerOnWindowOrAfterTwoSecondsAtStandstill) {
    DriveSim fresh{2};
    fresh.parameters().set(Param::AccelTime, 7);
    fresh.step(kComboDefaults, kDt);
    EXPECT_EQ(fresh.parameters().raw(Param::AccelTime), 50);

    Rig r;
    r.drive.parameters().set(Param::AccelTime, 7);
    r.hold(kComboDefaults, 1.9);
    EXPECT_EQ(r.drive.parameters().raw(Param::AccelTime), 7);
    r.hold(kComboDefaults, 0.2);
    EXPECT_EQ(r.drive.parameters().raw(Param::AccelTime), 50);
    EXPECT_EQ(trimmed(r.line(2)), "DEFAULTS LOADED");
    r.idle(DriveSim::kMessageTime);
    EXPECT_EQ(trimmed(r.line(1)), "STOPPED    LOCAL");
}

TEST(Combos, ExactSetOnlyAndNotWhileMoving) {
    Rig r;
    r.tap(Key::Menu);  // inject a trip for the history
    r.tap(Key::Down);
    r.tap(Key::Down);
    r.tap(Key::Menu);
    r.tap(Key::Down);
    r.tap(Key::Down);
    r.tap(Key::Menu);
    r.tap(Key::Menu);
    r.tap(Key::Stop);
    r.drive.parameters().set(Param::MaxSpeed, 3000);

    r.hold(kComboFullReset | bit(Key::Prog), 2.5);  // not the exact set
    EXPECT_EQ(r.drive.tripHistory().size(), 1u);
    r.hold(kComboClearTrips, 2.1);
    EXPECT_TRUE(r.drive.tripHistory().empty());
    EXPECT_EQ(r.drive.parameters().raw(Param::MaxSpeed), 3000);

    r.tap(Key::Run);
    r.hold(kComboFullReset, 2.5);  // running: no power cycle
    EXPECT_EQ(r.drive.parameters().raw(Param::MaxSpeed), 3000);
}

TEST(Combos, FullResetRestoresEverythingWithoutFiringDefaultsAlone) {
    DriveSim d{2};
    d.step(0, kDt);
    d.step(bit(Key::Local), kDt);
    d.step(0, kDt);
    EXPECT_EQ(d.mode(), Mode::Remote);
    d.parameters().set(Param::JogSpeed, 3);
    d.step(kComboFullReset, kDt);
    EXPECT_EQ(d.mode(), Mode::Local);
    EXPECT_EQ(d.parameters().raw(Param::JogSpeed), 100);
    const Display disp = d.display();
    EXPECT_EQ(std::string(disp.line2.data(), 15), "FULL RESET DONE");
}

// ---- texts ----

TEST(Texts, EveryScreenIsSixteenVisibleCharsThenNul) {
    Rig r;
    r.drive.parameters().set(Param::MaxSpeed, 3600);
    r.drive.parameters().set(Param::LocalSetpoint, 1000);
    r.drive.parameters().set(Param::DecelTime, 1);
    auto check = [&] {
        const Display d = r.drive.display();
        for (const Line *l : {&d.line1, &d.line2}) {
            for (std::size_t i = 0; i < kVisibleChars; ++i) {
                EXPECT_GE((*l)[i], ' ');
                EXPECT_LE((*l)[i], '~');
            }
            for (std::size_t i = kVisibleChars; i < kLineBytes; ++i) EXPECT_EQ((*l)[i], '\0');
        }
    };
    // Walk every item of every group, while running in reverse at full speed.
    r.tap(Key::Dir);
    r.tap(Key::Run);
    r.timeTo(-100.0);
    check();
    r.tap(Key::Menu);
    for (std::size_t g = 0; g < menuGroups().size(); ++g) {
        check();
        r.tap(Key::Menu);
        for (std::size_t i = 0; i < menuGroups()[g].items.size(); ++i) {
            check();
            r.tap(Key::Menu);
            check();
            r.tap(Key::Esc);
            r.tap(Key::Down);
        }
        r.tap(Key::Esc);
        r.tap(Key::Down);
    }
    EXPECT_EQ(makeLine("A VERY LONG TEXT THAT DOES NOT FIT")[16], '\0');
    EXPECT_EQ(std::string(makeLine("LEFT", "RIGHT").data(), 16), "LEFT       RIGHT");
}
