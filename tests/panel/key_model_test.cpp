#include "opstation/panel/key_model.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace opstation {
namespace {

using enum PanelKey;

class KeyModel : public ::testing::Test {
protected:
    StationState state;

    int16_t cycle(PanelKey key) { return sample(state, key); }
};

// A tap between two samples: down by exactly the next sample, up after.
TEST_F(KeyModel, TapBetweenSamplesIsReportedOnce) {
    press(state, run);
    release(state, run);
    EXPECT_EQ(cycle(run), kTrue);
    EXPECT_EQ(cycle(run), kFalse);
    EXPECT_EQ(cycle(run), kFalse);
}

TEST_F(KeyModel, HeldKeyIsReportedOnEverySampleAndUpAfterRelease) {
    press(state, jog);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(cycle(jog), kTrue);
    release(state, jog);
    EXPECT_EQ(cycle(jog), kFalse);
}

// A press after the last sample before the release keeps the key down for
// one more sample.
TEST_F(KeyModel, PressAfterLastSampleAddsOneSampleAfterRelease) {
    press(state, up);
    EXPECT_EQ(cycle(up), kTrue);
    press(state, up);  // auto-repeat
    release(state, up);
    EXPECT_EQ(cycle(up), kTrue);
    EXPECT_EQ(cycle(up), kFalse);
}

TEST_F(KeyModel, ManyPressesBetweenSamplesAreOneDown) {
    for (int i = 0; i < 1000; ++i) {
        press(state, stop);
        release(state, stop);
    }
    EXPECT_EQ(cycle(stop), kTrue);
    EXPECT_EQ(cycle(stop), kFalse);
}

TEST_F(KeyModel, SampleClearsOnlyItsOwnKey) {
    press(state, menu);
    release(state, menu);
    press(state, esc);
    release(state, esc);
    EXPECT_EQ(cycle(menu), kTrue);
    EXPECT_EQ(state.latch(esc).latched, kTrue);
    EXPECT_EQ(cycle(esc), kTrue);
}

TEST_F(KeyModel, FlagsUseAllBitsForTrue) {
    press(state, disp);
    EXPECT_EQ(state.latch(disp).latched, -1);
    EXPECT_EQ(state.latch(disp).held, -1);
    // The record keeps the pairs in its own order: disp first, jog last.
    EXPECT_EQ(&state.latch(disp), &state.keys[0]);
    EXPECT_EQ(&state.latch(jog), &state.keys[9]);
}

TEST_F(KeyModel, KeyboardAutoRepeatKeepsKeyDownThenAtMostOneMore) {
    keyDown(state, vk::up);
    EXPECT_EQ(cycle(up), kTrue);
    keyDown(state, vk::up);
    EXPECT_EQ(cycle(up), kTrue);
    keyDown(state, vk::up);
    keyUp(state, vk::up);
    EXPECT_EQ(cycle(up), kTrue);
    EXPECT_EQ(cycle(up), kFalse);
}

// Both arrows share dirKey: the Right arrow's key-up releases it although
// the Left arrow is still down.
TEST_F(KeyModel, RightTapWhileLeftHeldReleasesDir) {
    keyDown(state, vk::left);
    EXPECT_EQ(cycle(dir), kTrue);
    keyDown(state, vk::right);
    keyUp(state, vk::right);
    EXPECT_EQ(cycle(dir), kTrue);  // the tap's own latch
    EXPECT_EQ(cycle(dir), kFalse);
    EXPECT_EQ(cycle(dir), kFalse);
}

// Mouse and keyboard share one pair: F2's key-up releases a mouse-held up key.
TEST_F(KeyModel, F2TapReleasesMouseHeldUp) {
    press(state, up);  // mouse button down on upKey
    EXPECT_EQ(cycle(up), kTrue);
    keyDown(state, vk::f2);
    keyUp(state, vk::f2);
    EXPECT_EQ(cycle(up), kTrue);
    EXPECT_EQ(cycle(down), kTrue);
    EXPECT_EQ(cycle(up), kFalse);
    EXPECT_EQ(cycle(down), kFalse);
}

TEST_F(KeyModel, KeyMapRows) {
    const std::vector<std::pair<int, std::vector<PanelKey>>> rows = {
        {0x45, {esc}},  {0x4D, {menu}},      {0x26, {up}},
        {0x28, {down}}, {0x50, {disp}},      {0x4C, {local}},
        {0x4A, {jog}},  {0x27, {dir}},       {0x25, {dir}},
        {0x52, {run}},  {0x53, {stop}},      {0x71, {up, down}},
        {0x72, {up, esc, disp}},             {0x73, {up, down, esc, menu}},
    };
    for (const auto &[code, keys] : rows) {
        StationState s;
        keyDown(s, code);
        for (std::size_t k = 0; k < kPanelKeyCount; ++k) {
            const auto key = static_cast<PanelKey>(k);
            const bool expected = std::find(keys.begin(), keys.end(), key) != keys.end();
            EXPECT_EQ(s.latch(key).held, expected ? kTrue : kFalse) << "code " << code << " key " << k;
        }
        keyUp(s, code);
        for (const KeyLatch &latch : s.keys) EXPECT_EQ(latch.held, kFalse) << "code " << code;
    }
}

TEST_F(KeyModel, CodesOutsideTheMapChangeNothing) {
    // F1, Shift, Esc, lower-case letter codes, and codes whose low bits match
    // a mapped code.
    for (int code : {0x70, 0x10, 0x1B, 0x65, 0x72 + 0x10000, -1, 0, 0x74, 0x41}) {
        keyDown(state, code);
        keyUp(state, code);
    }
    for (const KeyLatch &latch : state.keys) {
        EXPECT_EQ(latch.latched, kFalse);
        EXPECT_EQ(latch.held, kFalse);
    }
}

// Random presses, releases and samples against a reference model of the
// rules: a key is reported down when it was held at the sample, or when a
// press came since the previous sample.
TEST_F(KeyModel, AgreesWithReferenceModelOnRandomStreams) {
    std::mt19937 rng(20261207);
    struct Reference {
        bool held = false;
        bool pressedSinceSample = false;
    };
    std::array<Reference, kPanelKeyCount> ref{};
    for (int step = 0; step < 100000; ++step) {
        const auto k = static_cast<std::size_t>(rng() % kPanelKeyCount);
        const auto key = static_cast<PanelKey>(k);
        switch (rng() % 3) {
            case 0:
                press(state, key);
                ref[k] = {true, true};
                break;
            case 1:
                release(state, key);
                ref[k].held = false;
                break;
            default: {
                const bool expected = ref[k].held || ref[k].pressedSinceSample;
                ref[k].pressedSinceSample = false;
                ASSERT_EQ(sample(state, key), expected ? kTrue : kFalse) << "step " << step;
            }
        }
    }
}

}  // namespace
}  // namespace opstation
