// Which changes of the face are announced to assistive technology, recorded
// in-process with QAccessible's update handler. Qt hands events to the
// handler only while its accessibility is active, which takes a platform
// with an accessibility bridge: panel_e2e.py runs this program on a private
// X server with an AT-SPI bus.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>

#include <map>

#include "face_accessibility.h"
#include "picture1.h"

namespace opstation::face {
namespace {

std::vector<std::pair<QAccessible::Event, std::string>> announced;

void recordEvent(QAccessibleEvent *event) {
    QAccessibleInterface *source = event->accessibleInterface();
    announced.emplace_back(event->type(), source ? source->text(QAccessible::Name).toStdString() : "");
}

class Announcements : public ::testing::Test {
protected:
    Picture1 picture;
    StationState station;
    QAccessible::UpdateHandler previous = nullptr;

    void SetUp() override {
        ASSERT_TRUE(QTest::qWaitFor([] { return QAccessible::isActive(); }, 10000)) << "no active accessibility bridge";
        picture.setStation(&station);
        QAccessible::queryAccessibleInterface(&picture);
        announced.clear();
        previous = QAccessible::installUpdateHandler(recordEvent);
    }
    void TearDown() override { QAccessible::installUpdateHandler(previous); }

    std::map<std::string, int> count(QAccessible::Event type) const {
        std::map<std::string, int> counts;
        for (const auto &[eventType, name] : announced) {
            if (eventType == type) ++counts[name];
        }
        return counts;
    }
};

// Each change of the line as shown is one event; a rewrite that shows the
// same (a NUL where a blank was) or the same line again is none.
TEST_F(Announcements, DisplayLineChangeOnceNeverPerCycle) {
    const std::u16string speed(u"SPEED  1500         ", 20);
    picture.setLine(0, speed);
    for (int cycle = 0; cycle < 5; ++cycle) picture.setLine(0, speed);
    picture.setLine(0, std::u16string(u"SPEED  1500\0\0\0\0\0\0\0\0\0", 20));
    picture.setLine(1, std::u16string(u"RUNNING", 7));
    EXPECT_EQ(count(QAccessible::TextUpdated), (std::map<std::string, int>{{"Display line 1", 1}, {"Display line 2", 1}}));
}

// Flashing is one state: the blinking (the phase flips every ninth refresh)
// announces nothing; only a change of the state word does.
TEST_F(Announcements, LedStateWordChangesOnlyNeverTheBlinking) {
    station.led(Led::stop) = {kTrue, kTrue};
    for (int refresh = 0; refresh < 40; ++refresh) update_LEDS(station, picture);
    station.led(Led::stop) = {kTrue, kFalse};
    for (int refresh = 0; refresh < 40; ++refresh) update_LEDS(station, picture);
    // Forward goes from its design red to off at the first refresh.
    EXPECT_EQ(count(QAccessible::DescriptionChanged), (std::map<std::string, int>{{"Forward", 1}, {"Stop", 2}}));
}

}  // namespace
}  // namespace opstation::face
