/*
 * Memory helpers of the toolbox library.
 *
 * Allocators: one way to obtain and release non-relocatable blocks from
 * different sources. An allocator is either one of six standard selectors
 * or a pointer to a MemAllocator record; MemAllocate and MemFree dispatch to
 * the record's functions. The fixed-size block pool is such a record: it
 * hands out blocks of one size from large chunks and keeps released blocks
 * on a free list.
 *
 *     FixedSizeBlockMemAllocator *pool;
 *     Ptr node;
 *     if (FixedSizeBlockMemAllocatorNew(48, 0, 0, &pool) != noErr) return memFullErr;
 *     if (MemAllocate((MemAllocatorRef)pool, kMemAllocateClear, 48, &node) == noErr)
 *       MemFree((MemAllocatorRef)pool, 0, node);
 *     FixedSizeBlockMemAllocatorDispose(pool);
 *
 * Handles: makers that try temporary memory first and fall back to the
 * application heap (or the other way round), handles as large as memory
 * allows, copies and conversions, and item arrays kept in a handle.
 *
 * Blocks: fill, set, clear, reverse, swap and compare bytes, binary search
 * with a caller comparator, compaction of an array of 32-bit values, page
 * table tests. None of these allocates or checks its pointers.
 *
 * Argument order: functions whose names begin with Mem take the byte count
 * first (MemFill(count-of-pattern, pattern, count, destination)), those
 * beginning with Block take the block first; BlockCompare takes the length
 * first.
 *
 * Results are OSErr/OSStatus codes: paramErr (-50) for a missing required
 * pointer, memFullErr (-108) when memory cannot be had, Memory Manager codes
 * passed through otherwise. Out-parameters are written only on success unless
 * a declaration says otherwise. No function disposes of a handle it was
 * given.
 */
#ifndef TOOLBOX_MEMORY_MEMORYTOOLBOX_H
#define TOOLBOX_MEMORY_MEMORYTOOLBOX_H

#include <stdint.h>

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"
#include "platform/memory/Memory.h"
#include "toolbox/common/Export.h"

QL_BEGIN_DECLS

/* ======================================================================
 * Allocators
 * ====================================================================== */

/* A pool allocation of a size other than the pool's block size. */
enum { kMemAllocatorWrongSizeErr = -23002 };

/* Flags given to MemAllocate and MemFree. kMemAllocateClear asks for a block
 * whose bytes are all zero; no other bit is defined. */
enum { kMemAllocateClear = 1 };

typedef struct MemAllocator MemAllocator;

/* Either a pointer to a MemAllocator (or to a record that begins like one,
 * such as a FixedSizeBlockMemAllocator) or one of the selectors below. */
typedef MemAllocator *MemAllocatorRef;

/* The standard allocators, named by small negative values in the pointer:
 *   kDefaultMemAllocator              NewPtr / NewPtrClear; DisposePtr
 *   kTempMemAllocator                 NewPtrTemp (zeroed on request);
 *                                     DisposePtrTemp
 *   kSystemMemAllocator,
 *   kPageableSystemMemAllocator       allocate: featureUnsupported;
 *                                     free: DisposePtr, noErr
 *   kResidentMemAllocator,
 *   kPhysicallyContiguousMemAllocator allocate and free: featureUnsupported
 * Allocation failure is memFullErr. Any other value at or below zero is no
 * allocator: MemAllocate and MemFree answer paramErr. */
#define kDefaultMemAllocator ((MemAllocatorRef)(intptr_t)0)
#define kTempMemAllocator ((MemAllocatorRef)(intptr_t)-1)
#define kSystemMemAllocator ((MemAllocatorRef)(intptr_t)-2)
#define kPageableSystemMemAllocator ((MemAllocatorRef)(intptr_t)-3)
#define kResidentMemAllocator ((MemAllocatorRef)(intptr_t)-4)
#define kPhysicallyContiguousMemAllocator ((MemAllocatorRef)(intptr_t)-5)

/* An allocate function: stores a new block of size bytes in *outBlock and
 * returns noErr, or returns an error. allocatorRef is the reference exactly
 * as given to MemAllocate (a selector stays a selector); refCon is the
 * record's refCon. */
typedef OSStatus (*MemAllocateProcPtr)(MemAllocatorRef allocatorRef, void *refCon, OptionBits flags,
                                       ByteCount size, Ptr *outBlock);
