// One exchange cycle: sample the keys, hand them to the drive library, take
// back LED words and display lines, refresh the display where it changed,
// and end with the LED refresh.
#pragma once

#include <cstdint>
#include <string_view>

#include "opstation/drive_link.h"
#include "opstation/panel/station_state.h"

namespace opstation {

// 0x00BBGGRR, red in the low byte.
using Colour = uint32_t;
inline constexpr Colour kLitColour = 0x0000FF;
inline constexpr Colour kDarkColour = 0xC0C0C0;

// The two display lines. Their texts are the only memory of what is shown:
// line() returns exactly what setLine() last wrote, NULs included.
class DisplayLines {
public:
    static constexpr std::u16string_view kDesignCaption = u"0123456789ABCDEF";

    virtual ~DisplayLines() = default;
    virtual std::u16string_view line(int index) const = 0;  // 0 or 1
    virtual void setLine(int index, std::u16string_view text) = 0;
};

// What an LED shows over a whole flash period: lit in both phases is on,
// lit in one phase only is flashing, lit in neither off.
enum class LedShowing : uint8_t { off, on, flashing };

// The seven LED colours. Set on every refresh, changed or not: a holder that
// draws should redraw only what actually changed. With each colour comes
// what the LED shows over a whole flash period, for a holder that tells it
// in words.
class LedColours {
public:
    virtual ~LedColours() = default;
    virtual void setLedColour(Led led, Colour colour) = 0;
    virtual void ledShows(Led, LedShowing) {}
};

// Display lines held in memory, for a station without a window.
class MemoryDisplayLines final : public DisplayLines {
public:
    std::u16string_view line(int index) const override { return lines_[index]; }
    void setLine(int index, std::u16string_view text) override { lines_[index].assign(text); }

private:
    std::u16string lines_[2] = {std::u16string(kDesignCaption), std::u16string(kDesignCaption)};
};

// The lit colour where on AND ((NOT flash) OR phase) is non-zero, bitwise on
// 16-bit words, else the dark colour.
Colour ledColour(LedState led, int16_t flashPhase);

// What an LED shows over a whole flash period, by the same formula.
LedShowing ledShowing(LedState led);

// The LED refresh: advances the flash clock (the phase flips on every ninth
// refresh, before the colours are computed) and sets all seven colours.
void update_LEDS(StationState &state, LedColours &colours);

// The ten keys as the next download passes them: samples every key.
DownloadKeys sampleKeys(StationState &state);

// One exchange cycle against the drive library, passing down `keys`
// (sampled). Failures of the library (DriveLibraryError) propagate to the
// caller.
void runExchangeCycle(StationState &state, const DownloadKeys &keys, DriveLink &drive, DisplayLines &display,
                      LedColours &colours);
inline void runExchangeCycle(StationState &state, DriveLink &drive, DisplayLines &display, LedColours &colours) {
    runExchangeCycle(state, sampleKeys(state), drive, display, colours);
}

}  // namespace opstation
