// Key storms: thousands of events between two cycles. However many presses
// and releases arrive, the next download reports the key down once and the
// one after reports it up, and the key model is left exactly as one tap
// leaves it, so the cycle after a storm does the same work as any other.
#include <gtest/gtest.h>

#include "../libs/recording_drive.h"
#include "opstation/panel/key_model.h"
#include "station_fixture.h"

namespace opstation::hardening {
namespace {

constexpr int kStorm = 10'000;

DownloadKeys only(std::initializer_list<PanelKey> keys) {
    DownloadKeys expected{};
    for (PanelKey key : keys) expected[static_cast<std::size_t>(key)] = kTrue;
    return expected;
}

bool sameKeys(const StationState &a, const StationState &b) {
    for (std::size_t i = 0; i < kPanelKeyCount; ++i)
        if (a.keys[i].latched != b.keys[i].latched || a.keys[i].held != b.keys[i].held) return false;
    return true;
}

class KeyStorm : public ::testing::Test {
protected:
    std::string path = testLibrary("recording_drive");
    RecordingDrive &rec = sharedRecording();
    Station station{path};

    DownloadKeys cycle() {
        station.cycle();
        DownloadKeys keys{};
        std::copy(rec.downloads.back().begin(), rec.downloads.back().end(), keys.begin());
        return keys;
    }
};

TEST_F(KeyStorm, TenThousandTapsOfOneKeyAreOneDownThenUp) {
    cycle();
    for (int i = 0; i < kStorm; ++i) {
        press(station.state, PanelKey::run);
        release(station.state, PanelKey::run);
    }
    EXPECT_EQ(cycle(), only({PanelKey::run}));
    EXPECT_EQ(cycle(), only({}));
    EXPECT_EQ(cycle(), only({}));
    EXPECT_EQ(rec.downloads.size(), 4u);  // one download per cycle, storm or not
}

TEST_F(KeyStorm, LeavesTheKeyModelAsOneTapDoes) {
    StationState oneTap;
    press(oneTap, PanelKey::stop);
    release(oneTap, PanelKey::stop);
    for (int i = 0; i < kStorm; ++i) {
        press(station.state, PanelKey::stop);
        release(station.state, PanelKey::stop);
    }
    EXPECT_TRUE(sameKeys(station.state, oneTap));
}

TEST_F(KeyStorm, KeyboardStormOfAResetCombination) {
    for (int i = 0; i < kStorm; ++i) {
        keyDown(station.state, vk::f4);
        keyUp(station.state, vk::f4);
    }
    EXPECT_EQ(cycle(), only({PanelKey::up, PanelKey::down, PanelKey::esc, PanelKey::menu}));
    EXPECT_EQ(cycle(), only({}));
}

TEST_F(KeyStorm, StormOnEveryKeyAtOnce) {
    for (int i = 0; i < kStorm; ++i) {
        const auto key = static_cast<PanelKey>(i % kPanelKeyCount);
        press(station.state, key);
        release(station.state, key);
    }
    DownloadKeys all{};
    all.fill(kTrue);
    EXPECT_EQ(cycle(), all);
    EXPECT_EQ(cycle(), only({}));
}

// Mouse and keyboard share one latch pair: a storm from both is still one
// report.
TEST_F(KeyStorm, MouseAndKeyboardTogether) {
    for (int i = 0; i < kStorm; ++i) {
        press(station.state, PanelKey::dir);
        keyDown(station.state, vk::left);
        keyUp(station.state, vk::right);
        release(station.state, PanelKey::dir);
    }
    EXPECT_EQ(cycle(), only({PanelKey::dir}));
    EXPECT_EQ(cycle(), only({}));
}

// Ten thousand auto-repeat key-downs keep the key down; after the key-up
// it is down for at most one more cycle.
TEST_F(KeyStorm, AutoRepeatStormThenRelease) {
    for (int c = 0; c < 5; ++c) {
        for (int i = 0; i < kStorm / 5; ++i) keyDown(station.state, vk::j);
        EXPECT_EQ(cycle(), only({PanelKey::jog}));
    }
    keyDown(station.state, vk::j);
    keyUp(station.state, vk::j);
    EXPECT_EQ(cycle(), only({PanelKey::jog}));  // the last repeat came after the last cycle
    EXPECT_EQ(cycle(), only({}));
}

TEST_F(KeyStorm, StormEndingHeldStaysDownUntilReleased) {
    for (int i = 0; i < kStorm; ++i) {
        press(station.state, PanelKey::menu);
        release(station.state, PanelKey::menu);
    }
    press(station.state, PanelKey::menu);
    EXPECT_EQ(cycle(), only({PanelKey::menu}));
    EXPECT_EQ(cycle(), only({PanelKey::menu}));
    release(station.state, PanelKey::menu);
    EXPECT_EQ(cycle(), only({}));
}

// Codes outside the key map do nothing however many arrive.
TEST_F(KeyStorm, UnmappedCodesDoNothing) {
    for (int code = -kStorm; code < kStorm; ++code) {
        if (!panelKeysFor(code).empty()) continue;
        keyDown(station.state, code);
    }
    EXPECT_TRUE(sameKeys(station.state, StationState{}));
    EXPECT_EQ(cycle(), only({}));
}

}  // namespace
}  // namespace opstation::hardening
