// The menu tree as data: four groups, each a list of items. What an item
// shows and what M does on it follows from its kind.
#pragma once

#include <cstddef>
#include <span>

#include "parameters.h"

namespace drivesim {

enum class Reading { Demand, Speed, Rpm, Frequency, Current, DcLink, Direction, LastTrip, Version };
enum class Action { InjectTrip, RestoreDefaults };

enum class ItemKind {
    Parameter,  // M edits it
    Reading,    // read-only, live
    Action,     // M asks for confirmation, M again does it
    History,    // M opens the list of stored trips
};

struct MenuItem {
    const char *label;
    ItemKind kind;
    std::size_t arg;  // the Param, Reading or Action it stands for
};

struct MenuGroup {
    const char *label;
    std::span<const MenuItem> items;
};

std::span<const MenuGroup> menuGroups();

constexpr Param paramOf(const MenuItem &item) { return static_cast<Param>(item.arg); }
constexpr Reading readingOf(const MenuItem &item) { return static_cast<Reading>(item.arg); }
constexpr Action actionOf(const MenuItem &item) { return static_cast<Action>(item.arg); }

}  // namespace drivesim
