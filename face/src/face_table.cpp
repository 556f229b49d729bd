#include "opstation/face/face_table.h"

#include <algorithm>
#include <array>
#include <vector>

namespace opstation::face {
namespace {

// Row builders, one per group of controls, each taking the columns in which
// that group is described so a row reads like the design it copies.

constexpr Control keyLabel(std::string_view name, PanelKey key, Rect rect, std::string_view text, int tab,
                           std::string_view spoken) {
    Control c;
    c.spokenName = spoken;
    c.name = name;
    c.rect = rect;
    c.text = text;
    c.fore = kWhite;
    c.tabIndex = tab;
    c.key = key;
    return c;
}

// A transparent label without text that presses nothing.
constexpr Control hotSpot(std::string_view name, Container container, Rect rect, int tab) {
    Control c;
    c.name = name;
    c.container = container;
    c.rect = rect;
    c.tabIndex = tab;
    return c;
}

// A shape that draws only its outline.
constexpr Control ring(std::string_view name, Kind kind, Rect rect, int outlineWidth, Colour outline) {
    Control c;
    c.name = name;
    c.kind = kind;
    c.rect = rect;
    c.outlineWidth = outlineWidth;
    c.outline = outline;
    return c;
}

// A shape with an opaque background ("filled with") and an outline.
constexpr Control filledShape(std::string_view name, Kind kind, Rect rect, Colour filledWith, int outlineWidth,
                              Colour outline) {
    Control c = ring(name, kind, rect, outlineWidth, outline);
    c.back = filledWith;
    c.backStyle = Back::opaque;
    return c;
}

// A fill colour that is carried but never painted (no solid fill).
constexpr Control withUnpaintedFill(Control shape, Colour fill) {
    shape.fill = fill;
    return shape;
}

// LEDs: solid fill in their fill colour, 2 px outline in black.
constexpr Control led(std::string_view name, Led which, Rect rect, Colour fillAtCreation, std::string_view spoken,
                      Colour outline = kWindowText) {
    Control c = ring(name, Kind::circle, rect, 2, outline);
    c.spokenName = spoken;
    c.fill = fillAtCreation;
    c.solidFill = true;
    c.led = which;
    return c;
}

constexpr Control legend(std::string_view name, std::string_view text, Rect rect, Font font, Align align, int tab) {
    Control c;
    c.name = name;
    c.rect = rect;
    c.text = text;
    c.fore = kWhite;
    c.font = font;
    c.align = align;
    c.tabIndex = tab;
    return c;
}

// A label that paints its background.
constexpr Control opaque(Control label, Colour back, Colour fore) {
    label.back = back;
    label.backStyle = Back::opaque;
    label.fore = fore;
    return label;
}

constexpr Font kDisplayFont{"Courier New", 2025};

// A display line: one line of text, cut off at the label's right edge.
constexpr Control displayLine(std::string_view name, int line, Rect rect, int tab, std::string_view spoken) {
    Control c = opaque(legend(name, "0123456789ABCDEF", rect, kDisplayFont, Align::left, tab), kGreen, kWindowText);
    c.spokenName = spoken;
    c.wordWrap = false;
    c.displayLine = line;
    return c;
}

constexpr Control childWindow(std::string_view name, Kind kind, Container container, Rect rect, std::string_view text,
                         int tab) {
    Control c;
    c.name = name;
    c.kind = kind;
    c.container = container;
    c.rect = rect;
    c.text = text;
    c.tabIndex = tab;
    return c;
}

constexpr Font sansSerif(int centipoints, bool bold, bool underline = false) {
    return {"MS Sans Serif", centipoints, bold, false, underline};
}

constexpr Window kWindow{"Vorlex Emulation", 5670, 7965, kWhite, kWindowFont};

constexpr auto kCircle = Kind::circle;
constexpr auto kRounded = Kind::roundedRectangle;
constexpr auto kRectangle = Kind::rectangle;
constexpr auto kLeft = Align::left;
constexpr auto kCentre = Align::centre;
constexpr auto kRight = Align::right;

constexpr std::array kControls = {
    // The window's own children (besides Timer1, which draws nothing).
    // Picture1: system window background and text colours, the window's font.
    opaque(childWindow("Picture1", Kind::container, Container::window, {120, -480, 5295, 8235}, "", 0),
           kWindowBackground, kWindowText),
    hotSpot("threeKey", Container::window, {750, 320, 105, 120}, 14),

    // The hint box: a real single-line text box.
    childWindow("Text1", Kind::textBox, Container::picture1, {1560, 7800, 2655, 285}, "F2, F3, F4 for power-on reset", 33),

    // Key labels          control    panel key            rectangle                  text     tab  spoken name
    keyLabel("upKey",    PanelKey::up,    {1080, 3480, 615, 615},   "",       9,   "Up"),
    keyLabel("downKey",  PanelKey::down,  {1080, 4680, 615, 615},   "",       12,  "Down"),
    keyLabel("escKey",   PanelKey::esc,   {2400, 3525, 615, 615},   "",       8,   "Escape"),
    keyLabel("menuKey",  PanelKey::menu,  {2400, 4680, 615, 615},   "",       7,   "Menu"),
    keyLabel("dispKey",  PanelKey::disp,  {3720, 3480, 615, 615},   "",       5,   "Program"),
    keyLabel("localKey", PanelKey::local, {3720, 4650, 615, 615},   "",       11,  "Local/Remote"),
    keyLabel("jogKey",   PanelKey::jog,   {1080, 5880, 615, 615},   "",       6,   "Jog"),
    keyLabel("dirKey",   PanelKey::dir,   {3765, 5895, 615, 615},   "",       10,  "Direction"),
    keyLabel("runKey",   PanelKey::run,   {960, 6840, 1695, 735},   " RUN",   3,   "Run"),
    keyLabel("stopKey",  PanelKey::stop,  {2880, 6840, 1710, 720},  " STOP",  4,   "Stop/Reset"),
    hotSpot("secret", Container::picture1, {785, 360, 72, 84}, 13),

    // Key faces      shape      kind       rectangle                 filled with  outline
    filledShape("Shape9",  kCircle,  {1080, 3480, 615, 615}, kDarkTeal, 1, kWindowText),
    filledShape("Shape10", kCircle,  {2400, 3480, 615, 615}, kDarkTeal, 1, kWindowText),
    filledShape("Shape12", kCircle,  {3720, 3480, 615, 615}, kDarkTeal, 1, kWindowText),
    filledShape("Shape8",  kCircle,  {1080, 4680, 615, 615}, kDarkTeal, 1, kWindowText),
    filledShape("Shape11", kCircle,  {2400, 4680, 615, 615}, kDarkTeal, 1, kWindowText),
    filledShape("Shape13", kCircle,  {3720, 4680, 615, 615}, kDarkTeal, 1, kWindowText),
    filledShape("Shape14", kCircle,  {1080, 5880, 615, 615}, kDarkTeal, 1, kWindowText),
    filledShape("Shape15", kCircle,  {3720, 5880, 615, 615}, kDarkTeal, 1, kWindowText),
    withUnpaintedFill(filledShape("Shape7", kRounded, {960, 6840, 1695, 735}, kGreen, 0, kWindowText), kGreen),
    filledShape("Shape17", kRounded, {2880, 6840, 1695, 735}, kRed, 0, kWindowText),
    ring("Shape16", kCircle, {1560, 6840, 615, 735}, 1, kOliveYellow),
    filledShape("Shape6",  kRectangle, {1800, 6960, 135, 495}, kWindowBackground, 1, kWhite),
    ring("Shape5", kCircle, {3480, 6960, 495, 495}, 5, kVeryLightGrey),

    // LEDs   shape          LED               rectangle                fill at creation  spoken name
    led("healthLED",   Led::health,   {1320, 2775, 135, 135}, kLightGrey, "Health"),
    led("localSeqLED", Led::localSeq, {3120, 2775, 135, 135}, kLightGrey, "Local sequence"),
    led("localRefLED", Led::localRef, {3540, 2775, 135, 135}, kLightGrey, "Local reference", kBlack),
    led("fwdLED",      Led::forward,  {3360, 5925, 135, 135}, kRed,       "Forward"),
    led("revLED",      Led::reverse,  {3360, 6390, 135, 135}, kLightGrey, "Reverse"),
    led("runLED",      Led::run,      {2400, 6960, 135, 135}, kLightGrey, "Run"),
    led("stopLED",     Led::stop,     {4320, 6960, 135, 135}, kLightGrey, "Stop"),

    // Display
    displayLine("disp(0)", 0, {840, 1200, 3900, 375}, 1, "Display line 1"),
    displayLine("disp(1)", 1, {840, 1560, 3900, 375}, 2, "Display line 2"),
    filledShape("Shape19", kRectangle, {840, 1200, 3900, 810}, kGreen, 1, kGreen),

    // Legends  label     text      rectangle                  font                        alignment  tab
    legend("Label9",  "K",      {945, 600, 255, 375},   {"Arial", 1425, true, true, true}, kCentre, 23),
    opaque(legend("Label4", "KELVARA     DRIVES", {1200, 600, 1215, 375}, kWindowFont, kLeft, 18), kWhite, kButtonText),
    legend("Label1",  "HEALTH", {1080, 2520, 855, 255},  kWindowFont,           kLeft,   15),
    legend("Label6",  "LOCAL",  {3120, 2520, 615, 255},  kWindowFont,           kLeft,   19),
    legend("Label2",  "SEQ",    {2640, 2760, 375, 255},  kWindowFont,           kLeft,   16),
    legend("Label3",  "REF",    {3720, 2760, 495, 255},  kWindowFont,           kLeft,   17),
    legend("Label8",  "/\\",    {1200, 3600, 375, 375},  sansSerif(1800, true), kCentre, 21),
    legend("Label5",  "E",      {2520, 3600, 390, 375},  sansSerif(1800, true), kCentre, 22),
    legend("Label11", "PROG",   {3720, 3720, 615, 255},  sansSerif(825, false), kCentre, 25),
    legend("Label7",  "\\/",    {1200, 4800, 375, 375},  sansSerif(1800, true), kCentre, 20),
    legend("Label10", "M",      {2520, 4800, 375, 375},  sansSerif(1800, true), kCentre, 24),
    legend("Label12", "L",      {3840, 4800, 375, 255},  sansSerif(975, true, true), kCentre, 26),
    legend("Label13", "R",      {3840, 5040, 375, 255},  sansSerif(975, true),  kCentre, 27),
    legend("Label14", "JOG",    {1200, 6000, 375, 255},  sansSerif(975, false), kCentre, 28),
    legend("Label15", "DIR",    {3840, 6000, 375, 255},  sansSerif(975, false), kLeft,   29),
    legend("Label17", "FWD",    {2760, 5880, 495, 255},  kWindowFont,           kRight,  31),
    legend("Label18", "REV",    {2760, 6360, 495, 255},  kWindowFont,           kRight,  32),
    legend("Label16", "RESET",  {3960, 7320, 615, 255},  sansSerif(825, false), kLeft,   30),

    // Housing   shape      kind        rectangle                  filled with  outline
    filledShape("Shape3", kRectangle, {240, 480, 5055, 7815},  kTeal,      1, kLightGrey),
    filledShape("Shape2", kRectangle, {720, 960, 4125, 2295},  kLightTeal, 1, kGrey),
    withUnpaintedFill(filledShape("Shape1", kRectangle, {720, 5760, 4215, 1935}, kLightTeal, 1, kGrey), kGrey),
    filledShape("Shape4", kRectangle, {720, 600, 495, 375},    kDarkGreen, 1, kDarkGreen),
};

static_assert(kControls.size() == 59, "window children, Text1, 31 labels and 25 shapes");

constexpr std::array<std::string_view, 56> kPictureFrontToBack = {
    "stopKey", "Shape5",  "localRefLED", "localSeqLED", "healthLED", "runLED",  "stopLED", "Label16",
    "Shape17", "runKey",  "dirKey",      "jogKey",      "downKey",   "menuKey", "localKey", "dispKey",
    "escKey",  "upKey",   "Label18",     "Label17",     "Shape16",   "Label15", "Shape15", "Label14",
    "Shape14", "Label12", "Label13",     "Label11",     "Shape12",   "Label10", "Label9",  "Label5",
    "Shape10", "Label8",  "Label7",      "Shape8",      "Shape6",    "Label6",  "Shape4",  "Label4",
    "Label3",  "Label2",  "Label1",      "secret",      "revLED",    "fwdLED",  "disp(1)", "disp(0)",
    "Shape9",  "Shape11", "Shape13",     "Shape7",      "Shape1",    "Shape19", "Shape2",  "Shape3",
};

// Picture1 and Text1 are windows and lie above every label of their
// container, so they are not in these lists.
constexpr std::array<std::string_view, 1> kWindowFrontToBack = {"threeKey"};

// Installed stand-ins for the designed families. Liberation Mono keeps the
// display's metric: 16 characters fill a line's 260 px, a 17th does not fit.
// DejaVu Sans is close enough to the designed sans serif that every legend
// stays inside its label.
struct FamilyStandIn {
    std::string_view designed;
    std::string_view installed;
};
constexpr std::array kStandIns = {
    FamilyStandIn{"MS Sans Serif", "DejaVu Sans"},
    FamilyStandIn{"Arial", "Liberation Sans"},
    FamilyStandIn{"Courier New", "Liberation Mono"},
};

bool isWindow(Kind kind) { return kind == Kind::container || kind == Kind::textBox; }

// The child windows of a container, then its labels front to back.
std::string_view controlAt(Container container, double x, double y) {
    for (const Control &c : kControls) {
        if (c.container == container && isWindow(c.kind) && c.rect.contains(x, y)) {
            return c.kind == Kind::container ? pictureControlAt(x - c.rect.left, y - c.rect.top) : c.name;
        }
    }
    for (const Control *c : stacked(container)) {
        if (c->kind == Kind::label && c->rect.contains(x, y)) return c->name;
    }
    return container == Container::window ? "OP_Station" : "Picture1";
}

}  // namespace

const Window &window() { return kWindow; }

std::span<const Control> controls() { return kControls; }

std::span<const std::string_view> frontToBack(Container container) {
    if (container == Container::window) return kWindowFrontToBack;
    return kPictureFrontToBack;
}

std::span<const Control *const> stacked(Container container) {
    static const auto resolve = [](Container which) {
        std::vector<const Control *> rows;
        for (std::string_view name : frontToBack(which)) rows.push_back(find(name));
        return rows;
    };
    static const std::vector<const Control *> window = resolve(Container::window);
    static const std::vector<const Control *> picture = resolve(Container::picture1);
    return container == Container::window ? window : picture;
}

const Control *find(std::string_view name) {
    auto it = std::find_if(kControls.begin(), kControls.end(), [&](const Control &c) { return c.name == name; });
    return it == kControls.end() ? nullptr : &*it;
}

const Control &control(Led which) {
    return *std::find_if(kControls.begin(), kControls.end(), [&](const Control &c) { return c.led == which; });
}

const Control &displayLabel(int line) {
    return *std::find_if(kControls.begin(), kControls.end(), [&](const Control &c) { return c.displayLine == line; });
}

std::string_view pictureControlAt(double x, double y) { return controlAt(Container::picture1, x, y); }

std::string_view windowControlAt(double x, double y) {
    if (x < 0 || y < 0 || x >= kWindow.clientWidth || y >= kWindow.clientHeight) return "";
    return controlAt(Container::window, x, y);
}

std::string_view installedFamily(std::string_view designed) {
    for (const FamilyStandIn &s : kStandIns)
        if (s.designed == designed) return s.installed;
    return designed;
}

std::optional<PanelKey> keyOf(std::string_view controlName) {
    const Control *c = find(controlName);
    return c ? c->key : std::nullopt;
}

}  // namespace opstation::face
