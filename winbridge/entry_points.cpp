// The bridge's four entry points, and the failure report the drive host
// asks for after each call (opstation/bridge_api.h).
#include <filesystem>

#include <dlfcn.h>

#include "bridge.h"
#include "opstation/bridge_api.h"

namespace {

// The bridge's own file as the dynamic loader found it (a folder on
// LD_LIBRARY_PATH, or the path it was given), symbolic links kept: that
// folder is the drive-library folder, whatever the bridge links to.
std::string bridgeFile() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&opstat_initialise), &info) == 0 || info.dli_fname == nullptr) return "libdrive.so";
    return std::filesystem::absolute(info.dli_fname).string();
}

opstation::winbridge::Bridge &bridge() {
    static opstation::winbridge::Bridge instance(bridgeFile());
    return instance;
}

}  // namespace

extern "C" {

OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_initialise(int32_t station, char *title) {
    bridge().initialise(station, title);
    return 0;
}

OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_terminate(int32_t station) {
    bridge().terminate(station);
    return 0;
}

OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_download(int16_t up, int16_t down, int16_t esc, int16_t menu, int16_t dir,
                                                  int16_t jog, int16_t local, int16_t run, int16_t stop, int16_t disp) {
    bridge().download({up, down, esc, menu, dir, jog, local, run, stop, disp});
    return 0;
}

OPSTAT_EXPORT int16_t OPSTAT_CALL opstat_upload(int16_t *health_on, int16_t *health_flash, int16_t *fwd_on,
                                                int16_t *fwd_flash, int16_t *rev_on, int16_t *rev_flash,
                                                int16_t *run_on, int16_t *run_flash, int16_t *stop_on,
                                                int16_t *stop_flash, int16_t *seq_on, int16_t *seq_flash,
                                                int16_t *ref_on, int16_t *ref_flash, char *line1, char *line2) {
    return bridge().upload({health_on, health_flash, fwd_on, fwd_flash, rev_on, rev_flash, run_on, run_flash, stop_on,
                            stop_flash, seq_on, seq_flash, ref_on, ref_flash},
                           line1, line2);
}

OPSTAT_EXPORT const char *opstation_bridge_failure(void) { return bridge().failure(); }

}  // extern "C"
