#include "opstation/panel/keyboard_holds.h"

#include "opstation/panel/key_model.h"

namespace opstation {

void KeyboardHolds::keyDown(StationState &state, int keyCode) {
    if (panelKeysFor(keyCode).empty()) return;
    down_.set(static_cast<std::size_t>(keyCode));
    opstation::keyDown(state, keyCode);
}

void KeyboardHolds::keyUp(StationState &state, int keyCode) {
    if (panelKeysFor(keyCode).empty()) return;
    down_.reset(static_cast<std::size_t>(keyCode));
    opstation::keyUp(state, keyCode);
}

void KeyboardHolds::releaseAll(StationState &state) {
    for (int code = 0; code < kCodes; ++code) {
        if (down_.test(static_cast<std::size_t>(code))) keyUp(state, code);
    }
}

}  // namespace opstation
