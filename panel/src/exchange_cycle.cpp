#include "opstation/panel/exchange_cycle.h"

#include "opstation/panel/key_model.h"

namespace opstation {

namespace {

constexpr int16_t kFlashCounterMax = 8;

// The order in which the LED refresh visits the LEDs.
constexpr std::array kRefreshOrder = {Led::run,     Led::stop,   Led::forward, Led::reverse,
                                      Led::health,  Led::localRef, Led::localSeq};

// The order in which the library takes the LEDs: health, fwd, rev, run,
// stop, seq, ref.
constexpr std::array kLibraryLedOrder = {Led::health, Led::forward, Led::reverse, Led::run,
                                         Led::stop,   Led::localSeq, Led::localRef};

UploadLedWords lendLedWords(StationState &state) {
    UploadLedWords words{};
    for (std::size_t i = 0; i < kLibraryLedOrder.size(); ++i) {
        LedState &led = state.led(kLibraryLedOrder[i]);
        words[2 * i] = &led.on;
        words[2 * i + 1] = &led.flash;
    }
    return words;
}

// disp(0) is written only when line 1 changed; disp(1) when either changed.
void refreshDisplay(DisplayLines &display, const UploadResult &upload) {
    const std::u16string_view line1 = view(upload.line1);
    const std::u16string_view line2 = view(upload.line2);
    if (line1.empty()) return;  // never true: lines always come back whole
    if (display.line(0) != line1) {
        display.setLine(0, line1);
        display.setLine(1, line2);
    } else if (display.line(1) != line2) {
        display.setLine(1, line2);
    }
}

}  // namespace

DownloadKeys sampleKeys(StationState &state) {
    DownloadKeys keys{};
    for (std::size_t i = 0; i < kPanelKeyCount; ++i) keys[i] = sample(state, static_cast<PanelKey>(i));
    return keys;
}

Colour ledColour(LedState led, int16_t flashPhase) {
    const auto lit = static_cast<uint16_t>(led.on & (~led.flash | flashPhase));
    return lit != 0 ? kLitColour : kDarkColour;
}

LedShowing ledShowing(LedState led) {
    const bool litInPhase0 = ledColour(led, kFalse) == kLitColour;
    const bool litInPhase1 = ledColour(led, kTrue) == kLitColour;
    if (litInPhase0 && litInPhase1) return LedShowing::on;
    return litInPhase0 || litInPhase1 ? LedShowing::flashing : LedShowing::off;
}

void update_LEDS(StationState &state, LedColours &colours) {
    if (state.flashCounter < kFlashCounterMax) {
        ++state.flashCounter;
    } else {
        state.flashCounter = 0;
        state.flashPhase = static_cast<int16_t>(~state.flashPhase);
    }
    for (Led led : kRefreshOrder) {
        colours.ledShows(led, ledShowing(state.led(led)));
        colours.setLedColour(led, ledColour(state.led(led), state.flashPhase));
    }
}

void runExchangeCycle(StationState &state, const DownloadKeys &keys, DriveLink &drive, DisplayLines &display,
                      LedColours &colours) {
    const UploadResult upload = drive.exchange(keys, lendLedWords(state));
    if (upload.result == 0) refreshDisplay(display, upload);
    update_LEDS(state, colours);
}

}  // namespace opstation
