// The transcript of a run: the title, then one line for each cycle in which
// the keys passed down, a display line or what an LED shows changed, then
// how the run ended. Plain text, the same bytes for the same run.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "opstation/drive_link.h"
#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/station_state.h"

namespace opstation {

inline constexpr uint64_t kCycleMilliseconds = 40;

// "1.240 s": the station time of cycle n, n x 40 ms.
std::string stationTime(uint64_t cycle);

class Transcript {
public:
    explicit Transcript(std::ostream &out) : out_(out) {}

    void title(const Text &caption);
    void cycle(uint64_t number, const DownloadKeys &keys, const DisplayLines &display, const StationState &state);
    void end(uint64_t lastCycle, std::string_view outcome);

private:
    struct Seen {
        DownloadKeys keys{};
        Text lines[2] = {Text(DisplayLines::kDesignCaption), Text(DisplayLines::kDesignCaption)};
        std::array<LedShowing, kLedCount> leds{};
    };

    std::ostream &out_;
    Seen seen_;
    std::string buffer_;
};

}  // namespace opstation
