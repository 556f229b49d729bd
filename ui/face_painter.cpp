#include "face_painter.h"

#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <algorithm>

namespace opstation::face {
namespace {

QPalette::ColorRole systemRole(Colour colour) {
    switch (colour - kSystemColour) {
    case 5: return QPalette::Base;        // window background
    case 8: return QPalette::Text;        // window text
    case 18: return QPalette::ButtonText;  // button text
    default: return QPalette::Window;
    }
}

// A circle has the shorter side's diameter and is centred in its rectangle.
QRectF shapeBounds(const Control &c) {
    QRectF r = logical(c.rect);
    if (c.kind != Kind::circle) return r;
    const double d = std::min(r.width(), r.height());
    return QRectF(r.center().x() - d / 2, r.center().y() - d / 2, d, d);
}

QPainterPath shapePath(Kind kind, const QRectF &bounds, double inset) {
    const QRectF r = bounds.adjusted(inset, inset, -inset, -inset);
    QPainterPath path;
    if (r.isEmpty()) return path;
    if (kind == Kind::circle) {
        path.addEllipse(r);
    } else if (kind == Kind::roundedRectangle) {
        const double radius = std::max(0.0, kCornerRadius - inset);
        path.addRoundedRect(r, radius, radius);
    } else {
        path.addRect(r);
    }
    return path;
}

Colour solidFillOf(const Control &c, const LiveValues &live) {
    return c.led ? live.leds[static_cast<std::size_t>(*c.led)] : c.fill;
}

// Two layers, the opaque background and the solid fill, then the outline,
// which lies inside the shape's edge. Filled paths rather than stroked pens
// put every edge on a pixel boundary at any device pixel ratio.
void paintShape(QPainter &p, const Control &c, const LiveValues &live, const QPalette &palette) {
    const QRectF bounds = shapeBounds(c);
    const QPainterPath body = shapePath(c.kind, bounds, 0);
    if (c.backStyle == Back::opaque) p.fillPath(body, toQColor(c.back, palette));
    if (c.solidFill) p.fillPath(body, toQColor(solidFillOf(c, live), palette));
    if (c.outlineWidth > 0) {
        QPainterPath band = body;
        band.addPath(shapePath(c.kind, bounds, c.outlineWidth));
        band.setFillRule(Qt::OddEvenFill);
        p.fillPath(band, toQColor(c.outline, palette));
    }
}

int alignmentFlags(Align align) {
    switch (align) {
    case Align::centre: return Qt::AlignHCenter;
    case Align::right: return Qt::AlignRight;
    case Align::left: break;
    }
    return Qt::AlignLeft;
}

// Text from the top edge, clipped to the label; drawText never reads markup.
void paintLabel(QPainter &p, const Control &c, const LiveValues &live, const QPalette &palette) {
    const QRectF r = logical(c.rect);
    const QString text = c.displayLine >= 0 ? shownText(live.lines[static_cast<std::size_t>(c.displayLine)])
                                            : QString::fromUtf8(c.text.data(), static_cast<qsizetype>(c.text.size()));
    if (c.backStyle == Back::transparent && text.isEmpty()) return;
    p.save();
    p.setClipRect(r);
    if (c.backStyle == Back::opaque) p.fillRect(r, toQColor(c.back, palette));
    if (!text.isEmpty()) {
        p.setFont(toQFont(c.font));
        p.setPen(toQColor(c.fore, palette));
        const int wrap = c.wordWrap ? int(Qt::TextWordWrap) : int(Qt::TextSingleLine);
        p.drawText(r, Qt::AlignTop | alignmentFlags(c.align) | wrap, text);
    }
    p.restore();
}

}  // namespace

LiveValues LiveValues::atCreation() {
    LiveValues live;
    for (int line = 0; line < 2; ++line) live.lines[static_cast<std::size_t>(line)] = DisplayLines::kDesignCaption;
    for (std::size_t i = 0; i < kLedCount; ++i) live.leds[i] = control(static_cast<Led>(i)).fill;
    return live;
}

QColor toQColor(Colour colour, const QPalette &palette) {
    if (colour & kSystemColour) return palette.color(QPalette::Active, systemRole(colour));
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

QFont toQFont(const Font &font) {
    const std::string_view family = installedFamily(font.family);
    QFont q(QString::fromUtf8(family.data(), qsizetype(family.size())));
    q.setPixelSize(pixelSize(font));
    q.setWeight(font.bold ? QFont::Bold : QFont::Normal);
    q.setItalic(font.italic);
    q.setUnderline(font.underline);
    return q;
}

QRectF logical(const Rect &twips) {
    constexpr double k = kTwipsPerPixel;
    return QRectF(twips.left / k, twips.top / k, twips.width / k, twips.height / k);
}

QString shownText(std::u16string_view line) {
    QString text(reinterpret_cast<const QChar *>(line.data()), qsizetype(line.size()));
    for (QChar &ch : text) {
        if (ch.category() == QChar::Other_Control) ch = QLatin1Char(' ');
    }
    return text;
}

QRectF paintedRect(const Control &control) { return logical(control.rect); }

void paintControls(QPainter &painter, Container container, const QRectF &dirty, const LiveValues &live,
                   const QPalette &palette) {
    const auto order = stacked(container);
    painter.save();
    // A painter takes the application's layout direction, which would
    // mirror the legends' alignment and text in a right-to-left one.
    painter.setLayoutDirection(Qt::LeftToRight);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const Control &c = **it;
        if (!paintedRect(c).intersects(dirty)) continue;
        if (isShape(c.kind)) {
            paintShape(painter, c, live, palette);
        } else {
            paintLabel(painter, c, live, palette);
        }
    }
    painter.restore();
}

}  // namespace opstation::face
