// What assistive technology (a screen reader, an AT-SPI client) sees of the
// face. Picture1 paints its keys, LEDs and display lines itself, so without
// help they would be one blank widget. Picture1's accessible interface gives
// each of them a child of its own, named and placed from the face table:
//
// - the ten keys are push buttons; their press action taps the key through
//   the key model (press, then release), like a click between two cycles;
// - the two display lines are static text holding the line as shown, NULs
//   as blanks and trailing blanks dropped; a change of what is shown is
//   announced once;
// - the seven LEDs are static text named after their legends, with the
//   state word "on", "off" or "flashing" as their description, announced
//   when the word changes and never with the blinking.
//
// Text1 keeps Qt's own interface and is a child like the others; the
// children come in reading order, top to bottom, then left to right.
#pragma once

#include <QAccessibleWidget>
#include <QString>

#include <string_view>
#include <vector>

#include "opstation/face/face_table.h"
#include "opstation/panel/exchange_cycle.h"

class Picture1;

namespace opstation::face {

// Installs the factory that gives Picture1 its interface; once per process,
// before the first Picture1 is made (Qt keeps the first interface made).
void installAccessibility();

// A display line as spoken: NULs and other control characters as blanks,
// trailing blanks dropped.
QString spokenLine(std::u16string_view line);
// "on", "off" or "flashing".
QString spokenShowing(LedShowing showing);

class Picture1Accessible final : public QAccessibleWidget {
public:
    explicit Picture1Accessible(Picture1 *picture);
    ~Picture1Accessible() override;

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    // Screen coordinates; the frontmost child there, as the face stacks them.
    QAccessibleInterface *childAt(int x, int y) const override;

    Picture1 *picture() const;
    QRect screenRect(const Control &control) const;

private:
    // Picture1 changed what it shows; `before` is the line as it was.
    void lineChanged(int line, const QString &before);
    void ledShowingChanged(Led led);

    struct Child {
        const Control *control;
        QAccessible::Id id;  // 0 for Text1, whose interface is Qt's
    };
    QAccessibleInterface *interfaceOf(const Child &child) const;
    QAccessibleInterface *childFor(const Control &control) const;

    std::vector<Child> children_;
    std::vector<QMetaObject::Connection> watching_;
};

}  // namespace opstation::face
