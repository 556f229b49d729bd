// Picture1's input rules, with real Qt events handed straight to the input
// object: the mouse grab of the windowless key labels, the key map through
// Qt key values, auto-repeat, and the releases on focus or mouse loss.
#include "panel_input.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include <tuple>

#include "key_translation.h"
#include "opstation/panel/key_model.h"

namespace opstation {
namespace {

using enum PanelKey;

class PanelInputTest : public ::testing::Test {
protected:
    StationState state;
    KeyboardHolds keyboard;
    // Two key labels side by side; everything else is no key.
    PanelInput input{state, keyboard, [](QPointF p) -> std::optional<PanelKey> {
                         if (p.y() < 0 || p.y() >= 10) return std::nullopt;
                         if (p.x() >= 0 && p.x() < 10) return run;
                         if (p.x() >= 20 && p.x() < 30) return stop;
                         return std::nullopt;
                     }};

    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons stillDown) {
        const QMouseEvent event(type, at, at, button, stillDown, Qt::NoModifier);
        input.mouseEvent(event);
    }
    void key(QEvent::Type type, int qtKey, bool autoRepeat = false, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        const QKeyEvent event(type, qtKey, mods, QString(), autoRepeat);
        input.keyEvent(event);
    }
    bool held(PanelKey k) { return state.latch(k).held == kTrue; }
    int16_t cycle(PanelKey k) { return sample(state, k); }
};

TEST_F(PanelInputTest, ClickBetweenCyclesIsOneDownThenUp) {
    mouse(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(cycle(run), kTrue);
    EXPECT_EQ(cycle(run), kFalse);
}

TEST_F(PanelInputTest, ReleaseAfterDraggingOffStillReleasesTheKey) {
    mouse(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {200, 300}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(held(run));
}

// The label that took the first button keeps the mouse: a second button
// pressed over another key presses the first key again, and every button-up
// releases it, even while another button is down.
TEST_F(PanelInputTest, SecondButtonGoesToTheLabelHoldingTheMouse) {
    mouse(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonPress, {25, 5}, Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    EXPECT_FALSE(held(stop));
    mouse(QEvent::MouseButtonRelease, {25, 5}, Qt::RightButton, Qt::LeftButton);
    EXPECT_FALSE(held(run));  // released although the left button is still down
    mouse(QEvent::MouseButtonPress, {25, 5}, Qt::MiddleButton, Qt::LeftButton | Qt::MiddleButton);
    EXPECT_TRUE(held(run));
    mouse(QEvent::MouseButtonRelease, {25, 5}, Qt::MiddleButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {25, 5}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(input.holdsMouse());
    mouse(QEvent::MouseButtonPress, {25, 5}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(held(stop));  // a new grab
}

TEST_F(PanelInputTest, PressOutsideKeyLabelsHoldsTheMouseForNothing) {
    mouse(QEvent::MouseButtonPress, {15, 5}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonPress, {5, 5}, Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    for (const KeyLatch &latch : state.keys) EXPECT_EQ(latch.latched, kFalse);
}

TEST_F(PanelInputTest, DoubleClickCountsAsTheSecondPress) {
    mouse(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(cycle(run), kTrue);
    mouse(QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(cycle(run), kTrue);
    EXPECT_EQ(cycle(run), kFalse);
}

TEST_F(PanelInputTest, LosingTheMouseReleasesTheHeldKey) {
    mouse(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    input.mouseLost();
    EXPECT_FALSE(held(run));
    EXPECT_FALSE(input.holdsMouse());
}

TEST_F(PanelInputTest, EveryRowOfTheKeyMapThroughQtKeys) {
    const std::vector<std::pair<int, std::vector<PanelKey>>> rows = {
        {Qt::Key_E, {esc}},         {Qt::Key_M, {menu}},       {Qt::Key_Up, {up}},
        {Qt::Key_Down, {down}},     {Qt::Key_P, {disp}},       {Qt::Key_L, {local}},
        {Qt::Key_J, {jog}},         {Qt::Key_Right, {dir}},    {Qt::Key_Left, {dir}},
        {Qt::Key_R, {run}},         {Qt::Key_S, {stop}},       {Qt::Key_F2, {up, down}},
        {Qt::Key_F3, {up, esc, disp}}, {Qt::Key_F4, {up, down, esc, menu}},
    };
    for (const auto &[qtKey, keys] : rows) {
        key(QEvent::KeyPress, qtKey);
        for (std::size_t k = 0; k < kPanelKeyCount; ++k) {
            const auto panelKey = static_cast<PanelKey>(k);
            const bool expected = std::find(keys.begin(), keys.end(), panelKey) != keys.end();
            EXPECT_EQ(held(panelKey), expected) << "Qt key " << qtKey << " panel key " << k;
        }
        key(QEvent::KeyRelease, qtKey);
        for (const KeyLatch &latch : state.keys) EXPECT_EQ(latch.held, kFalse);
        state = {};
    }
}

TEST_F(PanelInputTest, ShiftDoesNotChangeTheLetter) {
    key(QEvent::KeyPress, Qt::Key_R, false, Qt::ShiftModifier);
    EXPECT_TRUE(held(run));
}

// Qt values that equal mapped virtual-key codes (%, &, ', ( are 37..40)
// must not press the arrows' keys; Esc, F1 and Shift do nothing.
TEST_F(PanelInputTest, KeysOutsideTheMapDoNothing) {
    for (int qtKey : {Qt::Key_Percent, Qt::Key_Ampersand, Qt::Key_Apostrophe, Qt::Key_ParenLeft, Qt::Key_Escape,
                      Qt::Key_F1, Qt::Key_Shift, Qt::Key_F5, Qt::Key_Tab, Qt::Key_Space}) {
        key(QEvent::KeyPress, qtKey);
        key(QEvent::KeyRelease, qtKey);
    }
    for (const KeyLatch &latch : state.keys) EXPECT_EQ(latch.latched, kFalse);
}

// X11 delivers a held key as press, (release, press) pairs marked
// auto-repeat, then a plain release; some pairs come unmarked.
TEST_F(PanelInputTest, AutoRepeatKeepsTheKeyHeld) {
    key(QEvent::KeyPress, Qt::Key_J);
    EXPECT_EQ(cycle(jog), kTrue);
    for (int i = 0; i < 3; ++i) {
        key(QEvent::KeyRelease, Qt::Key_J, true);
        key(QEvent::KeyPress, Qt::Key_J, true);
        EXPECT_EQ(cycle(jog), kTrue);
    }
    key(QEvent::KeyRelease, Qt::Key_J, false);  // an unmarked pair
    key(QEvent::KeyPress, Qt::Key_J, false);
    EXPECT_EQ(cycle(jog), kTrue);
    key(QEvent::KeyRelease, Qt::Key_J, true);
    key(QEvent::KeyPress, Qt::Key_J, true);
    key(QEvent::KeyRelease, Qt::Key_J);
    EXPECT_EQ(cycle(jog), kTrue);  // the last press came after the last cycle
    EXPECT_EQ(cycle(jog), kFalse);
}

TEST_F(PanelInputTest, FocusLossReleasesPcKeysButNotTheMouse) {
    mouse(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    key(QEvent::KeyPress, Qt::Key_J);
    input.focusLost();
    EXPECT_FALSE(held(jog));
    EXPECT_TRUE(held(run));
}

TEST(KeyTranslation, LettersAndSpecialKeys) {
    EXPECT_EQ(virtualKeyCode(Qt::Key_A), 0x41);
    EXPECT_EQ(virtualKeyCode(Qt::Key_Z), 0x5A);
    EXPECT_EQ(virtualKeyCode(Qt::Key_Left), 0x25);
    EXPECT_EQ(virtualKeyCode(Qt::Key_F4), 0x73);
    EXPECT_EQ(virtualKeyCode(Qt::Key_F5), std::nullopt);
    EXPECT_EQ(virtualKeyCode(Qt::Key_Escape), std::nullopt);
    EXPECT_EQ(virtualKeyCode(0x61), std::nullopt);  // not a Qt key value for a letter
}

// A key event as the platform delivers it: Qt's key value and the native
// scan code and virtual key.
QKeyEvent nativeKey(int qtKey, quint32 scanCode, quint32 virtualKey = 0) {
    return QKeyEvent(QEvent::KeyPress, qtKey, Qt::NoModifier, scanCode, virtualKey, 0);
}

// Where the layout has no Latin letter on a key, the key counts by its place
// on a US keyboard: on a Russian layout the E key gives U+0423 (XKB keycode
// 26), the R key U+041A (27), and so on for all seven letters.
TEST(KeyTranslation, NonLatinLettersCountByTheirPlace) {
    const std::vector<std::tuple<char16_t, quint32, int>> russian = {
        {u'\u0423', 26, vk::e}, {u'\u042C', 58, vk::m}, {u'\u0417', 33, vk::p}, {u'\u0414', 46, vk::l},
        {u'\u041E', 44, vk::j}, {u'\u041A', 27, vk::r}, {u'\u042B', 39, vk::s},
    };
    for (const auto &[letter, keycode, code] : russian)
        EXPECT_EQ(virtualKeyCode(nativeKey(letter, keycode), NativeKeys::xkbKeycode), code) << keycode;
    EXPECT_EQ(virtualKeyCode(nativeKey(u'\u0395', 0, 'E'), NativeKeys::windowsVirtualKey), vk::e);  // Greek epsilon
    EXPECT_EQ(virtualKeyCode(nativeKey(u'\u0425', 34), NativeKeys::xkbKeycode), std::nullopt) << "US [ key";
    EXPECT_EQ(virtualKeyCode(nativeKey(u'\u0423', 26), NativeKeys::none), std::nullopt);
}

// A Latin layout's own letters and symbols decide: on a French layout the
// comma lies where a US keyboard has M, and presses nothing.
TEST(KeyTranslation, LatinLayoutsKeepTheirOwnLetters) {
    EXPECT_EQ(virtualKeyCode(nativeKey(Qt::Key_Comma, 58), NativeKeys::xkbKeycode), std::nullopt);
    EXPECT_EQ(virtualKeyCode(nativeKey(Qt::Key_M, 47), NativeKeys::xkbKeycode), vk::m);
    EXPECT_EQ(virtualKeyCode(nativeKey(Qt::Key_Up, 111), NativeKeys::xkbKeycode), vk::up);
    EXPECT_EQ(nativeKeysOf(u"xcb"), NativeKeys::xkbKeycode);
    EXPECT_EQ(nativeKeysOf(u"wayland-egl"), NativeKeys::xkbKeycode);
    EXPECT_EQ(nativeKeysOf(u"windows"), NativeKeys::windowsVirtualKey);
    EXPECT_EQ(nativeKeysOf(u"offscreen"), NativeKeys::none);
}

TEST_F(PanelInputTest, RussianLetterPressesAndReleasesItsKey) {
    PanelInput russian{state, keyboard, [](QPointF) { return std::nullopt; }, NativeKeys::xkbKeycode};
    russian.keyEvent(QKeyEvent(QEvent::KeyPress, u'\u041A', Qt::NoModifier, 27, 0x6cb, 0));
    EXPECT_TRUE(held(run));
    russian.keyEvent(QKeyEvent(QEvent::KeyRelease, u'\u041A', Qt::NoModifier, 27, 0x6cb, 0));
    EXPECT_FALSE(held(run));
}

}  // namespace
}  // namespace opstation
