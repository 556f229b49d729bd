#include "opstation/panel/exchange_cycle.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "opstation/panel/key_model.h"
#include "../support/recording_holders.h"

namespace opstation {
namespace {

using ::testing::ElementsAre;

Line makeLine(std::u16string_view text) {
    Line line{};
    std::copy(text.begin(), text.end(), line.begin());
    return line;
}

// A drive that answers every upload with scripted lines, result and LED
// words, and records what it was given.
class ScriptedDrive : public DriveLink {
public:
    Line line1 = makeLine(u"RUNNING   LOCAL");
    Line line2 = makeLine(u"SP 50.0  1475rpm");
    int16_t result = 0;
    std::array<int16_t, 14> ledWords{};  // library order: health, fwd, rev, run, stop, seq, ref
    std::vector<DownloadKeys> downloads;

    Text initialise(int32_t) override { return Text(kTitleSize, u'\0'); }
    void terminate(int32_t) override {}
    void download(const DownloadKeys &keys) override { downloads.push_back(keys); }
    UploadResult upload(const UploadLedWords &words) override {
        for (std::size_t i = 0; i < words.size(); ++i) *words[i] = ledWords[i];
        return {result, line1, line2};
    }
};

using test::RecordingDisplay;
using test::RecordingLeds;

class ExchangeCycle : public ::testing::Test {
protected:
    StationState state;
    ScriptedDrive drive;
    RecordingDisplay display;
    RecordingLeds leds;

    void cycle() { runExchangeCycle(state, drive, display, leds); }
    void cycles(int n) {
        for (int i = 0; i < n; ++i) cycle();
    }
};

TEST_F(ExchangeCycle, DisplayStartsWithTheDesignCaption) {
    MemoryDisplayLines lines;
    EXPECT_EQ(lines.line(0), u"0123456789ABCDEF");
    EXPECT_EQ(lines.line(1), u"0123456789ABCDEF");
}

TEST_F(ExchangeCycle, SteadyLinesAreWrittenOnTheFirstCycleOnly) {
    cycles(5);
    EXPECT_THAT(display.writes, ElementsAre(0, 1));
    EXPECT_EQ(display.line(0), view(drive.line1));
    EXPECT_EQ(display.line(0).size(), kLineSize);  // NULs kept
}

TEST_F(ExchangeCycle, Line2ChangeRewritesLine2Only) {
    cycle();
    display.writes.clear();
    drive.line2 = makeLine(u"SP 50.1  1475rpm");
    cycle();
    EXPECT_THAT(display.writes, ElementsAre(1));
}

TEST_F(ExchangeCycle, Line1ChangeRewritesBothLines) {
    cycle();
    display.writes.clear();
    drive.line1 = makeLine(u"STOPPING  LOCAL");
    cycle();
    EXPECT_THAT(display.writes, ElementsAre(0, 1));
}

TEST_F(ExchangeCycle, LetterCaseCountsAsAChange) {
    cycle();
    display.writes.clear();
    drive.line1 = makeLine(u"running   LOCAL");
    cycle();
    EXPECT_THAT(display.writes, ElementsAre(0, 1));
}

// Lines that differ only after a NUL are still different lines.
TEST_F(ExchangeCycle, TextAfterANulCounts) {
    cycle();
    display.writes.clear();
    drive.line2[18] = u'X';
    cycle();
    EXPECT_THAT(display.writes, ElementsAre(1));
    EXPECT_EQ(display.line(1)[18], u'X');
}

// A library that writes nothing gives two lines of twenty NULs, which differ
// from the design caption and so are written.
TEST_F(ExchangeCycle, EmptyLinesAreWrittenAsTwentyNuls) {
    drive.line1 = {};
    drive.line2 = {};
    cycle();
    EXPECT_THAT(display.writes, ElementsAre(0, 1));
    EXPECT_EQ(display.line(0), std::u16string(kLineSize, u'\0'));
}

TEST_F(ExchangeCycle, NonZeroResultFreezesTheDisplayButNotTheLeds) {
    drive.result = 1;
    drive.ledWords[6] = kTrue;  // run on
    cycle();
    EXPECT_TRUE(display.writes.empty());
    EXPECT_EQ(display.line(0), DisplayLines::kDesignCaption);
    EXPECT_EQ(leds[Led::run], kLitColour);
    drive.result = 0;
    cycle();
    EXPECT_THAT(display.writes, ElementsAre(0, 1));
}

TEST_F(ExchangeCycle, TapIsPassedDownInExactlyOneDownload) {
    cycle();
    press(state, PanelKey::stop);
    release(state, PanelKey::stop);
    cycles(3);
    ASSERT_EQ(drive.downloads.size(), 4u);
    EXPECT_EQ(drive.downloads[1][8], kTrue);
    EXPECT_EQ(drive.downloads[2][8], kFalse);
    int downs = 0;
    for (const auto &keys : drive.downloads)
        for (int16_t k : keys) downs += k == kTrue;
    EXPECT_EQ(downs, 1);
}

TEST_F(ExchangeCycle, KeysGoDownInTheLibrarysOrder) {
    const std::array order = {PanelKey::up,  PanelKey::down,  PanelKey::esc, PanelKey::menu, PanelKey::dir,
                              PanelKey::jog, PanelKey::local, PanelKey::run, PanelKey::stop, PanelKey::disp};
    for (std::size_t i = 0; i < order.size(); ++i) {
        press(state, order[i]);
        release(state, order[i]);
        cycle();
        DownloadKeys expected{};
        expected[i] = kTrue;
        EXPECT_EQ(drive.downloads.back(), expected) << "position " << i;
    }
}

// The library's LED order (health, fwd, rev, run, stop, seq, ref) lands on
// the right LEDs.
TEST_F(ExchangeCycle, UploadedLedWordsLandOnTheirLeds) {
    const std::array libraryOrder = {Led::health, Led::forward, Led::reverse, Led::run,
                                     Led::stop,   Led::localSeq, Led::localRef};
    for (std::size_t i = 0; i < libraryOrder.size(); ++i) {
        drive.ledWords = {};
        drive.ledWords[2 * i] = static_cast<int16_t>(100 + i);
        drive.ledWords[2 * i + 1] = static_cast<int16_t>(200 + i);
        cycle();
        EXPECT_EQ(state.led(libraryOrder[i]).on, 100 + static_cast<int>(i));
        EXPECT_EQ(state.led(libraryOrder[i]).flash, 200 + static_cast<int>(i));
    }
}

// ---- LED refresh --------------------------------------------------------

class LedRefresh : public ::testing::Test {
protected:
    StationState state;
    RecordingLeds leds;

