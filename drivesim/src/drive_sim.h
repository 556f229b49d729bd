// The simulated drive: sequencing, motor, trips, menus and display, stepped
// with the ten key states and an explicit time step so that it runs the same
// way every time. The C entry points own one instance; tests own their own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "keys.h"
#include "menu_tree.h"
#include "motor.h"
#include "parameters.h"
#include "text.h"

namespace drivesim {

enum class State { Stopped, Running, Jogging, Stopping, Tripped };
enum class Mode { Local, Remote };
enum class Direction { Forward, Reverse };
enum class Trip { Overvoltage, External };

const char *name(State s);
const char *name(Trip t);

struct Led {
    bool on = false;
    bool flash = false;
    bool operator==(const Led &) const = default;
};

struct Leds {
    Led health, fwd, rev, run, stop, seq, ref;
};

struct Display {
    Line line1{};
    Line line2{};
};

// Held UP or DOWN repeats: first after a pause, then faster the longer it
// is held, so that a wide range is still crossed in seconds.
class KeyRepeat {
public:
    static constexpr double kFirstDelay = 0.6;
    static constexpr double kFastAfter = 3.0;
    static constexpr double kSlowInterval = 0.1;
    static constexpr double kFastInterval = 0.02;

    // Actions due this step: 1 on the press, then the repeats.
    int update(bool down, bool pressed, double dt);

private:
    double held_ = 0.0;
    double next_ = kFirstDelay;
};

class DriveSim {
public:
    static constexpr std::size_t kHistorySize = 5;
    static constexpr double kMessageTime = 2.0;
    static constexpr double kPowerOnWindow = 2.0;
    static constexpr double kComboHoldTime = 2.0;

    explicit DriveSim(int32_t station);

    void step(KeyMask held, double dt);

    std::string title() const;
    Leds leds() const;
    Display display() const;

    State state() const { return state_; }
    Mode mode() const { return mode_; }
    Direction requestedDirection() const { return requested_; }
    Direction actualDirection() const;
    double speed() const { return motor_.speed(); }
    double demand() const { return demand_; }
    double rpm() const;
    const Motor &motor() const { return motor_; }
    Parameters &parameters() { return params_; }
    const Parameters &parameters() const { return params_; }
    // Newest first.
    const std::deque<Trip> &tripHistory() const { return history_; }
    bool inMenu() const { return view_ == View::Menu; }
    bool editing() const { return edit_ != Edit::None; }
    bool atStandstill() const;

private:
    enum class View { Home, Menu };
    enum class Edit { None, Value, Confirm };
    // level 0: the groups; 1: a group's items; 2: the trip history list.
    struct Place {
        std::size_t group = 0, item = 0, entry = 0;
        int level = 0;
    };
    struct Message {
        std::string line1, line2;
        double remaining = 0.0;
    };

    // keys and sequencing (drive_sim.cpp)
    void handleKeys(KeyMask held, KeyMask pressed, double dt);
    void onRun();
    void onStop();
    void onJog(bool held, bool pressed);
    void onDir();
    void onLocal();
    void followRemote();
    void runMotor(double dt);
    void trip(Trip t);
    void checkCombos(KeyMask held, double dt);
    void applyCombo(KeyMask combo);
    void show(std::string line1, std::string line2);
    bool localHealthy() const { return mode_ == Mode::Local && state_ != State::Tripped; }

    // menus (drive_menu.cpp)
    void navigate(KeyMask pressed, int ups, int downs);
    void homeKey(KeyMask pressed, int ups, int downs);
    void menuMove(int delta);
    void menuEnter();
    void menuBack();
    void editMove(int delta);
    void leaveMenu();
    void cancelEdit();
    void perform(Action a);
    const MenuItem &currentItem() const;
    std::size_t listSize() const;

    // texts (drive_display.cpp)
    Display homeLines() const;
    Display menuLines() const;
    Display itemLines(const MenuItem &item) const;
    std::string readingText(Reading r) const;

    int32_t station_;
    Parameters params_;
    Motor motor_;
    State state_ = State::Stopped;
    Mode mode_ = Mode::Local;
    Direction requested_ = Direction::Forward;
    double demand_ = 0.0;
    std::optional<Trip> activeTrip_;
    std::deque<Trip> history_;
    // Set by STOP or a trip in REMOTE: the drive stays stopped until REMOTE
    // RUN is switched OFF, so it never restarts on its own.
    bool remoteHold_ = false;

    double sincePowerOn_ = 0.0;
    KeyMask previous_ = 0;
    KeyRepeat upRepeat_, downRepeat_;
    KeyMask comboHeld_ = 0;
    double comboTime_ = 0.0;
    bool comboDone_ = false;  // fired for this hold; released before the next

    View view_ = View::Home;
    Place place_, lastPlace_;
    Edit edit_ = Edit::None;
    int32_t editOld_ = 0;
    Message message_;
};

}  // namespace drivesim
