// Qt key values are not Windows virtual-key codes (Qt::Key_Percent is 37,
// the code of the Left arrow), so keys are translated through a table.
//
// Letter keys give what Windows virtual-key codes give: the code of the
// layout's Latin letter where the key has one; on layouts without Latin
// letters (Cyrillic, Greek, ...) the code of the letter at the key's place
// on a US keyboard, found from the key event's native codes.
#pragma once

#include <QStringList>
#include <QStringView>
#include <optional>

#include "opstation/panel/station_state.h"

class QKeyEvent;

namespace opstation {

// What a platform's native key codes say about where a key lies.
enum class NativeKeys {
    none,               // nothing usable (offscreen, synthetic events)
    xkbKeycode,         // the scan code is an XKB keycode: evdev code + 8 (X11, Wayland)
    windowsVirtualKey,  // the native virtual key is already the code we want
};
NativeKeys nativeKeysOf(QStringView platformName);
// For the running application's platform.
NativeKeys currentNativeKeys();

// The virtual-key code of a Qt key value, for the keys of the panel's key
// map; nothing for every other key (the PC's Esc included). Letters give the
// code of their capital whatever Shift and Caps Lock say.
std::optional<int> virtualKeyCode(int qtKey);

// The same for a key event, letters of non-Latin layouts included.
std::optional<int> virtualKeyCode(const QKeyEvent &event, NativeKeys native);

// The code of the letter ('A'..'Z') at an XKB keycode's place on a US
// keyboard; nothing for keys that are not letter keys there.
std::optional<int> usLetterAtXkbKeycode(quint32 keycode);

// The names of the PC keys that stand for this panel key alone ("R",
// "Left", "Right"), for assistive technology to tell.
QStringList pcKeyNamesFor(PanelKey key);

}  // namespace opstation
