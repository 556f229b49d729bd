#include "face_svg.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "opstation/face/face_table.h"
#include "opstation/panel/vocabulary.h"

namespace opstation::serve {

namespace {

using namespace opstation::face;

struct Box {
    double x, y, width, height;
};

Box logical(const Rect &r) {
    constexpr double k = kTwipsPerPixel;
    return {r.left / k, r.top / k, r.width / k, r.height / k};
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// The system colours the face uses by the browser's names for them, as the
// window takes them from its palette; design colours as #rrggbb.
std::string css(Colour colour) {
    switch (colour) {
    case kWindowBackground: return "Canvas";
    case kWindowText: return "CanvasText";
    case kButtonText: return "ButtonText";
    default: break;
    }
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    return text;
}

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// A control's name as a CSS class: "disp(0)" becomes "c-disp0".
std::string classOf(const Control &c) {
    std::string name = "c-";
    for (const char ch : c.name)
        if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
    return name;
}

// A circle has the shorter side's diameter and is centred in its rectangle.
Box shapeBounds(const Control &c) {
    Box b = logical(c.rect);
    if (c.kind != Kind::circle) return b;
    const double d = std::min(b.width, b.height);
    return {b.x + (b.width - d) / 2, b.y + (b.height - d) / 2, d, d};
}

// The outline of a shape's body, `inset` pixels inside its bounds, as path
// data; nothing when the inset leaves no room.
std::string outlinePath(Kind kind, Box b, double inset) {
    b = {b.x + inset, b.y + inset, b.width - 2 * inset, b.height - 2 * inset};
    if (b.width <= 0 || b.height <= 0) return {};
    const std::string x = number(b.x), y = number(b.y), w = number(b.width), h = number(b.height);
    if (kind == Kind::circle) {
        const std::string r = number(b.width / 2);
        return "M" + x + "," + number(b.y + b.height / 2) + "a" + r + "," + r + " 0 1,0 " + w + ",0a" + r + "," + r +
               " 0 1,0 -" + w + ",0z";
    }
    const double radius = kind == Kind::roundedRectangle ? std::max(0.0, kCornerRadius - inset) : 0.0;
    if (radius == 0) return "M" + x + "," + y + "h" + w + "v" + h + "h-" + w + "z";
    const std::string r = number(radius), arc = "a" + r + "," + r + " 0 0,1 ";
    const std::string across = number(b.width - 2 * radius), down = number(b.height - 2 * radius);
    return "M" + number(b.x + radius) + "," + y + "h" + across + arc + r + "," + r + "v" + down + arc + "-" + r + "," + r +
           "h-" + across + arc + "-" + r + ",-" + r + "v-" + down + arc + r + ",-" + r + "z";
}

std::string ledName(Led led) { return std::string(nameOf(kLedNames, led)); }
std::string keyName(PanelKey key) { return std::string(nameOf(kPanelKeyNames, key)); }

// Two layers, the opaque background and the solid fill, then the outline
// band; an LED's layers form one image named for assistive technology.
std::string shapeSvg(const Control &c) {
    const Box bounds = shapeBounds(c);
    const std::string body = outlinePath(c.kind, bounds, 0);
    std::string svg;
    if (c.backStyle == Back::opaque) svg += "<path d=\"" + body + "\" fill=\"" + css(c.back) + "\"/>";
    if (c.solidFill) {
        svg += "<path class=\"lamp\" d=\"" + body + "\" fill=\"" + css(c.fill) + "\" data-lit=\"" + css(kLitColour) +
               "\" data-dark=\"" + css(kDarkColour) + "\"/>";
    }
    if (c.outlineWidth > 0)
        svg += "<path d=\"" + body + outlinePath(c.kind, bounds, c.outlineWidth) + "\" fill-rule=\"evenodd\" fill=\"" +
               css(c.outline) + "\"/>";
    if (!c.led) return svg;
    const std::string state = c.fill == kLitColour ? "on" : "off";
    return "<g class=\"led\" data-led=\"" + ledName(*c.led) + "\" data-name=\"" + escaped(c.spokenName) +
           "\" role=\"img\" aria-label=\"" + escaped(c.spokenName) + " LED: " + state + "\">" + svg + "</g>";
}

std::string foreignObject(const Box &b, const std::string &content) {
    return "<foreignObject x=\"" + number(b.x) + "\" y=\"" + number(b.y) + "\" width=\"" + number(b.width) +
           "\" height=\"" + number(b.height) + "\">" + content + "</foreignObject>";
}

// Labels are HTML inside the SVG: the browser wraps, aligns and clips
// their text as the window's labels do.
std::string labelSvg(const Control &c) {
    const std::string classes = classOf(c);
    if (c.key) {
        return foreignObject(logical(c.rect), "<button class=\"key " + classes + "\" data-key=\"" + keyName(*c.key) +
                                                  "\" aria-label=\"" + escaped(c.spokenName) + "\" tabindex=\"-1\">" +
                                                  escaped(c.text) + "</button>");
    }
    if (c.displayLine >= 0) {
        return foreignObject(logical(c.rect), "<output class=\"line " + classes + "\" data-line=\"" +
                                                  std::to_string(c.displayLine) + "\" aria-label=\"" +
                                                  escaped(c.spokenName) + "\">" + escaped(c.text) + "</output>");
    }
    if (c.backStyle == Back::transparent && c.text.empty()) return {};
    return foreignObject(logical(c.rect), "<div class=\"label " + classes + "\" aria-hidden=\"true\">" + escaped(c.text) +
                                              "</div>");
}

std::string textBoxSvg(const Control &c) {
    return foreignObject(logical(c.rect), "<input class=\"hint " + classOf(c) + "\" type=\"text\" value=\"" +
                                              escaped(c.text) + "\" aria-label=\"Hint\" spellcheck=\"false\">");
}

std::string controlSvg(const Control &c) { return isShape(c.kind) ? shapeSvg(c) : labelSvg(c); }

std::string containerSvg(Container container) {
    std::string svg;
    const auto order = stacked(container);
    for (auto it = order.rbegin(); it != order.rend(); ++it) svg += controlSvg(**it);
    return svg;
}

std::string cssRule(const Control &c) {
    const std::string family(installedFamily(c.font.family));
    std::string rule = "." + classOf(c) + "{font:" + (c.font.italic ? "italic " : "") + (c.font.bold ? "700 " : "400 ") +
                       std::to_string(pixelSize(c.font)) + "px \"" + family + "\";color:" + css(c.fore) + ";";
    if (c.backStyle == Back::opaque) rule += "background:" + css(c.back) + ";";
    if (c.font.underline) rule += "text-decoration:underline;";
    // Labels align their text; keys (buttons, laid out as flex boxes) their one line.
    constexpr std::array<const char *, 3> kAlign = {"left", "center", "right"};
    constexpr std::array<const char *, 3> kJustify = {"flex-start", "center", "flex-end"};
    const auto align = static_cast<std::size_t>(c.align);
    rule += std::string("text-align:") + kAlign[align] + ";justify-content:" + kJustify[align] + ";";
    if (!c.wordWrap) rule += "white-space:pre;";
    return rule + "}\n";
}

}  // namespace

std::string faceSvg() {
    const Window &design = window();
    const Control &picture = *find("Picture1");
    const Box p = logical(picture.rect);
    const std::string width = number(design.clientWidth / double(kTwipsPerPixel));
    const std::string height = number(design.clientHeight / double(kTwipsPerPixel));
    std::string svg = "<svg id=\"face\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width + "\" height=\"" + height +
                      "\" viewBox=\"0 0 " + width + " " + height +
                      "\" shape-rendering=\"crispEdges\" role=\"group\" aria-label=\"Keypad\" tabindex=\"0\">";
    svg += "<rect width=\"" + width + "\" height=\"" + height + "\" fill=\"" + css(design.back) + "\"/>";
    svg += containerSvg(Container::window);
    // Picture1 clips what it carries; Text1, a window of its own, lies above it all.
    svg += "<svg x=\"" + number(p.x) + "\" y=\"" + number(p.y) + "\" width=\"" + number(p.width) + "\" height=\"" +
           number(p.height) + "\" overflow=\"hidden\">";
    svg += "<rect width=\"" + number(p.width) + "\" height=\"" + number(p.height) + "\" fill=\"" + css(picture.back) + "\"/>";
    svg += containerSvg(Container::picture1);
    svg += textBoxSvg(*find("Text1"));
    return svg + "</svg></svg>";
}

std::string faceCss() {
    std::string css;
    for (const Control &c : controls())
        if (c.kind == Kind::label || c.kind == Kind::textBox) css += cssRule(c);
    return css;
}

}  // namespace opstation::serve
