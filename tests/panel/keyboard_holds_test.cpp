#include "opstation/panel/keyboard_holds.h"

#include <gtest/gtest.h>

#include "opstation/panel/key_model.h"

namespace opstation {
namespace {

using enum PanelKey;

class KeyboardHoldsTest : public ::testing::Test {
protected:
    StationState state;
    KeyboardHolds holds;
};

TEST_F(KeyboardHoldsTest, FocusLossReleasesWhatPcKeysHold) {
    holds.keyDown(state, vk::j);
    holds.keyDown(state, vk::f4);
    holds.releaseAll(state);
    for (PanelKey key : {jog, up, down, esc, menu}) EXPECT_EQ(state.latch(key).held, kFalse);
    // The latches still report the presses once.
    EXPECT_EQ(sample(state, jog), kTrue);
    EXPECT_EQ(sample(state, jog), kFalse);
    EXPECT_FALSE(holds.anyDown());
}

TEST_F(KeyboardHoldsTest, FocusLossLeavesMouseHeldKeysAlone) {
    press(state, run);  // held by the mouse
    holds.keyDown(state, vk::s);
    holds.releaseAll(state);
    EXPECT_EQ(state.latch(run).held, kTrue);
    EXPECT_EQ(state.latch(stop).held, kFalse);
}

// A PC key already let go is not released again: a mouse-held up key stays
// held after F2 went down and up and the focus went away.
TEST_F(KeyboardHoldsTest, KeysAlreadyUpAreNotReleasedAgain) {
    holds.keyDown(state, vk::f2);
    holds.keyUp(state, vk::f2);
    press(state, up);
    holds.releaseAll(state);
    EXPECT_EQ(state.latch(up).held, kTrue);
}

// The key model itself is unchanged: F2's key-up releases a mouse-held up.
TEST_F(KeyboardHoldsTest, KeyUpStillActsOnTheSharedLatch) {
    press(state, up);
    holds.keyDown(state, vk::f2);
    holds.keyUp(state, vk::f2);
    EXPECT_EQ(state.latch(up).held, kFalse);
}

TEST_F(KeyboardHoldsTest, UnmappedAndOutOfRangeCodesAreIgnored) {
    for (int code : {-5, 0x70, 0x1B, 300, 1 << 20}) holds.keyDown(state, code);
    EXPECT_FALSE(holds.anyDown());
    holds.releaseAll(state);
    for (const KeyLatch &latch : state.keys) EXPECT_EQ(latch.latched, kFalse);
}

}  // namespace
}  // namespace opstation
