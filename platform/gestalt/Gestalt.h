/*
 * Gestalt: a table of selectors and answers describing what this platform
 * really provides. Tests may change answers with the hooks below.
 *
 *     SInt32 fs;
 *     if (Gestalt(gestaltFSAttr, &fs) == noErr && (fs & (1 << gestaltHasHFSPlusAPIs))) ...
 */
#ifndef PLATFORM_GESTALT_GESTALT_H
#define PLATFORM_GESTALT_GESTALT_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"

PLATFORM_BEGIN_DECLS

enum {
  gestaltFSAttr = QL_FOURCC('f', 's', ' ', ' '),
  gestaltHasFSSpecCalls = 1,
  gestaltHasHFSPlusAPIs = 12,
  gestaltSystemVersion = QL_FOURCC('s', 'y', 's', 'v')
};

/* Answers selector into *response: noErr, or gestaltUndefSelectorErr for
 * a selector the table lacks (then *response is not written), paramErr for
 * a null response. */
PLATFORM_API OSErr Gestalt(OSType selector, SInt32 *response) PLATFORM_NOEXCEPT;

/* ---- Test hooks ---------------------------------------------------------*/
PLATFORM_API void PlatformGestaltSet(OSType selector, SInt32 response) PLATFORM_NOEXCEPT;
PLATFORM_API void PlatformGestaltRemove(OSType selector) PLATFORM_NOEXCEPT;
/* Restores the platform's own answers. */
PLATFORM_API void PlatformGestaltReset(void) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
