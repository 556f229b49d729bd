/*
 * The standard-call ABI seen from inside a drive DLL, as a library author
 * builds one against drive_api.h (32-bit Windows only). Each entry point
 * records the 32-bit argument slots it finds on its stack, next to what its
 * typed parameters read, and the address of its own frame: from one call
 * site that address is the same call after call only while every call
 * leaves the stack as it found it. Built with frame pointers, so that the
 * slots sit at a known place above the frame.
 */
#include <string.h>

#include "abi_record.h"
#include "opstation/drive_api.h"

static struct AbiRecord record;

__declspec(dllexport) struct AbiRecord *abi_record(void) { return &record; }

/* The first argument slot: above the saved frame pointer and the return
 * address. */
#define ARGUMENT_SLOTS() ((const uint32_t *)__builtin_frame_address(0) + 2)
#define FRAME() ((uintptr_t)__builtin_frame_address(0))

static int allNul(const char *bytes, int size) {
    for (int i = 0; i < size; ++i)
        if (bytes[i] != 0) return 0;
    return 1;
}

OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_initialise(int32_t station, char *title) {
    (void)station;
    memcpy(record.initialiseSlots, ARGUMENT_SLOTS(), sizeof record.initialiseSlots);
    record.titleWasNul = allNul(title, OPSTAT_TITLE_SIZE + 1);
    memcpy(title, "ABI DRIVE", 9);
    return 0;
}

OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_terminate(int32_t station) {
    (void)station;
    record.terminateSlot = ARGUMENT_SLOTS()[0];
    return 0;
}

OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_download(int16_t up, int16_t down, int16_t esc, int16_t menu, int16_t dir,
                                                  int16_t jog, int16_t local, int16_t run, int16_t stop,
                                                  int16_t disp) {
    const int32_t call = record.downloads++;
    if (call >= ABI_MAX_CALLS) return -1;
    const int16_t keys[10] = {up, down, esc, menu, dir, jog, local, run, stop, disp};
    memcpy(record.downloadSlots[call], ARGUMENT_SLOTS(), sizeof record.downloadSlots[call]);
    memcpy(record.downloadKeys[call], keys, sizeof keys);
    record.downloadFrames[call] = FRAME();
    return 0;
}

OPSTAT_EXPORT int16_t OPSTAT_CALL opstat_upload(int16_t *health_on, int16_t *health_flash, int16_t *fwd_on,
                                                int16_t *fwd_flash, int16_t *rev_on, int16_t *rev_flash,
                                                int16_t *run_on, int16_t *run_flash, int16_t *stop_on,
                                                int16_t *stop_flash, int16_t *seq_on, int16_t *seq_flash,
                                                int16_t *ref_on, int16_t *ref_flash, char *line1, char *line2) {
    (void)health_on, (void)health_flash, (void)fwd_on, (void)fwd_flash, (void)rev_on, (void)rev_flash;
    (void)run_on, (void)run_flash, (void)stop_on, (void)stop_flash, (void)seq_on, (void)seq_flash;
    (void)ref_on, (void)ref_flash;
    const int32_t call = record.uploads++;
    if (call >= ABI_MAX_CALLS) return 1;
    memcpy(record.uploadSlots, ARGUMENT_SLOTS(), sizeof record.uploadSlots);
    if (allNul(line1, OPSTAT_LINE_SIZE + 1) && allNul(line2, OPSTAT_LINE_SIZE + 1)) ++record.nulLineUploads;
    record.uploadFrames[call] = FRAME();
    return 0;
}
