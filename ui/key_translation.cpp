#include "key_translation.h"

#include <Qt>
#include <algorithm>
#include <array>

#include "opstation/panel/key_model.h"

namespace opstation {

namespace {

struct KeyRow {
    int qtKey;
    int virtualKey;
};

constexpr std::array<KeyRow, 7> kSpecialKeys = {{
    {Qt::Key_Left, vk::left},
    {Qt::Key_Up, vk::up},
    {Qt::Key_Right, vk::right},
    {Qt::Key_Down, vk::down},
    {Qt::Key_F2, vk::f2},
    {Qt::Key_F3, vk::f3},
    {Qt::Key_F4, vk::f4},
}};

}  // namespace

std::optional<int> virtualKeyCode(int qtKey) {
    // Qt::Key_A..Key_Z are 0x41..0x5A, the virtual-key codes of the letters.
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return qtKey;
    const auto *row = std::find_if(kSpecialKeys.begin(), kSpecialKeys.end(), [&](const KeyRow &r) { return r.qtKey == qtKey; });
    if (row == kSpecialKeys.end()) return std::nullopt;
    return row->virtualKey;
}

}  // namespace opstation
