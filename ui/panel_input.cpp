#include "panel_input.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <array>

#include "opstation/panel/key_model.h"

namespace opstation {

namespace {

enum class MouseAction { down, up };

// A double click arrives as press, release, double-click, release: the
// double-click stands for the second press.
constexpr std::array<std::pair<QEvent::Type, MouseAction>, 3> kMouseActions = {{
    {QEvent::MouseButtonPress, MouseAction::down},
    {QEvent::MouseButtonDblClick, MouseAction::down},
    {QEvent::MouseButtonRelease, MouseAction::up},
}};

std::optional<MouseAction> mouseActionOf(QEvent::Type type) {
    for (const auto &[eventType, action] : kMouseActions)
        if (eventType == type) return action;
    return std::nullopt;
}

}  // namespace

PanelInput::PanelInput(StationState &state, KeyboardHolds &keyboard, KeyAt keyAt, NativeKeys native)
    : state_(state), keyboard_(keyboard), keyAt_(std::move(keyAt)), native_(native) {}

bool PanelInput::mouseEvent(const QMouseEvent &event) {
    const auto action = mouseActionOf(event.type());
    if (!action) return false;
    if (*action == MouseAction::down)
        MouseDown(event.position());
    else
        MouseUp(event.buttons() == Qt::NoButton);
    return true;
}

// The first button down picks the label that holds the mouse; later ones go
// to it, wherever they are.
void PanelInput::MouseDown(QPointF position) {
    if (!grab_.active) grab_ = {true, keyAt_(position)};
    if (grab_.key) press(state_, *grab_.key);
}

void PanelInput::MouseUp(bool lastButton) {
    if (grab_.key) release(state_, *grab_.key);
    if (lastButton) grab_ = {};
}

void PanelInput::mouseLost() {
    if (grab_.key) release(state_, *grab_.key);
    grab_ = {};
}

bool PanelInput::keyEvent(const QKeyEvent &event) {
    const auto code = virtualKeyCode(event, native_);
    if (!code) return false;
    if (event.type() == QEvent::KeyPress) {
        keyboard_.keyDown(state_, *code);  // auto-repeat presses are key-downs too
    } else if (event.type() == QEvent::KeyRelease && !event.isAutoRepeat()) {
        keyboard_.keyUp(state_, *code);
    }
    return true;
}

}  // namespace opstation
