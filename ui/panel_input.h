// Mouse and keyboard input of Picture1, turned into presses and releases of
// panel keys.
//
// Mouse: the key labels are drawn on Picture1 and have no window of their
// own, so Picture1 plays their part of the mouse grab: the label under the
// first button to go down keeps the mouse until every button is up; every
// button going down while it holds the mouse is a press of its key, every
// button coming up a release, wherever the pointer is.
//
// Keyboard: key events count only while Picture1 itself has the focus;
// auto-repeat releases are dropped, so a held key stays held.
#pragma once

#include <QEvent>
#include <QPointF>
#include <functional>
#include <optional>

#include "key_translation.h"
#include "opstation/panel/keyboard_holds.h"
#include "opstation/panel/station_state.h"

class QKeyEvent;
class QMouseEvent;

namespace opstation {

class PanelInput {
public:
    // The panel key whose label takes a press at a point of Picture1
    // (logical pixels), if any.
    using KeyAt = std::function<std::optional<PanelKey>(QPointF)>;

    // `native`: what the platform's native key codes tell, for letter keys
    // of layouts without Latin letters.
    PanelInput(StationState &state, KeyboardHolds &keyboard, KeyAt keyAt, NativeKeys native = currentNativeKeys());

    // Returns true when the event was one of ours.
    bool mouseEvent(const QMouseEvent &event);
    bool keyEvent(const QKeyEvent &event);

    // The window lost the mouse during a press (deactivated, hidden): the
    // release will never come, so the key is released now.
    void mouseLost();
    // Picture1 lost the keyboard focus: key-ups will go elsewhere.
    void focusLost() { keyboard_.releaseAll(state_); }

    bool holdsMouse() const { return grab_.active; }

private:
    void MouseDown(QPointF position);
    void MouseUp(bool lastButton);

    struct Grab {
        bool active = false;              // a button is down on Picture1
        std::optional<PanelKey> key;      // the key label that holds the mouse
    };

    StationState &state_;
    KeyboardHolds &keyboard_;
    KeyAt keyAt_;
    NativeKeys native_;
    Grab grab_;
};

}  // namespace opstation
