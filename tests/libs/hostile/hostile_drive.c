/*
 * Drive libraries that behave badly, each within what the call contract
 * allows (or at its very edge), written in plain C the way an outside
 * library author would. One source, one variant per HOSTILE_* definition:
 *
 *   HOSTILE_FULL_TITLE    fills all 128 title bytes, writes nothing else
 *   HOSTILE_SILENT        writes nothing anywhere
 *   HOSTILE_FULL_LINES    fills both lines with exactly 20 non-NUL bytes
 *   HOSTILE_HIGH_BITS     declares its upload returning int32_t and leaves
 *                         junk in the upper 16 bits of the result
 *   HOSTILE_GARBAGE_LEDS  writes arbitrary words through a varying subset
 *                         of the fourteen LED pointers
 *
 * The prototypes are this file's own, not the panel's header, so that the
 * high-bits variant can declare the wider return type a real library might.
 */
#include <stdint.h>
#include <string.h>

#if defined(_WIN32)
#define EXPORT __declspec(dllexport)
#define CALL __stdcall
#else
#define EXPORT __attribute__((visibility("default")))
#define CALL
#endif

/* ---- what a test can read back ------------------------------------------ */

static int32_t uploadCalls;
static int32_t downloadCalls;
static size_t lengthOfLine1; /* strlen() of line 1 after writing it */
static size_t lengthOfLine2;
static uint16_t lastMask;       /* which LED words the last upload wrote */
static int16_t lastWords[14];   /* what it wrote through them */

EXPORT int32_t hostile_upload_calls(void) { return uploadCalls; }
EXPORT int32_t hostile_download_calls(void) { return downloadCalls; }
EXPORT size_t hostile_line_length(int which) { return which == 0 ? lengthOfLine1 : lengthOfLine2; }
EXPORT uint16_t hostile_last_mask(void) { return lastMask; }
EXPORT const int16_t *hostile_last_words(void) { return lastWords; }

/* The results the high-bits variant returns, call after call, round robin. */
EXPORT const int32_t hostile_results[] = {
    0x00010000, 0x00010001, 0x7FFF0000, (int32_t)0xFFFF0000u, 0x0000FFFF,
    (int32_t)0x80000000u, 0x12340000, 0x00000001, 0x00000000,
};
EXPORT const int32_t hostile_result_count = (int32_t)(sizeof hostile_results / sizeof hostile_results[0]);

/* ---- the four entry points ---------------------------------------------- */

EXPORT int32_t CALL opstat_initialise(int32_t station, char *title) {
    (void)station;
#if defined(HOSTILE_FULL_TITLE)
    for (int i = 0; i < 128; ++i) title[i] = (char)(i + 1); /* 0x01 .. 0x80, no NUL */
#else
    (void)title;
#endif
    return 0x5A5A5A5A; /* not read */
}

EXPORT int32_t CALL opstat_terminate(int32_t station) {
    (void)station;
    return -12345; /* not read */
}

EXPORT int32_t CALL opstat_download(int16_t up, int16_t down, int16_t esc, int16_t menu, int16_t dir, int16_t jog,
                               int16_t local, int16_t run, int16_t stop, int16_t disp) {
    (void)up, (void)down, (void)esc, (void)menu, (void)dir, (void)jog, (void)local, (void)run, (void)stop, (void)disp;
    ++downloadCalls;
    return (int32_t)0xDEADBEEFu; /* not read */
}

#if defined(HOSTILE_HIGH_BITS)
EXPORT int32_t
#else
EXPORT int16_t
#endif
CALL opstat_upload(int16_t *health_on, int16_t *health_flash, int16_t *fwd_on, int16_t *fwd_flash, int16_t *rev_on,
              int16_t *rev_flash, int16_t *run_on, int16_t *run_flash, int16_t *stop_on, int16_t *stop_flash,
              int16_t *seq_on, int16_t *seq_flash, int16_t *ref_on, int16_t *ref_flash, char *line1, char *line2) {
    int16_t *words[14] = {health_on, health_flash, fwd_on, fwd_flash, rev_on,   rev_flash, run_on,
                          run_flash, stop_on,      stop_flash, seq_on, seq_flash, ref_on,  ref_flash};
    const int32_t call = uploadCalls++;
    (void)words;
    (void)call;
#if defined(HOSTILE_FULL_LINES)
    memcpy(line1, "ABCDEFGHIJKLMNOPQRST", 20);
    for (int i = 0; i < 20; ++i) line2[i] = (char)(0xEC + (i % 20)); /* 0xEC .. 0xFF */
    /* A C library trusts the panel's promise of a NUL after each buffer. */
    lengthOfLine1 = strlen(line1);
    lengthOfLine2 = strlen(line2);
#elif defined(HOSTILE_HIGH_BITS)
    /* A new line 1 on every call, so every refresh shows. */
    line1[0] = 'C';
    line1[1] = (char)('0' + (call / 10) % 10);
    line1[2] = (char)('0' + call % 10);
    line2[0] = 'x';
    return hostile_results[call % hostile_result_count];
#elif defined(HOSTILE_GARBAGE_LEDS)
    /* A fixed linear congruential stream, so runs repeat exactly. */
    static uint32_t seed = 12345u;
    seed = seed * 1103515245u + 12345u;
    lastMask = (uint16_t)((seed >> 8) & 0x3FFFu);
    for (int i = 0; i < 14; ++i) {
        seed = seed * 1103515245u + 12345u;
        lastWords[i] = (int16_t)(uint16_t)(seed >> 16);
        if (lastMask & (1u << i)) *words[i] = lastWords[i];
    }
    memcpy(line1, "GARBAGE LEDS", 12);
    line2[0] = (char)('A' + call % 26);
#else
    (void)line1;
    (void)line2;
#endif
    return 0;
}
