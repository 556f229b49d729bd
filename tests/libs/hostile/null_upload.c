/*
 * A drive library whose opstat_upload symbol is present but has the value
 * 0: the loader must report it, not call address 0. The other three entry
 * points work.
 */
#include <stdint.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT int32_t opstat_initialise(int32_t station, char *title) {
    (void)station;
    title[0] = 'N';
    return 0;
}
EXPORT int32_t opstat_terminate(int32_t station) { return station; }
EXPORT int32_t opstat_download(int16_t a, int16_t b, int16_t c, int16_t d, int16_t e, int16_t f, int16_t g, int16_t h,
                               int16_t i, int16_t j) {
    return a + b + c + d + e + f + g + h + i + j;
}

__asm__(".globl opstat_upload\n"
        ".type opstat_upload, @function\n"
        ".set opstat_upload, 0\n");
