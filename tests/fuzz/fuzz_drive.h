/*
 * The fuzzed drive library's script: the fuzz harness fills in what the
 * next opstat_initialise and opstat_upload write, and reads back what the
 * library saw. Plain C, shared by the library and the harness.
 */
#ifndef OPSTATION_FUZZ_DRIVE_H
#define OPSTATION_FUZZ_DRIVE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct FuzzDriveScript {
    /* what opstat_upload writes */
    uint16_t writeMask;      /* bit i: write words[i] through pointer i */
    int16_t words[14];       /* library order: health, fwd, rev, run, stop, seq, ref */
    uint8_t line1Length;     /* bytes written into line 1, 0..20 */
    uint8_t line2Length;
    unsigned char line1[20];
    unsigned char line2[20];
    int32_t result;          /* returned whole, upper 16 bits included */

    /* what opstat_initialise writes */
    uint8_t titleLength;     /* 0..128 */
    unsigned char title[128];

    /* what the library saw */
    int32_t initialiseCalls;
    int32_t downloadCalls;
    int32_t uploadCalls;
    int32_t station;
    int16_t downloaded[10];
    int16_t wordsOnEntry[14];
    unsigned char titleOnEntry[129]; /* the buffer and the byte after it */
    unsigned char line1OnEntry[21];
    unsigned char line2OnEntry[21];
};

typedef struct FuzzDriveScript *(*FuzzDriveScriptAccess)(void);

#ifdef __cplusplus
}
#endif

#endif