/* A free function: releases block. */
typedef OSStatus (*MemFreeProcPtr)(MemAllocatorRef allocatorRef, void *refCon, OptionBits flags,
                                   Ptr block);

/* The allocator record. refCon is handed unchanged to both functions. */
struct MemAllocator {
  MemAllocateProcPtr allocate;
  MemFreeProcPtr free;
  void *refCon;
};

/* The pool record. It begins with the MemAllocator fields, so a pool pointer
 * is itself a MemAllocatorRef. Read-only for callers.
 *   blockSize       bytes per block (at least 4); every request must ask
 *                   for exactly this many bytes
 *   blocksPerChunk  blocks carved from each chunk
 *   chunkList       newest chunk or NULL; each chunk is one temporary
 *                   pointer whose first 8 bytes link to the chunk made before
 *                   it, followed by blocksPerChunk blocks
 *   freeList        last released block or NULL; a free block's first 8
 *                   bytes link to the block released before it
 *   blocksCarved    blocks of the newest chunk handed out so far
 * Inside a chunk, blocks lie at a stride of blockSize rounded up to a
 * multiple of 8 (at least 8), so every block is aligned for a pointer. An
 * allocation takes the last released block, else the next block of the
 * newest chunk in address order, else makes a chunk. A block in use carries
 * no header: the caller owns all blockSize bytes. */
typedef struct FixedSizeBlockMemAllocator {
  MemAllocateProcPtr allocate;
  MemFreeProcPtr free;
  void *refCon; /* the record itself */
  UInt32 blockSize;
  UInt32 blocksPerChunk;
  Ptr chunkList;
  Ptr freeList;
  UInt32 blocksCarved;
} FixedSizeBlockMemAllocator;

/* Stores NULL in *outBlock, then asks allocatorRef's allocate function for
 * size bytes (flags: kMemAllocateClear or 0). On noErr *outBlock holds the
 * block; any other result is returned unchanged with *outBlock NULL.
 * Results: noErr, memFullErr, featureUnsupported (an allocator kind this
 * platform lacks), kMemAllocatorWrongSizeErr (a pool asked for another
 * size), paramErr (outBlock NULL, or allocatorRef neither a selector nor a
 * record), or a caller allocator's own codes. */
QL_EXPORT OSStatus MemAllocate(MemAllocatorRef allocatorRef, OptionBits flags, ByteCount size,
                               Ptr *outBlock) QL_NOEXCEPT;

/* Releases block through allocatorRef's free function and returns its
 * result. Pools and the default and temporary allocators accept NULL. */
QL_EXPORT OSStatus MemFree(MemAllocatorRef allocatorRef, OptionBits flags, Ptr block) QL_NOEXCEPT;

/* Makes a pool of blocks of blockSize bytes (1 to 3 become 4), carved
 * blocksPerChunk at a time (0 means 1024). flags is ignored. No chunk is made
 * until the first allocation. The pool record is a temporary pointer.
 * Results: noErr with *outAllocator set; paramErr when outAllocator is NULL;
 * memFullErr (and *outAllocator untouched) when the record cannot be had or
 * a chunk of blocksPerChunk blocks would not fit in one block (more than
 * 2^31 - 1 bytes). */
QL_EXPORT OSStatus FixedSizeBlockMemAllocatorNew(ByteCount blockSize, ItemCount blocksPerChunk,
                                                 OptionBits flags,
                                                 FixedSizeBlockMemAllocator **outAllocator) QL_NOEXCEPT;

/* Releases every chunk of the pool, then the pool itself. Blocks still in
 * use become invalid. NULL is accepted. Always noErr. */
QL_EXPORT OSStatus FixedSizeBlockMemAllocatorDispose(FixedSizeBlockMemAllocator *allocator) QL_NOEXCEPT;

/* A non-relocatable block from temporary memory: a locked temporary handle's
 * block. NULL when temporary memory cannot give size bytes. Release it with
 * DisposePtrTemp (never DisposePtr). */
QL_EXPORT Ptr NewPtrTemp(Size size) QL_NOEXCEPT;
/* Releases a NewPtrTemp block; NULL or any other pointer is ignored. */
QL_EXPORT void DisposePtrTemp(Ptr ptr) QL_NOEXCEPT;

