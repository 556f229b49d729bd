// Picture1: the container that carries the whole face. It paints its labels
// and shapes from the face table, holds the hint box Text1, and is the
// display-line and LED-colour holder of the exchange cycle.
#pragma once

#include <QWidget>

#include <optional>
#include <string_view>

#include "face_painter.h"
#include "opstation/panel/exchange_cycle.h"

class QLineEdit;

namespace opstation {
class PanelInput;
}

class Picture1 final : public QWidget, public opstation::DisplayLines, public opstation::LedColours {
    Q_OBJECT

public:
    explicit Picture1(QWidget *parent = nullptr);

    QLineEdit *text1() const { return text1_; }

    // DisplayLines: line() returns exactly what setLine() wrote, all
    // characters, NULs included. A changed line repaints its label only.
    std::u16string_view line(int index) const override;
    void setLine(int index, std::u16string_view text) override;

    // LedColours: called for all seven LEDs on every cycle; only an LED whose
    // colour changed is repainted.
    void setLedColour(opstation::Led led, opstation::Colour colour) override;
    opstation::Colour ledColour(opstation::Led led) const;

    // The control that takes a mouse press at a point of Picture1 in logical
    // pixels: a key label, a legend, "Text1" or "Picture1" (see
    // opstation::face::pictureControlAt).
    static std::string_view controlAt(QPointF point);
    // The panel key pressed at that point, if any.
    static std::optional<opstation::PanelKey> keyAt(QPointF point);

    // Where mouse and key events of Picture1 go; none until the window is
    // wired to a station.
    void setInput(opstation::PanelInput *input) { input_ = input; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override { forwardMouse(event); }
    void mouseDoubleClickEvent(QMouseEvent *event) override { forwardMouse(event); }
    void mouseReleaseEvent(QMouseEvent *event) override { forwardMouse(event); }
    void keyPressEvent(QKeyEvent *event) override { forwardKey(event); }
    void keyReleaseEvent(QKeyEvent *event) override { forwardKey(event); }
    void focusOutEvent(QFocusEvent *event) override;

private:
    void forwardMouse(QMouseEvent *event);
    void forwardKey(QKeyEvent *event);

    opstation::PanelInput *input_ = nullptr;
    opstation::face::LiveValues live_ = opstation::face::LiveValues::atCreation();
    QLineEdit *text1_;
};
