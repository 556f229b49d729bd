// A headless station for the hardening tests: the real loader, the real
// exchange cycle, display lines in memory and LED colours in an array, with
// every write recorded.
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "opstation/drive_library.h"
#include "opstation/panel/exchange_cycle.h"
#include "../support/library_symbol.h"
#include "../support/recording_holders.h"

namespace opstation::hardening {

using test::librarySymbol;
using test::testLibrary;
using test::RecordingDisplay;
using test::RecordingLeds;

// The order in which the library takes the LED words: health, fwd, rev,
// run, stop, seq, ref, each on then flash.
inline constexpr std::array<Led, kLedCount> kLibraryOrder = {Led::health, Led::forward, Led::reverse, Led::run,
                                                             Led::stop,   Led::localSeq, Led::localRef};

inline int16_t libraryWord(const StationState &state, std::size_t index) {
    const LedState &led = state.led(kLibraryOrder[index / 2]);
    return index % 2 == 0 ? led.on : led.flash;
}

// The flash clock as designed: the phase flips on every ninth refresh,
// before the colours are computed.
struct FlashClock {
    int refreshes = 0;
    int16_t phase = 0;
    void tick() {
        if (++refreshes % 9 == 0) phase = static_cast<int16_t>(~phase);
    }
    Colour colour(LedState led) const {
        return (static_cast<uint16_t>(led.on) & (static_cast<uint16_t>(~led.flash) | static_cast<uint16_t>(phase))) != 0
                   ? kLitColour
                   : kDarkColour;
    }
};

struct Station {
    explicit Station(const std::string &path) : drive(path) {}
    StationState state;
    DriveLibrary drive;
    RecordingDisplay display;
    RecordingLeds leds;
    void cycle() { runExchangeCycle(state, drive, display, leds); }
};

}  // namespace opstation::hardening
