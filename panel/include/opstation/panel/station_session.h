// The panel's life with its drive library: initialise at load, one exchange
// cycle per timer tick, terminate once at unload. After a failure or after
// terminate, the library is never called again.
#pragma once

#include "opstation/drive_link.h"
#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/keyboard_holds.h"
#include "opstation/panel/station_state.h"

namespace opstation {

// The window title for a title buffer: the text up to its first NUL, or the
// whole buffer when it holds none.
Text captionOf(const Text &titleBuffer);

class StationSession {
public:
    enum class Phase { created, running, finished };

    StationSession(DriveLink &drive, DisplayLines &display, LedColours &leds);

    // Calls opstat_initialise and returns the caption. Errors propagate;
    // after one the session is finished.
    Text load();
    // One exchange cycle; does nothing unless the session is running.
    void runCycle();
    // Calls opstat_terminate, once, if the library was started; the session
    // is finished whatever happens.
    void unload();
    // Ends the session without another library call, after a failure.
    void abandon() { phase_ = Phase::finished; }

    Phase phase() const { return phase_; }
    StationState &state() { return state_; }
    const StationState &state() const { return state_; }
    KeyboardHolds &keyboard() { return keyboard_; }

private:
    template <typename Call>
    void guarded(Call &&call);

    DriveLink &drive_;
    DisplayLines &display_;
    LedColours &leds_;
    StationState state_{};
    KeyboardHolds keyboard_;
    Phase phase_ = Phase::created;
};

}  // namespace opstation
