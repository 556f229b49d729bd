// Picture1: the container that carries the whole face. It paints its labels
// and shapes from the face table, holds the hint box Text1, and is the
// display-line and LED-colour holder of the exchange cycle. Assistive
// technology sees its keys, LEDs and display lines (face_accessibility.h),
// which follows what it shows through its signals.
#pragma once

#include <QWidget>

#include <array>
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
    ~Picture1() override;

    QLineEdit *text1() const { return text1_; }

    // DisplayLines: line() returns exactly what setLine() wrote, all
    // characters, NULs included. A changed line repaints its label only.
    std::u16string_view line(int index) const override;
    void setLine(int index, std::u16string_view text) override;

    // LedColours: called for all seven LEDs on every cycle; only an LED whose
    // colour changed is repainted.
    void setLedColour(opstation::Led led, opstation::Colour colour) override;
    void ledShows(opstation::Led led, opstation::LedShowing showing) override;
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

    // The station whose keys the accessible keys tap; none for a face
    // without a drive.
    void setStation(opstation::StationState *station) { station_ = station; }
    // A press and a release of a panel key: the next cycle reports it down
    // once. Nothing without a station.
    void tap(opstation::PanelKey key);
    // What an LED shows over a flash period: as the last LED refresh said,
    // from its design colour before the first.
    opstation::LedShowing ledShowing(opstation::Led led) const;

signals:
    // A display line now shows other text; `before` is what it held.
    void lineChanged(int line, const QString &before);
    // What an LED shows over a flash period changed (an opstation::Led).
    void ledShowingChanged(int led);
    // Picture1 is going: whoever reads it lets go now, while it still stands.
    void going();

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
    opstation::StationState *station_ = nullptr;
    opstation::face::LiveValues live_ = opstation::face::LiveValues::atCreation();
    std::array<opstation::LedShowing, opstation::kLedCount> showing_{};
    QLineEdit *text1_;
};
