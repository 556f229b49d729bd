// Menu navigation: M goes in (or edits, or confirms), E goes back (or
// restores the value being edited), UP/DOWN move or change, PROG jumps
// between the home view and the last place in the menu.
#include <algorithm>

#include "drive_sim.h"

namespace drivesim {

void DriveSim::navigate(KeyMask pressed, int ups, int downs) {
    if (view_ == View::Home) return homeKey(pressed, ups, downs);
    // UP goes to the previous item in a list, and raises a value.
    const int delta = ups - downs;
    if (delta != 0) {
        if (edit_ == Edit::Value) editMove(delta);
        else if (edit_ == Edit::None) menuMove(-delta);
    }
    if (has(pressed, Key::Menu)) menuEnter();
    if (has(pressed, Key::Esc)) menuBack();
    if (has(pressed, Key::Prog)) leaveMenu();
}

void DriveSim::homeKey(KeyMask pressed, int ups, int downs) {
    if (has(pressed, Key::Prog)) {
        view_ = View::Menu;
        place_ = lastPlace_;
        // The trip list may have shrunk since the place was left.
        if (place_.level == 2 && history_.empty()) place_.level = 1;
        place_.entry = std::min(place_.entry, listSize() - 1);
        return;
    }
    if (has(pressed, Key::Menu)) {
        view_ = View::Menu;
        place_ = Place{};
        return;
    }
    const int delta = ups - downs;
    if (delta == 0) return;
    if (mode_ == Mode::Remote) return show("REMOTE SETPOINT", "IS IN SETUP MENU");
    params_.stepBy(Param::LocalSetpoint, delta);
}

std::size_t DriveSim::listSize() const {
    switch (place_.level) {
        case 0: return menuGroups().size();
        case 1: return menuGroups()[place_.group].items.size();
        default: return std::max<std::size_t>(history_.size(), 1);
    }
}

const MenuItem &DriveSim::currentItem() const { return menuGroups()[place_.group].items[place_.item]; }

void DriveSim::menuMove(int delta) {
    std::size_t &index = place_.level == 0 ? place_.group : place_.level == 1 ? place_.item : place_.entry;
    const auto last = static_cast<long>(listSize()) - 1;
    index = static_cast<std::size_t>(std::clamp(static_cast<long>(index) + delta, 0L, last));
}

void DriveSim::menuEnter() {
    if (edit_ == Edit::Value) {
        edit_ = Edit::None;  // keep the new value
        return;
    }
    if (edit_ == Edit::Confirm) {
        edit_ = Edit::None;
        return perform(actionOf(currentItem()));
    }
    if (place_.level == 0) {
        place_.level = 1;
        place_.item = 0;
        return;
    }
    if (place_.level != 1) return;
    const MenuItem &item = currentItem();
    switch (item.kind) {
        case ItemKind::Parameter:
            edit_ = Edit::Value;
            editOld_ = params_.raw(paramOf(item));
            break;
        case ItemKind::Action: edit_ = Edit::Confirm; break;
        case ItemKind::History:
            if (!history_.empty()) {
                place_.level = 2;
                place_.entry = 0;
            }
            break;
        case ItemKind::Reading: break;
    }
}

void DriveSim::menuBack() {
    if (edit_ != Edit::None) return cancelEdit();
    if (place_.level == 0) return leaveMenu();
    --place_.level;
}

void DriveSim::editMove(int delta) { params_.stepBy(paramOf(currentItem()), delta); }

void DriveSim::cancelEdit() {
    // A changed value takes effect at once (the operator watches the drive
    // respond); giving up restores the value from before the edit.
    if (edit_ == Edit::Value) params_.set(paramOf(currentItem()), editOld_);
    edit_ = Edit::None;
}

void DriveSim::leaveMenu() {
    cancelEdit();
    lastPlace_ = place_;
    view_ = View::Home;
}

void DriveSim::perform(Action a) {
    switch (a) {
        case Action::InjectTrip: return trip(Trip::External);
        case Action::RestoreDefaults:
            params_.restoreDefaults();
            return show("RESTORE DEFAULTS", "DONE");
    }
}

}  // namespace drivesim
