// The ten operator keys as the drive sees them: one bit each in a mask, so
// that a power-on combination is simply an exact mask value.
#pragma once

#include <cstdint>

namespace drivesim {

// Bit positions follow the order in which the panel hands the keys over.
enum class Key : unsigned { Up, Down, Esc, Menu, Dir, Jog, Local, Run, Stop, Prog };

using KeyMask = uint16_t;

constexpr KeyMask bit(Key key) { return static_cast<KeyMask>(1u << static_cast<unsigned>(key)); }

template <typename... Keys>
constexpr KeyMask keys(Keys... k) {
    return static_cast<KeyMask>((0u | ... | bit(k)));
}

constexpr bool has(KeyMask mask, Key key) { return (mask & bit(key)) != 0; }

// Keys that steer the display. Two or more of them down together are a
// combination, not navigation, so none of them acts on its own then.
inline constexpr KeyMask kNavigationKeys = keys(Key::Up, Key::Down, Key::Esc, Key::Menu, Key::Prog);

// The power-on combinations (the panel's F2, F3 and F4).
inline constexpr KeyMask kComboDefaults = keys(Key::Up, Key::Down);
inline constexpr KeyMask kComboClearTrips = keys(Key::Up, Key::Esc, Key::Prog);
inline constexpr KeyMask kComboFullReset = keys(Key::Up, Key::Down, Key::Esc, Key::Menu);

}  // namespace drivesim
