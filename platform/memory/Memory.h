/*
 * Memory Manager: relocatable blocks (handles), non-relocatable blocks
 * (pointers), two zones (the application heap and temporary memory) with
 * byte accounting and settable limits, and MemError().
 *
 * Purgeable handles (HPurge) that are not locked are emptied (as
 * EmptyHandle) when their zone is too short for an allocation, and by
 * MaxMem; nothing else purges. Lock a purgeable handle (or HNoPurge it)
 * while a pointer into its block is in use.
 *
 * A Handle points to a master pointer that never moves; the block behind it
 * may move when an unlocked handle grows. A locked handle never moves: a
 * growth beyond its capacity fails with memFullErr. Growth is amortised.
 *
 *     Handle h = NewHandle(16);
 *     if (h == NULL) return MemError();      // memFullErr
 *     SetHandleSize(h, 32);                   // *h may change
 *     DisposeHandle(h);
 *
 * Every call sets MemError() (per thread): noErr on success.
 */
#ifndef PLATFORM_MEMORY_MEMORY_H
#define PLATFORM_MEMORY_MEMORY_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"

PLATFORM_BEGIN_DECLS

typedef SInt8 SignedByte;
typedef struct Zone *THz;

/* HGetState bits. */
enum {
  kHandleLockedMask = 0x80,
  kHandlePurgeableMask = 0x40,
  kHandleIsResourceMask = 0x20
};

/* Result of the last Memory Manager call on this thread. */
PLATFORM_API OSErr MemError(void) PLATFORM_NOEXCEPT;

/* Handles. NewHandle and its forms return NULL on failure (MemError says
 * why). TempNewHandle comes from temporary memory and reports through
 * resultCode (may be NULL) as well as MemError(). */
PLATFORM_API Handle NewHandle(Size byteCount) PLATFORM_NOEXCEPT;
PLATFORM_API Handle NewHandleClear(Size byteCount) PLATFORM_NOEXCEPT;
PLATFORM_API Handle NewEmptyHandle(void) PLATFORM_NOEXCEPT;
PLATFORM_API Handle TempNewHandle(Size byteCount, OSErr *resultCode) PLATFORM_NOEXCEPT;
/* Disposes of h (NULL is accepted and sets nilHandleErr's absence: noErr). */
PLATFORM_API void DisposeHandle(Handle h) PLATFORM_NOEXCEPT;
/* The logical size; 0 and MemError() nilHandleErr for NULL or an empty
 * (purged) handle is reported as 0 with noErr. */
PLATFORM_API Size GetHandleSize(Handle h) PLATFORM_NOEXCEPT;
/* Resizes h, keeping its contents up to the smaller size. New bytes are
 * undefined. A locked handle that needs more than its capacity fails with
 * memFullErr and is left as it was; a negative size is memFullErr. */
PLATFORM_API void SetHandleSize(Handle h, Size newSize) PLATFORM_NOEXCEPT;
PLATFORM_API void HLock(Handle h) PLATFORM_NOEXCEPT;
PLATFORM_API void HUnlock(Handle h) PLATFORM_NOEXCEPT;
PLATFORM_API void HPurge(Handle h) PLATFORM_NOEXCEPT;
PLATFORM_API void HNoPurge(Handle h) PLATFORM_NOEXCEPT;
PLATFORM_API void HSetRBit(Handle h) PLATFORM_NOEXCEPT;
PLATFORM_API void HClrRBit(Handle h) PLATFORM_NOEXCEPT;
PLATFORM_API SignedByte HGetState(Handle h) PLATFORM_NOEXCEPT;
PLATFORM_API void HSetState(Handle h, SignedByte flags) PLATFORM_NOEXCEPT;
/* Frees the block but keeps the master pointer (set to NULL). */
PLATFORM_API void EmptyHandle(Handle h) PLATFORM_NOEXCEPT;
/* Gives an (empty or full) handle a new block of logicalSize bytes. */
PLATFORM_API void ReallocateHandle(Handle h, Size logicalSize) PLATFORM_NOEXCEPT;
/* The handle whose block starts at p, or NULL (MemError memWZErr). */
PLATFORM_API Handle RecoverHandle(Ptr p) PLATFORM_NOEXCEPT;
/* The zone a handle's block belongs to. */
PLATFORM_API THz HandleZone(Handle h) PLATFORM_NOEXCEPT;
PLATFORM_API THz ApplicationZone(void) PLATFORM_NOEXCEPT;
PLATFORM_API THz TempZone(void) PLATFORM_NOEXCEPT;
/* The current zone: NewHandle, NewHandleClear, NewPtr and NewPtrClear
 * allocate from it, and FreeMem, MaxBlock, MaxMem and PurgeSpace describe
 * it. It is the application heap until SetZone changes it. SetZone accepts
 * ApplicationZone() or TempZone(); anything else sets MemError() memAZErr
 * and changes nothing. This platform has one heap for the system and the
 * application: SystemZone() is ApplicationZone(). */
PLATFORM_API THz GetZone(void) PLATFORM_NOEXCEPT;
PLATFORM_API void SetZone(THz zone) PLATFORM_NOEXCEPT;
PLATFORM_API THz SystemZone(void) PLATFORM_NOEXCEPT;

