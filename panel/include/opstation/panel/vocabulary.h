// The names the station's programs use, in tables: the panel keys and the
// LEDs as the drive library's entry points name their arguments, the PC
// keys of the panel's key map, and what an LED shows. A script, its
// transcript and the browser page's messages use the same names, so what
// one says can be written back into another.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/key_model.h"
#include "opstation/panel/station_state.h"

namespace opstation {

template <typename T>
struct Named {
    std::string_view name;
    T value;
};

// In the library's order (opstat_download): up, down, ..., disp.
inline constexpr std::array<Named<PanelKey>, kPanelKeyCount> kPanelKeyNames = {{
    {"up", PanelKey::up},
    {"down", PanelKey::down},
    {"esc", PanelKey::esc},
    {"menu", PanelKey::menu},
    {"dir", PanelKey::dir},
    {"jog", PanelKey::jog},
    {"local", PanelKey::local},
    {"run", PanelKey::run},
    {"stop", PanelKey::stop},
    {"disp", PanelKey::disp},
}};

// In the library's order (opstat_upload): health, fwd, rev, run, stop, seq, ref.
inline constexpr std::array<Named<Led>, kLedCount> kLedNames = {{
    {"health", Led::health},
    {"fwd", Led::forward},
    {"rev", Led::reverse},
    {"run", Led::run},
    {"stop", Led::stop},
    {"seq", Led::localSeq},
    {"ref", Led::localRef},
}};

inline constexpr std::array<Named<LedShowing>, 3> kLedShowingNames = {{
    {"off", LedShowing::off},
    {"on", LedShowing::on},
    {"flashing", LedShowing::flashing},
}};

// PC keys by name besides single letters and plain virtual-key codes.
inline constexpr std::array<Named<int>, 7> kPcKeyNames = {{
    {"up", vk::up},
    {"down", vk::down},
    {"left", vk::left},
    {"right", vk::right},
    {"f2", vk::f2},
    {"f3", vk::f3},
    {"f4", vk::f4},
}};

// The name of a value in one of the tables above.
template <typename T, std::size_t N>
constexpr std::string_view nameOf(const std::array<Named<T>, N> &table, T value) {
    for (const Named<T> &entry : table)
        if (entry.value == value) return entry.name;
    return "?";
}

// The value of a name (already in lower case) in one of the tables above.
template <typename T, std::size_t N>
constexpr std::optional<T> valueOf(const std::array<Named<T>, N> &table, std::string_view name) {
    for (const Named<T> &entry : table)
        if (entry.name == name) return entry.value;
    return std::nullopt;
}

}  // namespace opstation
