// What assistive technology sees of the painted face, in-process and
// offscreen: the tree of Picture1's interface, where its children lie, the
// keys' press action, and what the display lines and LEDs say. Which changes
// are announced is tested where Qt's accessibility is active
// (tests/a11y/announcement_test.cpp).
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLineEdit>

#include <set>

#include "face_accessibility.h"
#include "opstation/panel/key_model.h"
#include "picture1.h"

namespace opstation::face {
namespace {

class FaceAccessibility : public ::testing::Test {
protected:
    Picture1 picture;
    StationState station;
    QAccessibleInterface *face = nullptr;

    void SetUp() override {
        picture.setStation(&station);
        face = QAccessible::queryAccessibleInterface(&picture);
    }

    QAccessibleInterface *child(const QString &name, QAccessible::Role role) const {
        for (int i = 0; i < face->childCount(); ++i) {
            QAccessibleInterface *c = face->child(i);
            if (c->text(QAccessible::Name) == name && c->role() == role) return c;
        }
        return nullptr;
    }
    QString ledSays(const char *name) const {
        return child(name, QAccessible::StaticText)->text(QAccessible::Description);
    }
};

TEST_F(FaceAccessibility, TenButtonsSevenLedsTwoLinesAndText1InReadingOrder) {
    std::multiset<std::string> buttons, texts;
    for (int i = 0; i < face->childCount(); ++i) {
        QAccessibleInterface *c = face->child(i);
        EXPECT_EQ(face->indexOfChild(c), i);
        EXPECT_EQ(c->parent(), face);
        (c->role() == QAccessible::Button ? buttons : texts).insert(c->text(QAccessible::Name).toStdString());
    }
    EXPECT_EQ(buttons, (std::multiset<std::string>{"Up", "Down", "Escape", "Menu", "Direction", "Jog", "Local/Remote", "Run",
                                               "Stop/Reset", "Program"}));
    EXPECT_EQ(texts, (std::multiset<std::string>{"Health", "Run", "Stop", "Forward", "Reverse", "Local reference",
                                             "Local sequence", "Display line 1", "Display line 2", ""}));
    EXPECT_EQ(face->child(0)->text(QAccessible::Name), "Display line 1");
    EXPECT_EQ(face->child(face->childCount() - 1)->object(), picture.text1()) << "Text1 keeps Qt's interface";
}

TEST_F(FaceAccessibility, ChildrenLieWhereTheFacePaintsThem) {
    QAccessibleInterface *run = child("Run", QAccessible::Button);
    QAccessibleInterface *runLed = child("Run", QAccessible::StaticText);
    EXPECT_EQ(run->rect(), QRect(picture.mapToGlobal(QPoint(64, 456)), QSize(113, 49)));
    EXPECT_EQ(face->childAt(runLed->rect().center().x(), runLed->rect().center().y()), runLed) << "the LED lies in front";
    EXPECT_EQ(face->childAt(run->rect().left() + 2, run->rect().top() + 2), run);
}

TEST_F(FaceAccessibility, PressActionTapsTheKeyOnceWithItsPcKeys) {
    QAccessibleInterface *run = child("Run", QAccessible::Button);
    ASSERT_NE(run->actionInterface(), nullptr);
    EXPECT_EQ(run->actionInterface()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    run->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(sample(station, PanelKey::run), kTrue);
    EXPECT_EQ(sample(station, PanelKey::run), kFalse);
    EXPECT_EQ(run->actionInterface()->keyBindingsForAction(QAccessibleActionInterface::pressAction()), QStringList{"R"});
    QAccessibleInterface *dir = child("Direction", QAccessible::Button);
    EXPECT_EQ(dir->actionInterface()->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
              (QStringList{"Left", "Right"}));
}

TEST_F(FaceAccessibility, DisplayLineReadsAsShown) {
    QAccessibleInterface *line = child("Display line 1", QAccessible::StaticText);
    ASSERT_NE(line->textInterface(), nullptr);
    EXPECT_EQ(line->textInterface()->text(0, 16), "0123456789ABCDEF");
    picture.setLine(0, std::u16string(u"SPEED\0 1500 \0\0\0\0\0\0\0\0", 20));
    EXPECT_EQ(line->text(QAccessible::Value), "SPEED  1500");
    EXPECT_EQ(line->textInterface()->characterCount(), 11);
    const QRect second = line->textInterface()->characterRect(1);
    EXPECT_EQ(line->textInterface()->offsetAtPoint(second.center()), 1);
}

TEST_F(FaceAccessibility, LedsSayOnOffOrFlashingFromTheirWords) {
    EXPECT_EQ(ledSays("Forward"), "on") << "red by design before the first refresh";
    EXPECT_EQ(ledSays("Stop"), "off");
    station.led(Led::stop) = {kTrue, kTrue};
    station.led(Led::health) = {kTrue, kFalse};
    for (int refresh = 0; refresh < 10; ++refresh) update_LEDS(station, picture);
    EXPECT_EQ(ledSays("Stop"), "flashing");
    EXPECT_EQ(ledSays("Health"), "on");
    EXPECT_EQ(ledSays("Forward"), "off");
}

}  // namespace
}  // namespace opstation::face
