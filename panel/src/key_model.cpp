#include "opstation/panel/key_model.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace opstation {

namespace {

using enum PanelKey;

// Position of each PanelKey's latch pair in StationState::keys, whose order
// is disp, menu, esc, up, down, dir, run, stop, local, jog.
constexpr std::array<std::size_t, kPanelKeyCount> kLatchSlot = {
    /*up*/ 3, /*down*/ 4, /*esc*/ 2, /*menu*/ 1, /*dir*/ 5,
    /*jog*/ 9, /*local*/ 8, /*run*/ 6, /*stop*/ 7, /*disp*/ 0,
};

struct KeyMapRow {
    int keyCode;
    std::array<PanelKey, 4> keys;
    std::size_t count;
};

constexpr KeyMapRow row(int keyCode, std::initializer_list<PanelKey> keys) {
    KeyMapRow r{keyCode, {}, keys.size()};
    std::copy(keys.begin(), keys.end(), r.keys.begin());
    return r;
}

// The keyboard map: Windows virtual-key code -> panel keys.
constexpr std::array kKeyMap = {
    row(vk::e, {esc}),
    row(vk::m, {menu}),
    row(vk::up, {up}),
    row(vk::down, {down}),
    row(vk::p, {disp}),
    row(vk::l, {local}),
    row(vk::j, {jog}),
    row(vk::right, {dir}),
    row(vk::left, {dir}),
    row(vk::r, {run}),
    row(vk::s, {stop}),
    row(vk::f2, {up, down}),
    row(vk::f3, {up, esc, disp}),
    row(vk::f4, {up, down, esc, menu}),
};

}  // namespace

KeyLatch &StationState::latch(PanelKey key) { return keys[kLatchSlot[static_cast<std::size_t>(key)]]; }
const KeyLatch &StationState::latch(PanelKey key) const { return keys[kLatchSlot[static_cast<std::size_t>(key)]]; }

void press(StationState &state, PanelKey key) {
    KeyLatch &latch = state.latch(key);
    latch.latched = kTrue;
    latch.held = kTrue;
}

void release(StationState &state, PanelKey key) { state.latch(key).held = kFalse; }

int16_t sample(StationState &state, PanelKey key) {
    KeyLatch &latch = state.latch(key);
    if (latch.held == kFalse && latch.latched == kFalse) return kFalse;
    latch.latched = kFalse;
    return kTrue;
}

std::span<const PanelKey> panelKeysFor(int keyCode) {
    const auto *row = std::find_if(kKeyMap.begin(), kKeyMap.end(), [&](const KeyMapRow &r) { return r.keyCode == keyCode; });
    if (row == kKeyMap.end()) return {};
    return {row->keys.data(), row->count};
}

void keyDown(StationState &state, int keyCode) {
    for (PanelKey key : panelKeysFor(keyCode)) press(state, key);
}

void keyUp(StationState &state, int keyCode) {
    for (PanelKey key : panelKeysFor(keyCode)) release(state, key);
}

}  // namespace opstation
