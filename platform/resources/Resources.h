/*
 * Resource Manager: resource files. A file's resource fork lives in its
 * AppleDouble sidecar, in the classic format (a header, the resource data
 * and the resource map with its type list, reference lists and names; all
 * fields big-endian).
 *
 *     FSpCreateResFile(&spec, creator, type, smSystemScript);
 *     OSErr err = ResError();   // noErr, or why the fork could not be made
 */
#ifndef PLATFORM_RESOURCES_RESOURCES_H
#define PLATFORM_RESOURCES_RESOURCES_H

#include "platform/files/Files.h"

PLATFORM_BEGIN_DECLS

/* Gives the file an empty resource fork (286 bytes: the header and an empty
 * map), creating the file with the type and creator when it does not
 * exist. ResError afterwards: noErr; dupFNErr when the file already has a
 * non-empty resource fork; fLckdErr for a locked file; or the error of
 * creating the file or writing its sidecar. */
PLATFORM_API void FSpCreateResFile(const FSSpec *spec, OSType creator, OSType fileType,
                                   ScriptCode scriptTag) PLATFORM_NOEXCEPT;
PLATFORM_API void HCreateResFile(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName) PLATFORM_NOEXCEPT;
/* The result of the last Resource Manager call on this thread. */
PLATFORM_API OSErr ResError(void) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
