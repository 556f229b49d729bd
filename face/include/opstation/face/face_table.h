// The panel face as data: every control of the window OP_Station with its
// design values, and the order in which the controls of Picture1 lie on top
// of each other. The window's painter (ui/face_painter.h) and the browser
// page's drawing (serve/src/face_svg.h) both draw from this table, and the
// hit test below answers from it; nothing else knows where a control is.
// Plain C++, no window system: every front end links it.
//
// Lengths are twips (15 to a logical pixel), colours 0x00BBGGRR with
// 0x80000000 + n for system colour n, outline widths logical pixels, font
// sizes hundredths of a point.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/station_state.h"

namespace opstation::face {

inline constexpr int kTwipsPerPixel = 15;

enum class Kind : uint8_t { container, textBox, label, rectangle, circle, roundedRectangle };
enum class Container : uint8_t { window, picture1 };
enum class Align : uint8_t { left, centre, right };
enum class Back : uint8_t { transparent, opaque };

// Left, top, width, height, from the top-left corner of the container's client area.
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    constexpr int right() const { return left + width; }
    constexpr int bottom() const { return top + height; }
    // Half-open: the right and bottom edges belong to the next control.
    constexpr bool contains(double x, double y) const {
        return x >= left && x < right() && y >= top && y < bottom();
    }
};

struct Font {
    std::string_view family;  // as designed; face_painter maps it to an installed family
    int centipoints = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// System colours the face uses.
inline constexpr Colour kSystemColour = 0x80000000;
inline constexpr Colour kWindowBackground = kSystemColour + 5;
inline constexpr Colour kWindowText = kSystemColour + 8;
inline constexpr Colour kButtonText = kSystemColour + 18;

// Design colours, 0x00BBGGRR.
inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kWhite = 0xFFFFFF;
inline constexpr Colour kRed = 0x0000FF;
inline constexpr Colour kGreen = 0x00C000;
inline constexpr Colour kDarkGreen = 0x008000;
inline constexpr Colour kTeal = 0x808000;
inline constexpr Colour kDarkTeal = 0x404000;
inline constexpr Colour kLightTeal = 0xC0C000;
inline constexpr Colour kOliveYellow = 0x00C0C0;
inline constexpr Colour kGrey = 0x808080;
inline constexpr Colour kLightGrey = 0xC0C0C0;
inline constexpr Colour kVeryLightGrey = 0xE0E0E0;

// The window's font; every control without a font of its own inherits it.
inline constexpr Font kWindowFont{"MS Sans Serif", 825, true};

// One control. Which fields matter depends on the kind: shapes use the
// colours and the outline, labels the text columns, and every control that
// is not a shape has a tab index.
struct Control {
    std::string_view name;
    Kind kind = Kind::label;
    Container container = Container::picture1;
    Rect rect;
    Colour fill = kBlack;           // FillColor of a shape
    bool solidFill = false;         // the fill colour is painted (only the LEDs)
    Colour back = kWindowBackground;
    Back backStyle = Back::transparent;
    int outlineWidth = 0;           // pixels; 0 for no outline
    Colour outline = kWindowText;
    std::string_view text;
    Colour fore = kWindowText;      // text colour
    Font font = kWindowFont;
    Align align = Align::left;
    bool wordWrap = true;           // false: one line, cut off at the right edge
    int tabIndex = -1;              // -1: shapes, which have none
    std::optional<PanelKey> key;    // key labels: the panel key they press
    std::optional<Led> led;         // LED shapes: the LED whose colour they show
    int displayLine = -1;           // disp(0), disp(1): 0 or 1
    std::string_view spokenName;    // what assistive technology calls a key, LED or display line
};

struct Window {
    std::string_view title;
    int clientWidth;   // twips
    int clientHeight;  // twips
    Colour back;
    Font font;
};

const Window &window();

// All 59 controls, grouped as the panel is described: window, container,
// key labels, key faces, LEDs, display, legends, housing.
std::span<const Control> controls();

// Front to back: each control lies over all those after it.
std::span<const std::string_view> frontToBack(Container container);
// The same list resolved to the table's rows.
std::span<const Control *const> stacked(Container container);

// nullptr for an unknown name.
const Control *find(std::string_view name);
const Control &control(Led led);
const Control &displayLabel(int line);

inline constexpr bool isShape(Kind kind) {
    return kind == Kind::rectangle || kind == Kind::circle || kind == Kind::roundedRectangle;
}

// The control that takes a mouse press at a point of Picture1 (twips):
// Text1, which is a window of its own above every label; else the frontmost
// label whose rectangle holds the point (shapes take no mouse input); else
// Picture1 itself.
std::string_view pictureControlAt(double x, double y);

// The same for a point of the window's client area: "" outside it, the
// window's labels only where Picture1 does not cover them, "OP_Station" for
// the bare window.
std::string_view windowControlAt(double x, double y);

// The panel key a control presses; none for everything but the key labels.
std::optional<PanelKey> keyOf(std::string_view controlName);

// The installed family that stands in for a designed one ("MS Sans Serif"
// is not installed here); the designed name itself where none does.
std::string_view installedFamily(std::string_view designed);

// The rounded rectangles' corner radius, in logical pixels (the design
// leaves it open; both drawings of the face use this one).
inline constexpr double kCornerRadius = 8.0;

// The design point size at 96 dots per inch, in whole pixels.
constexpr int pixelSize(const Font &font) { return (font.centipoints * 96 + 3600) / 7200; }

}  // namespace opstation::face
