#include "shared_keys.h"

#include <algorithm>

#include "opstation/panel/key_model.h"

namespace opstation::serve {

namespace {

std::size_t bit(PanelKey key) { return static_cast<std::size_t>(key); }

}  // namespace

void SharedKeys::press(PageId page, PanelKey key) {
    pages_[page].set(bit(key));
    step_(key, true);
}

void SharedKeys::release(PageId page, PanelKey key) {
    const auto it = pages_.find(page);
    if (it == pages_.end() || !it->second.test(bit(key))) return;
    it->second.reset(bit(key));
    if (!held(key)) step_(key, false);
}

bool SharedKeys::held(PanelKey key) const {
    return std::any_of(pages_.begin(), pages_.end(), [&](const auto &page) { return page.second.test(bit(key)); });
}

void SharedKeys::pointerDown(PageId page, PanelKey key) { press(page, key); }

void SharedKeys::pointerUp(PageId page, PanelKey key) { release(page, key); }

void SharedKeys::pcKeyDown(PageId page, int virtualKey) {
    for (PanelKey key : panelKeysFor(virtualKey)) press(page, key);
}

// As in the window, a PC key's release lets go of all its panel keys, even
// one that this page's pointer still holds.
void SharedKeys::pcKeyUp(PageId page, int virtualKey) {
    for (PanelKey key : panelKeysFor(virtualKey)) release(page, key);
}

void SharedKeys::letGo(PageId page) {
    const auto it = pages_.find(page);
    if (it == pages_.end()) return;
    const std::bitset<kPanelKeyCount> keys = it->second;
    pages_.erase(it);
    for (std::size_t i = 0; i < kPanelKeyCount; ++i) {
        const auto key = static_cast<PanelKey>(i);
        if (keys.test(i) && !held(key)) step_(key, false);
    }
}

}  // namespace opstation::serve
