#include "picture1.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "opstation/panel/key_model.h"
#include "panel_input.h"

namespace face = opstation::face;

Picture1::Picture1(QWidget *parent) : QWidget(parent), text1_(new QLineEdit(this)) {
    const face::Control &self = *face::find("Picture1");
    setObjectName(QStringLiteral("Picture1"));
    setGeometry(face::logical(self.rect).toRect());
    setFocusPolicy(Qt::StrongFocus);
    // The face covers every pixel, so nothing below needs to paint first.
    setAttribute(Qt::WA_OpaquePaintEvent);

    const face::Control &hint = *face::find("Text1");
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setGeometry(face::logical(hint.rect).toRect());
    text1_->setText(QString::fromUtf8(hint.text.data(), qsizetype(hint.text.size())));
    text1_->setCursorPosition(0);  // show the hint from its start
    // The designed window font is narrower than its stand-in: in the
    // stand-in's condensed cut the whole hint fits the box, as designed.
    QFont hintFont = text1_->font();
    hintFont.setFamilies({QStringLiteral("DejaVu Sans Condensed"), hintFont.family()});
    text1_->setFont(hintFont);

    for (std::size_t i = 0; i < opstation::kLedCount; ++i) {
        const bool lit = live_.leds[i] == opstation::kLitColour;
        showing_[i] = lit ? opstation::LedShowing::on : opstation::LedShowing::off;
    }
    setAccessibleName(QStringLiteral("Keypad"));
}

Picture1::~Picture1() { emit going(); }

std::u16string_view Picture1::line(int index) const { return live_.lines[static_cast<std::size_t>(index)]; }

void Picture1::setLine(int index, std::u16string_view text) {
    std::u16string &stored = live_.lines[static_cast<std::size_t>(index)];
    if (stored == text) return;
    const QString before = QString::fromStdU16String(stored);
    stored.assign(text);
    update(face::paintedRect(face::displayLabel(index)).toAlignedRect());
    emit lineChanged(index, before);
}

void Picture1::setLedColour(opstation::Led led, opstation::Colour colour) {
    opstation::Colour &stored = live_.leds[static_cast<std::size_t>(led)];
    if (stored == colour) return;
    stored = colour;
    update(face::paintedRect(face::control(led)).toAlignedRect());
}

void Picture1::ledShows(opstation::Led led, opstation::LedShowing now) {
    opstation::LedShowing &showing = showing_[static_cast<std::size_t>(led)];
    if (showing == now) return;
    showing = now;
    emit ledShowingChanged(static_cast<int>(led));
}

opstation::LedShowing Picture1::ledShowing(opstation::Led led) const { return showing_[static_cast<std::size_t>(led)]; }

void Picture1::tap(opstation::PanelKey key) {
    if (station_ == nullptr) return;
    opstation::press(*station_, key);
    opstation::release(*station_, key);
}

opstation::Colour Picture1::ledColour(opstation::Led led) const { return live_.leds[static_cast<std::size_t>(led)]; }

std::string_view Picture1::controlAt(QPointF point) {
    return face::pictureControlAt(point.x() * face::kTwipsPerPixel, point.y() * face::kTwipsPerPixel);
}

std::optional<opstation::PanelKey> Picture1::keyAt(QPointF point) { return face::keyOf(controlAt(point)); }

void Picture1::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    const face::Control &self = *face::find("Picture1");
    painter.fillRect(event->rect(), face::toQColor(self.back, palette()));
    face::paintControls(painter, face::Container::picture1, event->rect(), live_, palette());
}

void Picture1::forwardMouse(QMouseEvent *event) {
    // A click gives Picture1 the focus (its focus policy, applied by Qt
    // before the press arrives); the press itself goes to the label under it.
    if (input_ != nullptr) input_->mouseEvent(*event);
}

// Key events that Text1 leaves unused come up to Picture1 too: only those
// that arrive while Picture1 itself has the focus are the panel's.
void Picture1::forwardKey(QKeyEvent *event) {
    if (input_ != nullptr && hasFocus() && input_->keyEvent(*event)) return;
    event->ignore();
}

void Picture1::focusOutEvent(QFocusEvent *event) {
    if (input_ != nullptr) input_->focusLost();
    QWidget::focusOutEvent(event);
}
