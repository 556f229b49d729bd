/*
 * A drive library for the fuzz harness: it answers from a script and
 * records what it was given, on the far side of the real loader, so that
 * the byte buffers, the 16-bit words and the result register all cross the
 * same C boundary as with any other library. Its upload is declared
 * returning int32_t, as a library may do, so the upper 16 bits of the
 * result are fuzzed too.
 */
#include <string.h>

#include "fuzz_drive.h"

#define EXPORT __attribute__((visibility("default")))

static struct FuzzDriveScript script;

EXPORT struct FuzzDriveScript *fuzz_drive_script(void) { return &script; }

EXPORT int32_t opstat_initialise(int32_t station, char *title) {
    ++script.initialiseCalls;
    script.station = station;
    memcpy(script.titleOnEntry, title, sizeof script.titleOnEntry);
    memcpy(title, script.title, script.titleLength <= 128 ? script.titleLength : 128);
    return 0;
}

EXPORT int32_t opstat_terminate(int32_t station) { return station; }

EXPORT int32_t opstat_download(int16_t up, int16_t down, int16_t esc, int16_t menu, int16_t dir, int16_t jog,
                               int16_t local, int16_t run, int16_t stop, int16_t disp) {
    const int16_t keys[10] = {up, down, esc, menu, dir, jog, local, run, stop, disp};
    ++script.downloadCalls;
    memcpy(script.downloaded, keys, sizeof keys);
    return 0;
}

EXPORT int32_t opstat_upload(int16_t *health_on, int16_t *health_flash, int16_t *fwd_on, int16_t *fwd_flash,
                             int16_t *rev_on, int16_t *rev_flash, int16_t *run_on, int16_t *run_flash,
                             int16_t *stop_on, int16_t *stop_flash, int16_t *seq_on, int16_t *seq_flash,
                             int16_t *ref_on, int16_t *ref_flash, char *line1, char *line2) {
    int16_t *words[14] = {health_on, health_flash, fwd_on, fwd_flash, rev_on,   rev_flash, run_on,
                          run_flash, stop_on,      stop_flash, seq_on, seq_flash, ref_on,  ref_flash};
    ++script.uploadCalls;
    for (int i = 0; i < 14; ++i) {
        script.wordsOnEntry[i] = *words[i];
        if (script.writeMask & (1u << i)) *words[i] = script.words[i];
    }
    memcpy(script.line1OnEntry, line1, sizeof script.line1OnEntry);
    memcpy(script.line2OnEntry, line2, sizeof script.line2OnEntry);
    memcpy(line1, script.line1, script.line1Length <= 20 ? script.line1Length : 20);
    memcpy(line2, script.line2, script.line2Length <= 20 ? script.line2Length : 20);
    return script.result;
}
