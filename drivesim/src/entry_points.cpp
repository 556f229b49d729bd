// The four C entry points of libdrive.so over the one drive instance. They
// tolerate calls out of order and null pointers, and never let an exception
// cross into the panel.
//
// The drive's time is the station's: every download is one exchange cycle,
// 40 ms of drive time however late it comes. So the drive runs the same way
// on every run, in the window and under a script, paced or not.
#include <algorithm>
#include <cstring>
#include <memory>

#include "drive_sim.h"
#include "opstation/drive_api.h"

namespace {

struct Session {
    explicit Session(int32_t station) : drive(station) {}
    drivesim::DriveSim drive;
};

constexpr double kCycleSeconds = 0.040;

// The one instance: alive from initialise to terminate.
std::unique_ptr<Session> g_session;

int16_t word(bool on) { return static_cast<int16_t>(on ? -1 : 0); }

void put(int16_t *on, int16_t *flash, drivesim::Led led) {
    if (on != nullptr) *on = word(led.on);
    if (flash != nullptr) *flash = word(led.flash);
}

void putLine(char *out, const drivesim::Line &line) {
    if (out != nullptr) std::memcpy(out, line.data(), OPSTAT_LINE_SIZE);
}

}  // namespace

extern "C" {

OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_initialise(int32_t station, char *title) {
    try {
        g_session = std::make_unique<Session>(station);
        if (title != nullptr) {
            const std::string text = g_session->drive.title();
            std::memset(title, 0, OPSTAT_TITLE_SIZE);
            std::memcpy(title, text.data(), std::min<std::size_t>(text.size(), OPSTAT_TITLE_SIZE - 1));
        }
        return 0;
    } catch (...) {
        g_session.reset();
        return -1;
    }
}

OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_terminate(int32_t /*station*/) {
    g_session.reset();
    return 0;
}

OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_download(int16_t up, int16_t down, int16_t esc, int16_t menu, int16_t dir,
                                                  int16_t jog, int16_t local, int16_t run, int16_t stop,
                                                  int16_t disp) {
    if (!g_session) return -1;
    const int16_t states[] = {up, down, esc, menu, dir, jog, local, run, stop, disp};
    drivesim::KeyMask held = 0;
    for (unsigned k = 0; k < 10; ++k)
        if (states[k] != 0) held = static_cast<drivesim::KeyMask>(held | (1u << k));
    try {
        g_session->drive.step(held, kCycleSeconds);
    } catch (...) {
        return -1;  // out of memory for a text: skip this cycle
    }
    return 0;
}

OPSTAT_EXPORT int16_t OPSTAT_CALL opstat_upload(int16_t *health_on, int16_t *health_flash, int16_t *fwd_on,
                                                int16_t *fwd_flash, int16_t *rev_on, int16_t *rev_flash,
                                                int16_t *run_on, int16_t *run_flash, int16_t *stop_on,
                                                int16_t *stop_flash, int16_t *seq_on, int16_t *seq_flash,
                                                int16_t *ref_on, int16_t *ref_flash, char *line1, char *line2) {
    if (!g_session) return 1;  // nothing to show: the panel keeps its display
    try {
        const drivesim::DriveSim &drive = g_session->drive;
        const drivesim::Leds leds = drive.leds();
        put(health_on, health_flash, leds.health);
        put(fwd_on, fwd_flash, leds.fwd);
        put(rev_on, rev_flash, leds.rev);
        put(run_on, run_flash, leds.run);
        put(stop_on, stop_flash, leds.stop);
        put(seq_on, seq_flash, leds.seq);
        put(ref_on, ref_flash, leds.ref);
        const drivesim::Display display = drive.display();
        putLine(line1, display.line1);
        putLine(line2, display.line2);
    } catch (...) {
        return 1;
    }
    return 0;
}

}  // extern "C"
