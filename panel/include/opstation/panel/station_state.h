// The panel's state record: key latches, the flash clock and the LED words.
// Plain 16-bit fields, -1 for true and 0 for false, all starting at 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace opstation {

inline constexpr int16_t kTrue = -1;
inline constexpr int16_t kFalse = 0;

// The ten panel keys, in the order in which the drive library takes them.
enum class PanelKey : uint8_t { up, down, esc, menu, dir, jog, local, run, stop, disp };
inline constexpr std::size_t kPanelKeyCount = 10;

// The seven LEDs, in the order of the state record and of the LED refresh.
enum class Led : uint8_t { health, run, stop, forward, reverse, localRef, localSeq };
inline constexpr std::size_t kLedCount = 7;

struct KeyLatch {
    int16_t latched = kFalse;  // set by every press, cleared only by a sample
    int16_t held = kFalse;     // set by every press, cleared by every release
};

struct LedState {
    int16_t on = kFalse;
    int16_t flash = kFalse;
};

// The latch pairs are stored in the record's own order (disp, menu, esc, up,
// down, dir, run, stop, local, jog); latchSlot() maps a PanelKey onto it.
struct StationState {
    std::array<KeyLatch, kPanelKeyCount> keys{};
    int16_t flashCounter = 0;  // 0..8
    int16_t flashPhase = kFalse;
    std::array<LedState, kLedCount> leds{};

    KeyLatch &latch(PanelKey key);
    const KeyLatch &latch(PanelKey key) const;
    LedState &led(Led which) { return leds[static_cast<std::size_t>(which)]; }
    const LedState &led(Led which) const { return leds[static_cast<std::size_t>(which)]; }
};

}  // namespace opstation
