#include "opstation/panel/station_session.h"

#include <exception>

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
    } catch (const std::exception &error) {
        phase_ = Phase::finished;
        if (watch_ != nullptr) watch_->failed(*this, error.what());
        throw;
    } catch (...) {
        phase_ = Phase::finished;
        throw;
    }
}

Text StationSession::load() {
    if (phase_ != Phase::created) return {};
    guarded([&] { caption_ = captionOf(drive_.initialise(kStation)); });
    phase_ = Phase::running;
    if (watch_ != nullptr) watch_->loaded(*this, caption_);
    return caption_;
}

void StationSession::runCycle() {
    if (phase_ != Phase::running) return;
    ++cycles_;
    lastKeys_ = sampleKeys(state_);
    guarded([&] { runExchangeCycle(state_, lastKeys_, drive_, display_, leds_); });
    if (watch_ != nullptr) watch_->cycled(*this);
}

void StationSession::unload() {
    if (phase_ != Phase::running) {
        phase_ = Phase::finished;
        return;
    }
    phase_ = Phase::finished;
    if (watch_ != nullptr) watch_->ending(*this);
    guarded([&] { drive_.terminate(kStation); });
}

}  // namespace opstation
