// The one painter of the face: draws the labels and shapes of a container
// from the face table, back to front, in logical pixels (twips / 15), so the
// face is the same vector drawing at every device pixel ratio.
#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

#include <array>
#include <string>
#include <string_view>

#include "opstation/face/face_table.h"

class QPainter;
class QPalette;

namespace opstation::face {

// What the logic changes while the window runs: the two display lines and
// the LEDs' fill colours.
struct LiveValues {
    std::array<std::u16string, 2> lines;
    std::array<Colour, kLedCount> leds{};

    static LiveValues atCreation();
};

// 0x00BBGGRR, or a system colour resolved from the palette.
QColor toQColor(Colour colour, const QPalette &palette);

// Sized in pixels, so the face ignores the desktop's logical DPI; designed
// families that are not installed map to metric-compatible or close ones.
QFont toQFont(const Font &font);

QRectF logical(const Rect &twips);

// A display line as drawn: NUL and other control characters become blanks.
QString shownText(std::u16string_view line);

// The logical rectangle that a control's drawing covers.
QRectF paintedRect(const Control &control);

// Draws the labels and shapes of a container that meet dirty, back to
// front. The painter's origin is the container's top-left corner.
void paintControls(QPainter &painter, Container container, const QRectF &dirty, const LiveValues &live,
                   const QPalette &palette);

}  // namespace opstation::face