    // Colours of `led` over refreshes 1..n.
    std::vector<Colour> run(Led led, int n) {
        std::vector<Colour> seen;
        for (int i = 0; i < n; ++i) {
            update_LEDS(state, leds);
            seen.push_back(leds[led]);
        }
        return seen;
    }
};

TEST_F(LedRefresh, OnWithoutFlashIsAlwaysLit) {
    state.led(Led::health) = {kTrue, kFalse};
    for (Colour c : run(Led::health, 40)) EXPECT_EQ(c, kLitColour);
}

TEST_F(LedRefresh, FlashingIsDarkForEightThenLitNineThenDarkNine) {
    state.led(Led::stop) = {kTrue, kTrue};
    const auto seen = run(Led::stop, 35);
    for (int r = 1; r <= 35; ++r) {
        const bool lit = (r >= 9 && r <= 17) || (r >= 27 && r <= 35);
        EXPECT_EQ(seen[r - 1], lit ? kLitColour : kDarkColour) << "refresh " << r;
    }
}

TEST_F(LedRefresh, OffIsDarkWhateverTheFlashWord) {
    for (int16_t flash : {int16_t{0}, int16_t{-1}, int16_t{1}, int16_t{0x5555}}) {
        state.led(Led::reverse) = {kFalse, flash};
        for (Colour c : run(Led::reverse, 20)) EXPECT_EQ(c, kDarkColour);
    }
}

TEST_F(LedRefresh, FormulaIsBitwise) {
    EXPECT_EQ(ledColour({2, 1}, 0), kLitColour);  // bit 1 of NOT flash is set
    EXPECT_EQ(ledColour({1, 1}, 0), kDarkColour);
    EXPECT_EQ(ledColour({1, 1}, kTrue), kLitColour);
    EXPECT_EQ(ledColour({1, 1}, 1), kLitColour);
    EXPECT_EQ(ledColour({static_cast<int16_t>(0x8000), static_cast<int16_t>(0x7FFF)}, 0), kLitColour);
    EXPECT_EQ(ledColour({static_cast<int16_t>(0xF0F0), static_cast<int16_t>(0xF0F0)}, 0x0F0F), kDarkColour);
}

// The showing word follows the refresh's formula over both phases, bitwise
// words included: on = 2 with flash = 1 is lit in both phases.
TEST(LedShowingWord, OnFlashingOrOffAsTheRefreshWouldShowIt) {
    EXPECT_EQ(ledShowing({kTrue, kFalse}), LedShowing::on);
    EXPECT_EQ(ledShowing({kTrue, kTrue}), LedShowing::flashing);
    EXPECT_EQ(ledShowing({kFalse, kTrue}), LedShowing::off);
    EXPECT_EQ(ledShowing({2, 1}), LedShowing::on);
    EXPECT_EQ(ledShowing({1, 1}), LedShowing::flashing);
    EXPECT_EQ(ledShowing({static_cast<int16_t>(0xF0F0), static_cast<int16_t>(0xF0F0)}), LedShowing::flashing);
}

TEST_F(LedRefresh, LedsThatStartFlashingOnDifferentCyclesBlinkInStep) {
    state.led(Led::run) = {kTrue, kTrue};
    run(Led::run, 5);
    state.led(Led::localSeq) = {kTrue, kTrue};
    for (int i = 0; i < 40; ++i) {
        update_LEDS(state, leds);
        EXPECT_EQ(leds[Led::run], leds[Led::localSeq]);
    }
}

TEST_F(LedRefresh, EveryLedIsSetOnEveryRefreshInTheRefreshOrder) {
    update_LEDS(state, leds);
    update_LEDS(state, leds);
    EXPECT_THAT(leds.order, ElementsAre(Led::run, Led::stop, Led::forward, Led::reverse, Led::health, Led::localRef,
                                        Led::localSeq, Led::run, Led::stop, Led::forward, Led::reverse, Led::health,
                                        Led::localRef, Led::localSeq));
    for (Colour c : leds.colours) EXPECT_EQ(c, kDarkColour);  // all words 0 until the library writes them
}

TEST_F(LedRefresh, FlashClockCountsZeroToEight) {
    for (int i = 1; i <= 8; ++i) {
        update_LEDS(state, leds);
        EXPECT_EQ(state.flashCounter, i);
        EXPECT_EQ(state.flashPhase, kFalse);
    }
    update_LEDS(state, leds);
    EXPECT_EQ(state.flashCounter, 0);
    EXPECT_EQ(state.flashPhase, kTrue);
}

}  // namespace
}  // namespace opstation
