#include "menu_tree.h"

#include <array>

namespace drivesim {

namespace {

constexpr MenuItem param(Param p, const char *label) { return {label, ItemKind::Parameter, static_cast<std::size_t>(p)}; }
constexpr MenuItem reading(Reading r, const char *label) { return {label, ItemKind::Reading, static_cast<std::size_t>(r)}; }
constexpr MenuItem action(Action a, const char *label) { return {label, ItemKind::Action, static_cast<std::size_t>(a)}; }

constexpr std::array kDiagnostics{
    reading(Reading::Demand, "SPEED DEMAND"),
    reading(Reading::Speed, "MOTOR SPEED"),
    reading(Reading::Rpm, "MOTOR RPM"),
    reading(Reading::Frequency, "OUTPUT FREQUENCY"),
    reading(Reading::Current, "MOTOR CURRENT"),
    reading(Reading::DcLink, "DC LINK VOLTS"),
    reading(Reading::Direction, "DIRECTION"),
};

constexpr std::array kSetup{
    param(Param::AccelTime, "ACCEL TIME"),
    param(Param::DecelTime, "DECEL TIME"),
    param(Param::MaxSpeed, "MAX SPEED"),
    param(Param::JogSpeed, "JOG SPEED"),
    param(Param::StopInRemote, "STOP IN REMOTE"),
    param(Param::RemoteRun, "REMOTE RUN"),
    param(Param::RemoteSetpoint, "REMOTE SETPOINT"),
};

constexpr std::array kTrips{
    reading(Reading::LastTrip, "LAST TRIP"),
    MenuItem{"TRIP HISTORY", ItemKind::History, 0},
    action(Action::InjectTrip, "INJECT TRIP"),
};

constexpr std::array kSystem{
    action(Action::RestoreDefaults, "RESTORE DEFAULTS"),
    reading(Reading::Version, "SOFTWARE VERSION"),
};

constexpr std::array<MenuGroup, 4> kGroups{{
    {"DIAGNOSTICS", kDiagnostics},
    {"SETUP", kSetup},
    {"TRIPS", kTrips},
    {"SYSTEM", kSystem},
}};

}  // namespace

std::span<const MenuGroup> menuGroups() { return kGroups; }

}  // namespace drivesim