/* The platform's GetZone, SetZone and SystemZone, looked up by name on first
 * use (a failed look-up is retried on the next call). When the platform
 * lacks them, GetZoneCompat and SystemZoneCompat return NULL and
 * SetZoneCompat does nothing. */
QL_EXPORT THz GetZoneCompat(void) QL_NOEXCEPT;
QL_EXPORT void SetZoneCompat(THz zone) QL_NOEXCEPT;
QL_EXPORT THz SystemZoneCompat(void) QL_NOEXCEPT;
/* There is no pageable system zone: always NULL. */
QL_EXPORT THz GetPageableSystemZone(void) QL_NOEXCEPT;

/* ======================================================================
 * Handles and available memory
 *
 * "Temp first": TempNewHandle is tried, and NewHandle only when it fails.
 * Sizes are bytes; a negative size never allocates.
 * ====================================================================== */

/* The largest size not above wantedSize that leaves reserve bytes free.
 * The available figure is TempMaxMem with useTemp; otherwise MaxBlock, then
 * (when that is below wantedSize + reserve) PurgeSpace's contiguous figure,
 * then (when still below and tryHard is set) MaxMem, which purges the heap.
 * The result is between 0 and wantedSize: it is 0 when no more than reserve
 * bytes are available. Negative arguments count as 0, and the sum does not
 * overflow. */
QL_EXPORT Size GetMaximumHandleSize(Size wantedSize, Size reserve, Boolean tryHard,
                                    Boolean useTemp) QL_NOEXCEPT;

/* Makes a handle of GetMaximumHandleSize(*ioSize, reserve, tryHard, useTemp)
 * bytes, temp first with useTemp, else with NewHandle.
 * Results: noErr with *outHandle and *ioSize (the size made) set; paramErr
 * when a pointer is NULL; memFullErr when nothing can be had for a positive
 * *ioSize (nothing is made); the Memory Manager's error otherwise. */
QL_EXPORT OSErr NewMaximumHandle(Handle *outHandle, Size *ioSize, Size reserve, Boolean tryHard,
                                 Boolean useTemp) QL_NOEXCEPT;

/* Makes a handle for as many quantum-byte items as memory allows, up to
 * *ioCount: GetMaximumHandleSize(quantum * *ioCount, ...) rounded down to a
 * multiple of quantum (the product is computed without overflow and capped
 * at the largest block size). Temp first with useTemp, else NewHandleClear.
 * Results: noErr with *outHandle set and *ioCount = items made room for;
 * paramErr for a NULL pointer or a quantum of 0; memFullErr when not one
 * item fits (for a positive *ioCount); the Memory Manager's error. */
QL_EXPORT OSErr NewMaximumQuantizedHandle(Handle *outHandle, UInt32 quantum, UInt32 *ioCount,
                                          Size reserve, Boolean tryHard, Boolean useTemp) QL_NOEXCEPT;

/* MaxBlock() >= size. */
QL_EXPORT Boolean IsMemoryAvailable(Size size) QL_NOEXCEPT;

/* Whether size bytes can be had after purging. With tempFirst (and not
 * noTemp): TempMaxMem >= size, else (unless tempOnly) MaxMem >= size.
 * Otherwise: MaxMem >= size, else (unless noTemp) TempMaxMem >= size.
 * MaxMem purges the application heap. */
QL_EXPORT Boolean IsMemoryAvailableAfterTryingHard(Size size, Boolean noTemp, Boolean tempOnly,
                                                   Boolean tempFirst) QL_NOEXCEPT;

/* Purges the application heap (MaxMem) and returns the largest block then
 * available. */
QL_EXPORT Size CompactAndPurgeHeap(void) QL_NOEXCEPT;

/* preferTemp: TempNewHandle, then NewHandle on failure; otherwise NewHandle,
 * then TempNewHandle on failure. *outHandle receives whatever the last
 * attempt returned (NULL on failure) and its error is the result; paramErr
 * (nothing written) when outHandle is NULL. */
QL_EXPORT OSErr NewTempOrRegularHandle(Size size, Boolean preferTemp, Handle *outHandle) QL_NOEXCEPT;

/* A temporary-memory handle only. noErr and *outHandle, or memFullErr;
 * paramErr when outHandle is NULL. */
QL_EXPORT OSErr NewHandleTemp(Size size, Handle *outHandle) QL_NOEXCEPT;

