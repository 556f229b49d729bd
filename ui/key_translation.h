// Qt key values are not Windows virtual-key codes (Qt::Key_Percent is 37,
// the code of the Left arrow), so keys are translated through a table.
#pragma once

#include <optional>

namespace opstation {

// The virtual-key code of a Qt key value, for the keys of the panel's key
// map; nothing for every other key (the PC's Esc included). Letters give the
// code of their capital whatever Shift and Caps Lock say.
std::optional<int> virtualKeyCode(int qtKey);

}  // namespace opstation
