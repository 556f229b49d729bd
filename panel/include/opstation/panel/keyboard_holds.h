// Which PC keys are down on the panel right now. A key let go while the
// panel does not have the keyboard focus sends no key-up to it, so when the
// panel loses the focus it releases what the PC keys still hold, as if their
// key-ups had arrived. Mouse-held keys are not touched.
#pragma once

#include <bitset>

#include "opstation/panel/station_state.h"

namespace opstation {

class KeyboardHolds {
public:
    void keyDown(StationState &state, int keyCode);
    void keyUp(StationState &state, int keyCode);
    // Key-ups for every mapped PC key still down.
    void releaseAll(StationState &state);

    bool anyDown() const { return down_.any(); }

private:
    static constexpr int kCodes = 256;  // Windows virtual-key codes are one byte
    std::bitset<kCodes> down_;
};

}  // namespace opstation
