/*
 * OP Station drive library interface.
 *
 * A drive library holds a simulated (or real) drive and all of its operator
 * station behaviour. The panel loads it at run time, by file name, and calls
 * the four entry points below. Write your own library against this header,
 * build it as a shared library and put it where the panel finds it:
 *
 *   Linux    libdrive.so, found by the dynamic loader's normal search
 *            (LD_LIBRARY_PATH, then the panel's RUNPATH, then the system
 *            folders); C linkage, default C calling convention.
 *   Windows  drive.dll, found beside the panel's program or in the system
 *            folders (never in the current folder); C linkage, __stdcall,
 *            exported under the plain names (a module-definition file) or
 *            the decorated ones, _opstat_upload@64 or opstat_upload@64.
 *
 * Truth values are 16-bit: -1 (all bits set) is true, 0 is false.
 * Text is 8-bit, Windows-1252 on Linux, the system ANSI code page on Windows.
 *
 * Call order: opstat_initialise once, then opstat_download and opstat_upload
 * once each per exchange cycle (every 40 ms, download first), then
 * opstat_terminate once. All calls come from one thread.
 */
#ifndef OPSTATION_DRIVE_API_H
#define OPSTATION_DRIVE_API_H

#include <stdint.h>

#if defined(_WIN32)
#define OPSTAT_CALL __stdcall
#if defined(OPSTAT_BUILDING_DRIVE)
#define OPSTAT_EXPORT __declspec(dllexport)
#else
#define OPSTAT_EXPORT
#endif
#else
#define OPSTAT_CALL
#define OPSTAT_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Sizes of the buffers that the panel lends. Each buffer is filled with NUL
 * bytes and one more NUL follows its end, so a library may write up to the
 * full size without a terminator; the panel takes back the whole buffer. */
#define OPSTAT_TITLE_SIZE 128
#define OPSTAT_LINE_SIZE 20

/* Called once, before any other call. station identifies the panel (the
 * panel passes 2). Write the window title into title, at most
 * OPSTAT_TITLE_SIZE bytes; the title bar shows it up to its first NUL, or
 * all OPSTAT_TITLE_SIZE bytes when there is none. The result is not read. */
OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_initialise(int32_t station, char *title);

/* Called once, when the panel closes; nothing follows it. The result is not
 * read. */
OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_terminate(int32_t station);

/* Called once per exchange cycle with the ten panel keys: -1 when the key is
 * down this cycle, else 0. A tap shorter than a cycle is reported down in
 * exactly one call. Only the low 16 bits of each value count. The result is
 * not read. */
OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_download(int16_t up, int16_t down, int16_t esc, int16_t menu,
                                                  int16_t dir, int16_t jog, int16_t local, int16_t run,
                                                  int16_t stop, int16_t disp);

/* Called once per exchange cycle, directly after opstat_download.
 *
 * The fourteen pointers point at the panel's own LED words, on before flash
 * for each LED. Write the words you want to change; the others keep their
 * values from the previous cycle. An LED is lit where on AND ((NOT flash) OR
 * phase) is non-zero, bit by bit, with the panel's blink phase: so on = -1,
 * flash = 0 is lit, on = -1, flash = -1 blinks (360 ms lit, 360 ms dark), and
 * on = 0 is dark.
 *
 * line1 and line2 are the two display lines, OPSTAT_LINE_SIZE bytes each,
 * NUL-filled. The display shows 16 characters of each line.
 *
 * Return 0 when the lines are valid and may be shown; any other value (only
 * the low 16 bits count) leaves the display as it is for this cycle, while
 * the LED words still count. */
OPSTAT_EXPORT int16_t OPSTAT_CALL opstat_upload(int16_t *health_on, int16_t *health_flash, int16_t *fwd_on,
                                                int16_t *fwd_flash, int16_t *rev_on, int16_t *rev_flash,
                                                int16_t *run_on, int16_t *run_flash, int16_t *stop_on,
                                                int16_t *stop_flash, int16_t *seq_on, int16_t *seq_flash,
                                                int16_t *ref_on, int16_t *ref_flash, char *line1, char *line2);

#ifdef __cplusplus
}
#endif

#endif /* OPSTATION_DRIVE_API_H */