/* Tries NewHandleTemp with each of the count sizes that follow, in order,
 * and stops at the first success. Each size is read as a uint32_t (pass
 * uint32_t values; a size above 2^31 - 1 always fails).
 * Results: noErr with *outHandle and *outSize (may be NULL) set to the size
 * that succeeded; paramErr when outHandle is NULL, count is 0, or a size of
 * 0 is reached before any success; memFullErr when every size fails. */
QL_EXPORT OSErr NewHandleTempOrLess(Handle *outHandle, Size *outSize, UInt32 count, ...) QL_NOEXCEPT;

/* A handle of size bytes, temp first; NULL on failure. */
QL_EXPORT Handle NewAnyHandle(Size size) QL_NOEXCEPT;

/* A handle of size bytes, temp first. paramErr when outHandle is NULL;
 * memFullErr (or the Memory Manager's error) on failure; else noErr. */
QL_EXPORT OSErr MemAllocHandle(Size size, Handle *outHandle) QL_NOEXCEPT;

/* A new handle holding length bytes from source, temp first. paramErr when
 * outHandle is NULL, length negative, or source NULL with a positive length;
 * memFullErr when neither kind of memory can give it. */
QL_EXPORT OSErr PtrToAnyHand(const void *source, Handle *outHandle, Size length) QL_NOEXCEPT;

/* As PtrToAnyHand, with temporary memory only. */
QL_EXPORT OSErr PtrToTempHand(const void *source, Handle *outHandle, Size length) QL_NOEXCEPT;

/* Replaces *ioHandle with a new temporary-memory handle holding a copy of
 * its contents. The original handle is not disposed of (the caller keeps
 * its own reference to it). paramErr when ioHandle or *ioHandle is NULL; the
 * Memory Manager's error (nothing written) on failure. */
QL_EXPORT OSErr HandToTempHand(Handle *ioHandle) QL_NOEXCEPT;

/* As HandToTempHand, trying temporary memory and the application heap
 * (HandToHand) in the order preferTemp gives; the error of the last attempt
 * is returned. */
QL_EXPORT OSErr HandToHandAndAllowTempMem(Handle *ioHandle, Boolean preferTemp) QL_NOEXCEPT;

/* Makes destination a copy of source: resizes it (only when the sizes
 * differ) and copies the bytes. paramErr when either is NULL; the Memory
 * Manager's error otherwise (destination unchanged when the resize fails). */
QL_EXPORT OSErr HandToXHand(Handle source, Handle destination) QL_NOEXCEPT;

/* Resizes h by delta bytes (negative shrinks). On success, with clearNew and
 * delta > 0, the delta new bytes are zeroed, and *outOldSize (may be NULL)
 * receives the old size. A locked handle that must grow beyond its room
 * fails without moving. Result: the Memory Manager's error (memFullErr for
 * a size below 0 or above 2^31 - 1); on error nothing else happens. */
QL_EXPORT OSErr AdjustHandleSize(Handle h, Size delta, Boolean clearNew, Size *outOldSize) QL_NOEXCEPT;

/* Locks h and returns its state from before (for HSetState). */
QL_EXPORT SignedByte HGetStateAndLock(Handle h) QL_NOEXCEPT;

/* Inserts count items of itemSize bytes from items at item index (an index
 * past the end appends). items may point into h. Result: the Memory
 * Manager's error (memFullErr when the handle would exceed 2^31 - 1 bytes,
 * paramErr for a negative itemSize or NULL items with items to insert). */
QL_EXPORT OSErr AddItemsToHandle(Handle h, Size itemSize, UInt32 index, UInt32 count,
                                 const void *items) QL_NOEXCEPT;

/* Removes count items of itemSize bytes from item index, clipped to the
 * handle: items past the end are not there to remove. Result: the Memory
 * Manager's error (paramErr for a negative itemSize). */
QL_EXPORT OSErr RemoveItemsFromHandle(Handle h, Size itemSize, UInt32 index, UInt32 count) QL_NOEXCEPT;

/* A handle of size bytes that leaves reserve bytes free: from temporary
 * memory when it has size + reserve bytes, else from the application heap
 * when that has them, else the whole of the larger of the two (reserve not
 * kept). *outSize (may be NULL) receives the size asked for. NULL on failure,
 * when size or reserve is negative, or when both are exhausted. */
