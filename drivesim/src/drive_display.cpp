// The two display lines: a timed message when there is one, else the home
// view or the menu.
#include <cmath>

#include "drive_sim.h"

namespace drivesim {

namespace {

std::string rpmText(double rpm) { return std::to_string(std::lround(rpm)) + " RPM"; }

}  // namespace

Display DriveSim::display() const {
    if (message_.remaining > 0.0) return {makeLine(message_.line1), makeLine(message_.line2)};
    return view_ == View::Home ? homeLines() : menuLines();
}

Display DriveSim::homeLines() const {
    Display d;
    d.line1 = makeLine(name(state_), mode_ == Mode::Local ? "LOCAL" : "REMOTE");
    if (activeTrip_) {
        d.line2 = makeLine(name(*activeTrip_));
        return d;
    }
    const Param sp = mode_ == Mode::Local ? Param::LocalSetpoint : Param::RemoteSetpoint;
    d.line2 = makeLine(fixed(params_.value(sp), 1) + "%", rpmText(rpm()));
    return d;
}

Display DriveSim::menuLines() const {
    const auto groups = menuGroups();
    const auto position = [this](std::size_t index) {
        return std::to_string(index + 1) + "/" + std::to_string(listSize());
    };
    switch (place_.level) {
        case 0: return {makeLine("MENU", position(place_.group)), makeLine(groups[place_.group].label)};
        case 1: return itemLines(currentItem());
        default: {
            const bool any = place_.entry < history_.size();
            return {makeLine("TRIP HISTORY", position(place_.entry)),
                    makeLine(any ? name(history_[place_.entry]) : "NONE")};
        }
    }
}

Display DriveSim::itemLines(const MenuItem &item) const {
    std::string value;
    switch (item.kind) {
        case ItemKind::Parameter: {
            const std::string text = params_.text(paramOf(item));
            // The marks show that UP/DOWN now change the value.
            value = edit_ == Edit::Value ? "> " + text + " <" : "  " + text;
            break;
        }
        case ItemKind::Reading: value = "  " + readingText(readingOf(item)); break;
        case ItemKind::Action: value = edit_ == Edit::Confirm ? "SURE? M=YES E=NO" : "  PRESS M"; break;
        case ItemKind::History:
            value = history_.empty() ? "  EMPTY" : "  " + std::to_string(history_.size()) + " STORED";
            break;
    }
    return {makeLine(item.label), makeLine(value)};
}

std::string DriveSim::readingText(Reading r) const {
    switch (r) {
        case Reading::Demand: return fixed(demand_, 1) + " %";
        case Reading::Speed: return fixed(motor_.speed(), 1) + " %";
        case Reading::Rpm: return rpmText(rpm());
        case Reading::Frequency: return fixed(motor_.frequencyHz(), 1) + " Hz";
        case Reading::Current: return fixed(motor_.currentAmps(), 1) + " A";
        case Reading::DcLink: return fixed(motor_.dcLinkVolts(), 0) + " V";
        case Reading::Direction: return actualDirection() == Direction::Forward ? "FORWARD" : "REVERSE";
        case Reading::LastTrip: return history_.empty() ? "NONE" : name(history_.front());
        case Reading::Version: return DRIVESIM_VERSION;
    }
    return "";
}

}  // namespace drivesim
