/*
 * What the ABI drive DLL (abi_drive.c, 32-bit Windows) saw in each call,
 * read back by its test through abi_record().
 */
#ifndef OPSTATION_ABI_RECORD_H
#define OPSTATION_ABI_RECORD_H

#include <stdint.h>

#define ABI_MAX_CALLS 1024

struct AbiRecord {
    uint32_t initialiseSlots[2]; /* the whole 32-bit argument slots */
    int titleWasNul;             /* 128 NULs and the one after them */
    uint32_t terminateSlot;

    int32_t downloads;
    uint32_t downloadSlots[ABI_MAX_CALLS][10];
    int16_t downloadKeys[ABI_MAX_CALLS][10]; /* as the int16_t parameters read them */
    uintptr_t downloadFrames[ABI_MAX_CALLS]; /* the callee's frame address */

    int32_t uploads;
    uint32_t uploadSlots[16]; /* of the last upload */
    int32_t nulLineUploads;   /* uploads whose two lines held 20 NULs and the one after */
    uintptr_t uploadFrames[ABI_MAX_CALLS];
};

typedef struct AbiRecord *(*AbiRecordAccess)(void);

#endif
