/*
 * For a drive library that is a bridge to another (a Windows drive library
 * run elsewhere, say): its failures happen out of its own reach, and the
 * four entry points have no way to report them. Such a library may export
 * this function as well. After every call the drive host asks it; a
 * non-null answer is the failure of that call, a whole message naming the
 * library behind the bridge, the entry point and the cause, and the panel
 * stops with it as with any other failure of the library.
 */
#ifndef OPSTATION_BRIDGE_API_H
#define OPSTATION_BRIDGE_API_H

#include "opstation/drive_api.h"

#ifdef __cplusplus
extern "C" {
#endif

OPSTAT_EXPORT const char *opstation_bridge_failure(void);

#ifdef __cplusplus
}
#endif

#endif /* OPSTATION_BRIDGE_API_H */