QL_EXPORT Handle NewHandleMax(Size size, Size reserve, Size *outSize) QL_NOEXCEPT;

/* ======================================================================
 * Blocks and arrays
 * ====================================================================== */

/* destination[j] = pattern[j % patternLength] for j < count; a patternLength
 * of 0 repeats pattern[0]. */
QL_EXPORT void MemFill(UInt32 patternLength, const void *pattern, UInt32 count,
                       void *destination) QL_NOEXCEPT;
QL_EXPORT void BlockFill(const void *pattern, UInt32 patternLength, void *destination,
                         UInt32 destinationLength) QL_NOEXCEPT;
/* Fills with the repeating bytes 0x68 0xF1 0x68 0xF1 (easy to spot). */
QL_EXPORT void MemTrash(UInt32 count, void *destination) QL_NOEXCEPT;
QL_EXPORT void BlockSet(void *block, UInt32 length, UInt8 value) QL_NOEXCEPT;
QL_EXPORT void BlockClear(void *block, UInt32 length) QL_NOEXCEPT;
/* Reverse the byte order in place. */
QL_EXPORT void MemReverse(UInt32 count, void *block) QL_NOEXCEPT;
QL_EXPORT void BlockReverse(void *block, UInt32 length) QL_NOEXCEPT;
/* destination[count - 1 - i] = source[i]; the blocks must not overlap. */
QL_EXPORT void MemReverseCopy(UInt32 count, const void *source, void *destination) QL_NOEXCEPT;
/* Exchanges two non-overlapping blocks. */
QL_EXPORT void BlockSwap(void *blockA, void *blockB, UInt32 length) QL_NOEXCEPT;
/* Exchanges elements i and j of an array. */
QL_EXPORT void BlockSwapIndexed(void *base, UInt32 elementSize, UInt32 i, UInt32 j) QL_NOEXCEPT;
/* Reverses the order of count elements; each element's bytes keep their
 * order. */
QL_EXPORT void BlockReverseIndexed(void *base, UInt32 elementSize, UInt32 count) QL_NOEXCEPT;
/* 1 when the length bytes of the two blocks are equal, else 0. */
QL_EXPORT Boolean BlockCompare(UInt32 length, const void *blockA, const void *blockB) QL_NOEXCEPT;

/* Compares a key with one element: negative when the key sorts before the
 * element, 0 when they match, positive when after. keyA and keyB are the
 * caller's values given to BinarySearch (typically a key and its length). */
typedef SInt32 (*BinarySearchCompareProcPtr)(void *refCon, const void *keyA, uintptr_t keyB,
                                             const void *element, UInt32 elementSize);

/* Searches count elements of elementSize bytes at base, sorted in the
 * comparator's order. Element 0 is compared first (a key before it is not
 * there); then elements 1 to count - 1 are bisected. Returns a matching
 * element or NULL (also for a NULL base or comparator, or a zero count or
 * size). */
QL_EXPORT void *BinarySearch(const void *base, UInt32 count, UInt32 elementSize, const void *keyA,
                             uintptr_t keyB, BinarySearchCompareProcPtr comparator,
                             void *refCon) QL_NOEXCEPT;

/* Moves the non-zero values to the front, keeping their order, and zeroes
 * the rest. Returns the number of non-zero values. */
QL_EXPORT UInt32 CollapseArray(UInt32 count, UInt32 *array) QL_NOEXCEPT;

/* Page tables: one 32-bit address per page. The previous page is contiguous
 * when table[index - 1] and table[index], each rounded down to a multiple of
 * pageSize, lie exactly one page apart (false for index 0 or pageSize 0).
 * The next page is contiguous when table[index] rounded down, plus pageSize,
 * equals table[index + 1] (false for pageSize 0). */
QL_EXPORT Boolean IsPreviousPageContiguous(const UInt32 *pageTable, UInt32 index,
                                           UInt32 pageSize) QL_NOEXCEPT;
QL_EXPORT Boolean IsNextPageContiguous(const UInt32 *pageTable, UInt32 index,
                                       UInt32 pageSize) QL_NOEXCEPT;

/* Stores the processor's level-1 data-cache line size in *outSize (may be
 * NULL): the system's figure, or 64 when the system does not say. Always
 * noErr. */
QL_EXPORT OSErr CalculateCacheLineSize(UInt32 *outSize) QL_NOEXCEPT;

QL_END_DECLS

#endif