/* Handle utilities. Each returns noErr or memFullErr/nilHandleErr. */
/* Replaces *theHndl with a new handle holding a copy of its contents. */
PLATFORM_API OSErr HandToHand(Handle *theHndl) PLATFORM_NOEXCEPT;
/* *dstHndl = a new handle holding size bytes from srcPtr. */
PLATFORM_API OSErr PtrToHand(const void *srcPtr, Handle *dstHndl, SInt32 size) PLATFORM_NOEXCEPT;
/* Resizes dstHndl to size and copies size bytes from srcPtr into it. */
PLATFORM_API OSErr PtrToXHand(const void *srcPtr, Handle dstHndl, SInt32 size) PLATFORM_NOEXCEPT;
/* Appends the contents of hand1 to hand2. */
PLATFORM_API OSErr HandAndHand(Handle hand1, Handle hand2) PLATFORM_NOEXCEPT;
/* Appends size bytes from ptr1 to hand2. */
PLATFORM_API OSErr PtrAndHand(const void *ptr1, Handle hand2, SInt32 size) PLATFORM_NOEXCEPT;
/* Searches h from offset for ptr1/len1 and replaces it with ptr2/len2.
 * Returns the offset after the replacement, or a negative value when the
 * target is not found.
 * Forms: ptr1 NULL replaces the len1 bytes at offset (a negative len1, or
 * a range reaching past the end: through the end; an offset past the end:
 * the end, so an insertion appends and a deletion removes nothing) with
 * ptr2/len2 (ptr2 NULL: nothing is inserted). ptr1 non-NULL searches for
 * it from offset (an offset past the end is paramErr); ptr2 NULL then only
 * reports where it was found. ptr2 may point into h itself. */
PLATFORM_API SInt32 Munger(Handle h, SInt32 offset, const void *ptr1, SInt32 len1,
                           const void *ptr2, SInt32 len2) PLATFORM_NOEXCEPT;

/* Non-relocatable blocks. */
PLATFORM_API Ptr NewPtr(Size byteCount) PLATFORM_NOEXCEPT;
PLATFORM_API Ptr NewPtrClear(Size byteCount) PLATFORM_NOEXCEPT;
PLATFORM_API void DisposePtr(Ptr p) PLATFORM_NOEXCEPT;
PLATFORM_API Size GetPtrSize(Ptr p) PLATFORM_NOEXCEPT;
/* A pointer block never moves: growth beyond its capacity is memFullErr. */
PLATFORM_API void SetPtrSize(Ptr p, Size newSize) PLATFORM_NOEXCEPT;

/* Block moves (memmove semantics: overlapping ranges are fine). */
PLATFORM_API void BlockMove(const void *srcPtr, void *destPtr, Size byteCount) PLATFORM_NOEXCEPT;
PLATFORM_API void BlockMoveData(const void *srcPtr, void *destPtr, Size byteCount) PLATFORM_NOEXCEPT;
PLATFORM_API void BlockZero(void *destPtr, Size byteCount) PLATFORM_NOEXCEPT;

/* Zone statistics: bytes still available under the zone's limit. A zone
 * never fragments, so the free figure is also the largest block. */
PLATFORM_API SInt32 FreeMem(void) PLATFORM_NOEXCEPT;
PLATFORM_API Size MaxBlock(void) PLATFORM_NOEXCEPT;
/* Purges the current zone, then returns the largest block it can give;
 * *grow (may be NULL) receives 0. Purging empties every unlocked
 * purgeable handle of the zone (as EmptyHandle). A zone also purges itself
 * when it is too short for an allocation. */
PLATFORM_API Size MaxMem(Size *grow) PLATFORM_NOEXCEPT;
PLATFORM_API SInt32 TempFreeMem(void) PLATFORM_NOEXCEPT;
/* Largest block in temporary memory; *grow (may be NULL) receives 0. */
PLATFORM_API Size TempMaxMem(Size *grow) PLATFORM_NOEXCEPT;
/* What the current zone could give after a purge, without purging: *total
 * and *contig (each may be NULL) receive the free bytes plus the bytes held
 * by unlocked purgeable handles of the zone. */
PLATFORM_API void PurgeSpace(SInt32 *total, SInt32 *contig) PLATFORM_NOEXCEPT;

/* ---- Test hooks ---------------------------------------------------------
 * Zones: 0 is the application heap, 1 temporary memory. A limit is the
 * number of bytes the zone may hold in blocks at once; the default is
 * "unlimited" (INT32_MAX). */
enum { kPlatformApplicationZone = 0, kPlatformTemporaryZone = 1 };
PLATFORM_API void PlatformSetZoneLimit(int zone, SInt64 limitBytes) PLATFORM_NOEXCEPT;
PLATFORM_API SInt64 PlatformZoneBytesInUse(int zone) PLATFORM_NOEXCEPT;
/* Makes the n-th Memory Manager allocation from now on (counting from 1)
 * fail with memFullErr; 0 disarms. Allocations are every call that obtains
 * a new block: handle and pointer creation, growth of a handle or pointer
 * beyond its capacity, ReallocateHandle, and the handle utilities. */
PLATFORM_API void PlatformFailNthAllocation(UInt32 n) PLATFORM_NOEXCEPT;
/* True when the armed failure has been injected since it was armed. */
PLATFORM_API Boolean PlatformAllocationFailureInjected(void) PLATFORM_NOEXCEPT;
/* Number of live handles (including empty ones) and pointers. */
PLATFORM_API SInt32 PlatformLiveHandleCount(void) PLATFORM_NOEXCEPT;
PLATFORM_API SInt32 PlatformLivePtrCount(void) PLATFORM_NOEXCEPT;
/* When on, every growth of an unlocked handle moves its block, so stale
 * dereferenced handles are caught by AddressSanitizer. */
PLATFORM_API void PlatformSetAlwaysMoveOnGrowth(Boolean on) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
