// The key model: every panel key has a latched and a held flag, so a press
// shorter than an exchange cycle is never lost and a key that stays down is
// reported down on every cycle. Mouse and keyboard share one pair per key.
#pragma once

#include <cstdint>
#include <span>

#include "opstation/panel/station_state.h"

namespace opstation {

void press(StationState &state, PanelKey key);
void release(StationState &state, PanelKey key);
// -1 when the key is held or latched (and clears the latch), else 0.
int16_t sample(StationState &state, PanelKey key);

// Windows virtual-key codes of the PC keys that stand for panel keys.
namespace vk {
inline constexpr int left = 0x25, up = 0x26, right = 0x27, down = 0x28;
inline constexpr int e = 0x45, j = 0x4A, l = 0x4C, m = 0x4D, p = 0x50, r = 0x52, s = 0x53;
inline constexpr int f2 = 0x71, f3 = 0x72, f4 = 0x73;
}  // namespace vk

// The panel keys that a PC key code stands for; empty for codes outside the
// key map. F2, F3 and F4 stand for the power-on reset combinations.
std::span<const PanelKey> panelKeysFor(int keyCode);

void keyDown(StationState &state, int keyCode);
void keyUp(StationState &state, int keyCode);

}  // namespace opstation
