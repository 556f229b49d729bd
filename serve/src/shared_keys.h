// The keys of every page on one station. Within a page the window's rules
// hold (a pointer press is a press, its release a release; a PC key presses
// and releases the panel keys the key map gives it). Between pages a panel
// key counts as held while any page holds it: a release from one page lets
// it go only when no other page holds it, and every press latches, so a
// tap from any page, however short, is never lost and no page can make a
// key stick for another.
//
// SharedKeys decides; what the station must do comes out as presses and
// releases of panel keys for its key model.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <unordered_map>

#include "opstation/panel/station_state.h"

namespace opstation::serve {

class SharedKeys {
public:
    using PageId = uint64_t;
    // press(key) when `down`, else release(key), for the station's key model.
    using KeyModelStep = std::function<void(PanelKey key, bool down)>;

    explicit SharedKeys(KeyModelStep step) : step_(std::move(step)) {}

    void pointerDown(PageId page, PanelKey key);
    void pointerUp(PageId page, PanelKey key);
    void pcKeyDown(PageId page, int virtualKey);
    void pcKeyUp(PageId page, int virtualKey);
    // The page lost the focus, or is gone: everything it holds comes up.
    void letGo(PageId page);

    bool held(PanelKey key) const;

private:
    void press(PageId page, PanelKey key);
    void release(PageId page, PanelKey key);

    KeyModelStep step_;
    std::unordered_map<PageId, std::bitset<kPanelKeyCount>> pages_;  // the keys each page holds
};

}  // namespace opstation::serve
