#include "key_translation.h"

#include <QChar>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <Qt>
#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

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

struct PlatformKeys {
    std::u16string_view platformPrefix;
    NativeKeys keys;
};

// Qt's platform plugins by name; every "wayland..." plugin uses XKB.
constexpr std::array<PlatformKeys, 3> kPlatformKeys = {{
    {u"xcb", NativeKeys::xkbKeycode},
    {u"wayland", NativeKeys::xkbKeycode},
    {u"windows", NativeKeys::windowsVirtualKey},
}};

// The letter rows of a US keyboard by XKB keycode (evdev code + 8): Q is
// keycode 24, A 38, Z 52.
struct LetterRow {
    quint32 firstKeycode;
    std::string_view letters;
};
constexpr std::array<LetterRow, 3> kUsLetterRows = {{
    {24, "QWERTYUIOP"},
    {38, "ASDFGHJKL"},
    {52, "ZXCVBNM"},
}};

constexpr int kFirstLetter = 'A';
constexpr int kLastLetter = 'Z';

// A letter of another script (Cyrillic, Greek, ...): the layout has no Latin
// letter on this key. Qt gives such keys the code point of their capital.
bool isNonLatinLetter(int qtKey) {
    if (qtKey <= 0 || qtKey > 0xFFFF) return false;
    const QChar ch(static_cast<char16_t>(qtKey));
    return ch.isLetter() && ch.script() != QChar::Script_Latin;
}

std::optional<int> usLetterOf(const QKeyEvent &event, NativeKeys native) {
    switch (native) {
    case NativeKeys::xkbKeycode: return usLetterAtXkbKeycode(event.nativeScanCode());
    case NativeKeys::windowsVirtualKey: {
        const auto code = static_cast<int>(event.nativeVirtualKey());
        if (code >= kFirstLetter && code <= kLastLetter) return code;
        return std::nullopt;
    }
    case NativeKeys::none: break;
    }
    return std::nullopt;
}

}  // namespace

NativeKeys nativeKeysOf(QStringView platformName) {
    for (const PlatformKeys &row : kPlatformKeys) {
        const QStringView prefix(row.platformPrefix.data(), qsizetype(row.platformPrefix.size()));
        if (platformName.startsWith(prefix)) return row.keys;
    }
    return NativeKeys::none;
}

NativeKeys currentNativeKeys() { return nativeKeysOf(QGuiApplication::platformName()); }

std::optional<int> virtualKeyCode(int qtKey) {
    // Qt::Key_A..Key_Z are 0x41..0x5A, the virtual-key codes of the letters.
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return qtKey;
    const auto *row = std::find_if(kSpecialKeys.begin(), kSpecialKeys.end(), [&](const KeyRow &r) { return r.qtKey == qtKey; });
    if (row == kSpecialKeys.end()) return std::nullopt;
    return row->virtualKey;
}

std::optional<int> virtualKeyCode(const QKeyEvent &event, NativeKeys native) {
    if (const auto code = virtualKeyCode(event.key())) return code;
    if (isNonLatinLetter(event.key())) return usLetterOf(event, native);
    return std::nullopt;
}

std::optional<int> usLetterAtXkbKeycode(quint32 keycode) {
    for (const LetterRow &row : kUsLetterRows) {
        if (keycode >= row.firstKeycode && keycode < row.firstKeycode + row.letters.size())
            return row.letters[keycode - row.firstKeycode];
    }
    return std::nullopt;
}

QStringList pcKeyNamesFor(PanelKey key) {
    std::vector<int> qtKeys;
    for (int letter = Qt::Key_A; letter <= Qt::Key_Z; ++letter) qtKeys.push_back(letter);
    for (const KeyRow &row : kSpecialKeys) qtKeys.push_back(row.qtKey);
    QStringList names;
    for (int qtKey : qtKeys) {
        const auto keys = panelKeysFor(*virtualKeyCode(qtKey));
        if (keys.size() == 1 && keys.front() == key) names << QKeySequence(qtKey).toString(QKeySequence::NativeText);
    }
    return names;
}

}  // namespace opstation
