#include "opstation/panel/station_session.h"

namespace opstation {

Text captionOf(const Text &titleBuffer) { return titleBuffer.substr(0, titleBuffer.find(u'\0')); }

StationSession::StationSession(DriveLink &drive, DisplayLines &display, LedColours &leds)
    : drive_(drive), display_(display), leds_(leds) {}

// A call that fails finishes the session before the error goes on, so that
// nothing (a timer tick inside an error box, say) reaches the library again.
template <typename Call>
void StationSession::guarded(Call &&call) {
    try {
        call();
    } catch (...) {
        phase_ = Phase::finished;
        throw;
    }
}

Text StationSession::load() {
    if (phase_ != Phase::created) return {};
    Text caption;
    guarded([&] { caption = captionOf(drive_.initialise(kStation)); });
    phase_ = Phase::running;
    return caption;
}

void StationSession::runCycle() {
    if (phase_ != Phase::running) return;
    guarded([&] { runExchangeCycle(state_, drive_, display_, leds_); });
}

void StationSession::unload() {
    if (phase_ != Phase::running) {
        phase_ = Phase::finished;
        return;
    }
    phase_ = Phase::finished;
    drive_.terminate(kStation);
}

}  // namespace opstation
