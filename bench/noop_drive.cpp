// A drive library that does nothing but answer: the cost of the boundary
// itself. Writes steady lines so the display comparison runs in full.
#include <cstring>

#include "opstation/drive_api.h"

extern "C" {
OPSTAT_EXPORT int32_t opstat_initialise(int32_t, char *title) {
    std::memcpy(title, "no-op drive", 11);
    return 0;
}
OPSTAT_EXPORT int32_t opstat_terminate(int32_t) { return 0; }
OPSTAT_EXPORT int32_t opstat_download(int16_t, int16_t, int16_t, int16_t, int16_t, int16_t, int16_t, int16_t, int16_t,
                                      int16_t) {
    return 0;
}
OPSTAT_EXPORT int16_t opstat_upload(int16_t *, int16_t *, int16_t *, int16_t *, int16_t *, int16_t *, int16_t *,
                                    int16_t *, int16_t *, int16_t *, int16_t *, int16_t *, int16_t *, int16_t *,
                                    char *line1, char *line2) {
    std::memcpy(line1, "STOPPED   LOCAL ", 16);
    std::memcpy(line2, "SP  50.0%    0rpm", 16);
    return 0;
}
}
