// The panel's life with its drive library: initialise at load, one exchange
// cycle per timer tick, terminate once at unload. After a failure or after
// terminate, the library is never called again.
#pragma once

#include <cstdint>
#include <string_view>

#include "opstation/drive_link.h"
#include "opstation/panel/exchange_cycle.h"
#include "opstation/panel/keyboard_holds.h"
#include "opstation/panel/station_state.h"

namespace opstation {

// The window title for a title buffer: the text up to its first NUL, or the
// whole buffer when it holds none.
Text captionOf(const Text &titleBuffer);

class StationSession;

// What a front end may watch of a session besides what it shows: the load,
// every exchange cycle after it ran, a failure of the library, and the end
// (before opstat_terminate). A recording and a transcript are written from
// here, the same for every front end.
class SessionWatch {
public:
    virtual ~SessionWatch() = default;
    virtual void loaded(const StationSession &session, const Text &caption) = 0;
    virtual void cycled(const StationSession &session) = 0;
    // The library failed: in the load (no cycle yet) or in the last cycle.
    virtual void failed(const StationSession &session, std::string_view message) = 0;
    virtual void ending(const StationSession &session) = 0;
};

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

    // From now on the watch hears of the session; null for none.
    void setWatch(SessionWatch *watch) { watch_ = watch; }

    Phase phase() const { return phase_; }
    DriveLink &drive() const { return drive_; }
    const DisplayLines &display() const { return display_; }
    // The library's title, once loaded.
    const Text &caption() const { return caption_; }
    // Exchange cycles started so far, and the keys the last one passed down
    // (kept when the library failed in it).
    uint64_t cycles() const { return cycles_; }
    const DownloadKeys &lastKeys() const { return lastKeys_; }
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
    uint64_t cycles_ = 0;
    DownloadKeys lastKeys_{};
    Text caption_;
    SessionWatch *watch_ = nullptr;
};

}  // namespace opstation
