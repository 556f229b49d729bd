/*
 * A small, well-behaved drive DLL, built several times over to stand for
 * the ways other compilers export its entry points. One source, one variant
 * per NAMED_* definition:
 *
 *   (none)               title "NAMED DRIVE", lines "LINE 1" and "LINE 2"
 *   NAMED_BOTH           also exports a second opstat_initialise under its
 *                        decorated name, writing the title "DECORATED"
 *   NAMED_NO_UPLOAD      lacks opstat_upload
 *   NAMED_CRASH          opstat_upload writes through a null pointer
 *   NAMED_HANG           opstat_upload never returns
 *   NAMED_FULL_TEXT      fills all 128 title bytes (0x80 .. 0xFF) and both
 *                        lines (0x80 .. 0x93, 0xEC .. 0xFF), no NUL
 *
 * Which names the DLL exports is up to its build (tests/windows/CMakeLists.txt).
 */
#include <stdint.h>
#include <string.h>

#include "opstation/drive_api.h"

#if defined(NAMED_BY_COMPILER)
#define EXPORT __declspec(dllexport)
#else
#define EXPORT /* the module-definition file, or --kill-at, says what is exported */
#endif

#if !defined(NAMED_FULL_TEXT)
static void put(char *to, const char *text) { memcpy(to, text, strlen(text)); }
#endif

#if defined(NAMED_CRASH)
static int16_t *volatile nowhere; /* null, and the compiler cannot know it */
#endif

#if defined(NAMED_HANG)
#include <windows.h>
#endif

EXPORT int32_t OPSTAT_CALL opstat_initialise(int32_t station, char *title) {
    (void)station;
#if defined(NAMED_FULL_TEXT)
    for (int i = 0; i < OPSTAT_TITLE_SIZE; ++i) title[i] = (char)(0x80 + i);
#else
    put(title, "NAMED DRIVE");
#endif
    return 0;
}

#if defined(NAMED_BOTH)
int32_t OPSTAT_CALL decorated_initialise(int32_t station, char *title) {
    (void)station;
    put(title, "DECORATED");
    return 0;
}
#endif

EXPORT int32_t OPSTAT_CALL opstat_terminate(int32_t station) { return station; }

EXPORT int32_t OPSTAT_CALL opstat_download(int16_t up, int16_t down, int16_t esc, int16_t menu, int16_t dir,
                                           int16_t jog, int16_t local, int16_t run, int16_t stop, int16_t disp) {
    return up + down + esc + menu + dir + jog + local + run + stop + disp;
}

#if !defined(NAMED_NO_UPLOAD)
EXPORT int16_t OPSTAT_CALL opstat_upload(int16_t *health_on, int16_t *health_flash, int16_t *fwd_on,
                                         int16_t *fwd_flash, int16_t *rev_on, int16_t *rev_flash, int16_t *run_on,
                                         int16_t *run_flash, int16_t *stop_on, int16_t *stop_flash, int16_t *seq_on,
                                         int16_t *seq_flash, int16_t *ref_on, int16_t *ref_flash, char *line1,
                                         char *line2) {
    (void)health_on, (void)health_flash, (void)fwd_on, (void)fwd_flash, (void)rev_on, (void)rev_flash, (void)run_on;
    (void)run_flash, (void)stop_on, (void)stop_flash, (void)seq_on, (void)seq_flash, (void)ref_on, (void)ref_flash;
    (void)line1, (void)line2;
#if defined(NAMED_CRASH)
    *nowhere = -1; /* an access violation */
#elif defined(NAMED_HANG)
    for (;;) Sleep(1000);
#elif defined(NAMED_FULL_TEXT)
    for (int i = 0; i < OPSTAT_LINE_SIZE; ++i) {
        line1[i] = (char)(0x80 + i);
        line2[i] = (char)(0xEC + i);
    }
#else
    *health_on = -1;
    put(line1, "LINE 1");
    put(line2, "LINE 2");
#endif
    return 0;
}
#endif
