/*
 * Alias Manager: alias records that find a file or folder again, also from
 * another process.
 *
 * An AliasHandle is a Memory Manager handle whose bytes are an alias record
 * (the caller disposes of it with DisposeHandle). The record is path-based,
 * all fields big-endian:
 *
 *   offset  size  field
 *   0       4     userType (OSType; 0 when made)
 *   4       2     aliasSize (the whole record's size in bytes)
 *   6       2     version (1)
 *   8       4     magic 'QLal'
 *   12      2     flags (bit 0: the target is a folder; bit 1: minimal;
 *                 bit 2: the target did not exist when the record was made)
 *   14      2     reserved (0)
 *   16      8     device of the target
 *   24      8     inode of the target
 *   32      2+n   the target's absolute POSIX path (length, UTF-8 bytes)
 *   ...     2+n   the "from" file's absolute path (may be empty)
 *   ...     2+n   the target's volume name (Mac Roman; empty when minimal)
 *   ...     2+n   the target's name (Mac Roman, as in its FSSpec)
 *
 * The first six bytes are laid out as the AliasRecord header below, but in
 * big-endian byte order: read them with GetAliasSize and GetAliasUserType.
 *
 * Resolution looks the path up first; when it is gone and a "from" file is
 * given that differs from the recorded one, the target's path relative to
 * the recorded "from" folder is tried from the new "from" folder. A target
 * found with another device or inode than recorded counts as changed: the
 * record is updated and *wasChanged is true. A missing target is fnfErr.
 *
 *     AliasHandle alias;
 *     OSErr err = FSNewAlias(NULL, &target, &alias);
 *     Boolean changed;
 *     if (err == noErr) err = FSResolveAlias(NULL, alias, &found, &changed);
 *     DisposeHandle((Handle)alias);
 */
#ifndef PLATFORM_ALIASES_ALIASES_H
#define PLATFORM_ALIASES_ALIASES_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"
#include "platform/files/Files.h"

PLATFORM_BEGIN_DECLS

#pragma pack(push, 2)
typedef struct AliasRecord {
  OSType userType;   /* big-endian in the record's bytes */
  UInt16 aliasSize;  /* big-endian in the record's bytes */
} AliasRecord;
#pragma pack(pop)
typedef AliasRecord *AliasPtr;
typedef AliasPtr *AliasHandle;

typedef FSSpec *FSSpecArrayPtr;
typedef Boolean (*AliasFilterProcPtr)(CInfoPBPtr cpbPtr, Boolean *quitFlag, Ptr myDataPtr);
typedef AliasFilterProcPtr AliasFilterUPP;

/* MatchAlias rules (accepted; matching is always by path, without user
 * interaction). */
enum {
  kARMMountVol = 0x00000001,
  kARMNoUI = 0x00000002,
  kARMMultVols = 0x00000008,
  kARMSearch = 0x00000100,
  kARMSearchMore = 0x00000200,
  kARMSearchRelFirst = 0x00000400,
  kARMTryFileIDFirst = 0x00000800
};

enum { kQLAliasRecordVersion = 1 };

/* New records. The target must exist (its File Manager error otherwise,
 * e.g. fnfErr); fromFile may be NULL (no relative search later). paramErr
 * for a NULL target or result; memFullErr. *alias is written only on
 * success. The Minimal forms leave out the volume name. */
PLATFORM_API OSErr NewAlias(const FSSpec *fromFile, const FSSpec *target, AliasHandle *alias) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr NewAliasMinimal(const FSSpec *target, AliasHandle *alias) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSNewAlias(const FSRef *fromFile, const FSRef *target, AliasHandle *inAlias) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSNewAliasMinimal(const FSRef *target, AliasHandle *inAlias) PLATFORM_NOEXCEPT;
/* A minimal record from a full path: an absolute POSIX path (starting with
 * '/', UTF-8), or a colon-separated path "Volume:folder:name" in Mac Roman.
 * The target need not exist, but its folder must (dirNFErr otherwise, or
 * nsvErr for an unknown volume). zoneName and serverName are ignored. */
PLATFORM_API OSErr NewAliasMinimalFromFullPath(SInt16 fullPathLength, const void *fullPath,
                                               const unsigned char *zoneName, ConstStr31Param serverName,
                                               AliasHandle *alias) PLATFORM_NOEXCEPT;

/* Resolution (see above). fromFile may be NULL; wasChanged may be NULL.
 * Errors: paramErr for a NULL alias or target and for a record that is not
 * a well-formed alias record of this format (every length is checked),
 * fnfErr for a missing target, and File Manager errors. FSResolveAlias
 * writes *target only on success. ResolveAlias, when only the target item
 * is missing but its folder exists, writes the FSSpec that names it and
 * returns fnfErr (so that a caller can create it). */
PLATFORM_API OSErr FSResolveAlias(const FSRef *fromFile, AliasHandle alias, FSRef *target,
                                  Boolean *wasChanged) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr ResolveAlias(const FSSpec *fromFile, AliasHandle alias, FSSpec *target,
                                Boolean *wasChanged) PLATFORM_NOEXCEPT;
/* Resolution without updating the record: *aliasCount on entry is the
 * room in aliasList (at least 1), on exit the number found (0 or 1);
 * *needsUpdate tells whether the record would change. The filter is not
 * called. */
PLATFORM_API OSErr MatchAlias(const FSSpec *fromFile, UInt32 rulesMask, AliasHandle alias,
                              SInt16 *aliasCount, FSSpecArrayPtr aliasList, Boolean *needsUpdate,
                              AliasFilterUPP aliasFilter, void *yourDataPtr) PLATFORM_NOEXCEPT;
/* Rewrites the record for target (which must exist); *wasChanged tells
 * whether the record's bytes changed. The userType is kept. */
PLATFORM_API OSErr UpdateAlias(const FSSpec *fromFile, const FSSpec *target, AliasHandle alias,
                               Boolean *wasChanged) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSUpdateAlias(const FSRef *fromFile, const FSRef *target, AliasHandle alias,
                                 Boolean *wasChanged) PLATFORM_NOEXCEPT;

/* Header accessors (the bytes are big-endian). 0 for NULL or a handle too
 * short to hold the header. */
PLATFORM_API UInt16 GetAliasSize(AliasHandle alias) PLATFORM_NOEXCEPT;
PLATFORM_API OSType GetAliasUserType(AliasHandle alias) PLATFORM_NOEXCEPT;
PLATFORM_API void SetAliasUserType(AliasHandle alias, OSType userType) PLATFORM_NOEXCEPT;

/* Alias records are plain handles: the Memory Manager's live-handle count
 * covers them. */

PLATFORM_END_DECLS

#endif
