// Allocators: the six standard allocator records behind their selectors,
// dispatch through MemAllocate/MemFree, the fixed-size block pool, the
// temporary-pointer pair and the zone look-ups.

#include <dlfcn.h>

#include <cstdint>
#include <cstring>

#include "toolbox/memory/MemoryToolbox.h"

namespace {

// ---- Standard allocators -----------------------------------------------

OSStatus DefaultMemAllocate(MemAllocatorRef, void *, OptionBits flags, ByteCount size, Ptr *outBlock) {
  if (size > ByteCount(INT32_MAX))
    return memFullErr;
  Ptr p = (flags & kMemAllocateClear) ? NewPtrClear(Size(size)) : NewPtr(Size(size));
  if (p == nullptr)
    return memFullErr;
  *outBlock = p;
  return noErr;
}

OSStatus DefaultMemFree(MemAllocatorRef, void *, OptionBits, Ptr block) {
  DisposePtr(block);
  return noErr;
}

OSStatus TempMemAllocate(MemAllocatorRef, void *, OptionBits flags, ByteCount size, Ptr *outBlock) {
  if (size > ByteCount(INT32_MAX))
    return memFullErr;
  Ptr p = NewPtrTemp(Size(size));
  if (p == nullptr)
    return memFullErr;
  if (flags & kMemAllocateClear)
    std::memset(p, 0, size);
  *outBlock = p;
  return noErr;
}

OSStatus TempMemFree(MemAllocatorRef, void *, OptionBits, Ptr block) {
  DisposePtrTemp(block);
  return noErr;
}

// This platform has no separate system, pageable, resident or physically
// contiguous memory. System and pageable blocks would have been ordinary
// pointers, so their free functions still release one.
OSStatus SystemMemAllocate(MemAllocatorRef, void *, OptionBits, ByteCount, Ptr *) { return featureUnsupported; }
OSStatus SystemMemFree(MemAllocatorRef, void *, OptionBits, Ptr block) {
  DisposePtr(block);
  return noErr;
}
OSStatus PageableSystemMemAllocate(MemAllocatorRef, void *, OptionBits, ByteCount, Ptr *) {
  return featureUnsupported;
}
OSStatus PageableSystemMemFree(MemAllocatorRef, void *, OptionBits, Ptr block) {
  DisposePtr(block);
  return noErr;
}
OSStatus ResidentMemAllocate(MemAllocatorRef, void *, OptionBits, ByteCount, Ptr *) { return featureUnsupported; }
OSStatus ResidentMemFree(MemAllocatorRef, void *, OptionBits, Ptr) { return featureUnsupported; }
OSStatus PhysicallyContiguousMemAllocate(MemAllocatorRef, void *, OptionBits, ByteCount, Ptr *) {
  return featureUnsupported;
}
OSStatus PhysicallyContiguousMemFree(MemAllocatorRef, void *, OptionBits, Ptr) { return featureUnsupported; }

const MemAllocator gDefaultMemAllocator = {DefaultMemAllocate, DefaultMemFree, nullptr};
const MemAllocator gTempMemAllocator = {TempMemAllocate, TempMemFree, nullptr};
const MemAllocator gSystemMemAllocator = {SystemMemAllocate, SystemMemFree, nullptr};
const MemAllocator gPageableSystemMemAllocator = {PageableSystemMemAllocate, PageableSystemMemFree, nullptr};
const MemAllocator gResidentMemAllocator = {ResidentMemAllocate, ResidentMemFree, nullptr};
const MemAllocator gPhysicallyContiguousMemAllocator = {PhysicallyContiguousMemAllocate,
                                                         PhysicallyContiguousMemFree, nullptr};

// Indexed by -selector.
const MemAllocator *const kStandardAllocators[6] = {
    &gDefaultMemAllocator,        &gTempMemAllocator,     &gSystemMemAllocator,
    &gPageableSystemMemAllocator, &gResidentMemAllocator, &gPhysicallyContiguousMemAllocator,
};

// The record a reference stands for: a selector's standard record, or the
// record it points to. Records live at user-space addresses, which are
// positive; any other value at or below zero is no allocator (NULL).
inline const MemAllocator *Resolve(MemAllocatorRef ref) {
  const intptr_t v = reinterpret_cast<intptr_t>(ref);
  if (v > 0)
    return ref;
  if (v >= -5)
    return kStandardAllocators[-v];
  return nullptr;
}

static_assert(sizeof(MemAllocator) == 24, "three pointer-sized fields");
static_assert(sizeof(FixedSizeBlockMemAllocator) == 56, "the pool record's layout is public");

// ---- Fixed-size block pool ---------------------------------------------

constexpr UInt32 kMinimumBlockSize = 4;
constexpr UInt32 kDefaultBlocksPerChunk = 1024;
// A chunk starts with the link to the previous chunk; a free block starts
// with the link to the next free block. Both are pointers, so blocks lie at
// a pointer-aligned stride of at least one pointer.
constexpr UInt64 kLinkSize = sizeof(Ptr);
static_assert(kLinkSize == 8);

inline UInt64 Stride(UInt32 blockSize) {
  UInt64 s = (UInt64(blockSize) + kLinkSize - 1) & ~(kLinkSize - 1);
  return s < kLinkSize ? kLinkSize : s;
}

// Bytes of one chunk, or 0 when it would not fit in one block.
inline Size ChunkBytes(UInt32 blockSize, UInt32 blocksPerChunk) {
  const UInt64 bytes = Stride(blockSize) * blocksPerChunk + kLinkSize;
  return bytes > UInt64(INT32_MAX) ? 0 : Size(bytes);
}

inline Ptr LoadLink(const void *at) {
  Ptr p;
  std::memcpy(&p, at, sizeof p);
  return p;
}

inline void StoreLink(void *at, Ptr p) { std::memcpy(at, &p, sizeof p); }

// Adds a chunk. Its blocks are handed out in address order, carved one by
// one as they are first needed (so a new chunk is not written through
// before use); released blocks go to the free list. Out of line: it runs
// once per blocksPerChunk allocations.
[[gnu::noinline, gnu::cold]] void GrowPool(FixedSizeBlockMemAllocator *pool) {
  const Size bytes = ChunkBytes(pool->blockSize, pool->blocksPerChunk);
  if (bytes == 0 || pool->blocksPerChunk == 0)
    return;
  Ptr chunk = NewPtrTemp(bytes);
  if (chunk == nullptr)
    return;
  StoreLink(chunk, pool->chunkList);
  pool->chunkList = chunk;
  pool->blocksCarved = 0;
}

inline OSStatus FixedSizeBlockMemAllocate(MemAllocatorRef, void *refCon, OptionBits flags, ByteCount size,
                                          Ptr *outBlock) {
  auto *pool = static_cast<FixedSizeBlockMemAllocator *>(refCon);
  if (size != pool->blockSize)
    return kMemAllocatorWrongSizeErr;
  Ptr block = pool->freeList;
  if (block != nullptr) {
    pool->freeList = LoadLink(block);
  } else {
    if (pool->chunkList == nullptr || pool->blocksCarved >= pool->blocksPerChunk) {
      GrowPool(pool);
      if (pool->chunkList == nullptr || pool->blocksCarved >= pool->blocksPerChunk)
        return memFullErr;
    }
    block = pool->chunkList + kLinkSize + Stride(pool->blockSize) * pool->blocksCarved++;
  }
  if (flags & kMemAllocateClear)
    std::memset(block, 0, pool->blockSize);
  *outBlock = block;
  return noErr;
}

inline OSStatus FixedSizeBlockMemFree(MemAllocatorRef, void *refCon, OptionBits, Ptr block) {
  if (block == nullptr)
    return noErr;
  auto *pool = static_cast<FixedSizeBlockMemAllocator *>(refCon);
  StoreLink(block, pool->freeList);
  pool->freeList = block;
  return noErr;
}

// The general allocation path: any allocator record, any request.
[[gnu::noinline]] OSStatus AllocateThrough(MemAllocatorRef allocatorRef, OptionBits flags, ByteCount size,
                                          Ptr *outBlock) {
  if (outBlock == nullptr)
    return paramErr;
  *outBlock = nullptr;
  const MemAllocator *rec = Resolve(allocatorRef);
  if (rec == nullptr)
    return paramErr;
  Ptr block = nullptr;
  OSStatus err = rec->allocate(allocatorRef, rec->refCon, flags, size, &block);
  if (err == noErr)
    *outBlock = block;
  return err;
}

// ---- Zone look-ups -----------------------------------------------------

// A platform function found by name on first use. A failed look-up leaves
// the flag clear so that the next call tries again.
template <typename Fn> struct LateBound {
  const char *name;
  bool done = false;
  Fn fn = nullptr;
  Fn Get() {
    if (!done) {
      void *sym = dlsym(RTLD_DEFAULT, name);
      if (sym == nullptr)
        return nullptr;
      fn = reinterpret_cast<Fn>(sym);
      done = true;
    }
    return fn;
  }
};

LateBound<THz (*)(void)> sGetZone{"GetZone"};
LateBound<void (*)(THz)> sSetZone{"SetZone"};
LateBound<THz (*)(void)> sSystemZone{"SystemZone"};

} // namespace

extern "C" {

OSStatus MemAllocate(MemAllocatorRef allocatorRef, OptionBits flags, ByteCount size, Ptr *outBlock) noexcept {
  // Pools serve one node at a time: take a released block of the right size
  // without a call or a stack frame, and leave everything else to the
  // general path. A pool's refCon is the pool itself, so the fast path uses
  // the caller's reference directly instead of waiting for the refCon load
  // (measurably faster when a million blocks are taken and released).
  const MemAllocator *rec = Resolve(allocatorRef);
  if (rec != nullptr && rec->allocate == FixedSizeBlockMemAllocate && rec->refCon == rec && outBlock != nullptr &&
      !(flags & kMemAllocateClear)) {
    auto *pool = reinterpret_cast<FixedSizeBlockMemAllocator *>(allocatorRef);
    Ptr block = pool->freeList;
    if (block != nullptr && size == pool->blockSize) {
      pool->freeList = LoadLink(block);
      *outBlock = block;
      return noErr;
    }
  }
  return AllocateThrough(allocatorRef, flags, size, outBlock);
}

OSStatus MemFree(MemAllocatorRef allocatorRef, OptionBits flags, Ptr block) noexcept {
  const MemAllocator *rec = Resolve(allocatorRef);
  if (rec == nullptr)
    return paramErr;
  if (rec->free == FixedSizeBlockMemFree && rec->refCon == rec)
    return FixedSizeBlockMemFree(allocatorRef, allocatorRef, flags, block);
  return rec->free(allocatorRef, rec->refCon, flags, block);
}

OSStatus FixedSizeBlockMemAllocatorNew(ByteCount blockSize, ItemCount blocksPerChunk, OptionBits,
                                       FixedSizeBlockMemAllocator **outAllocator) noexcept {
  if (outAllocator == nullptr)
    return paramErr;
  if (blockSize < kMinimumBlockSize)
    blockSize = kMinimumBlockSize;
  if (blocksPerChunk == 0)
    blocksPerChunk = kDefaultBlocksPerChunk;
  if (ChunkBytes(blockSize, blocksPerChunk) == 0)
    return memFullErr;
  auto *pool = reinterpret_cast<FixedSizeBlockMemAllocator *>(NewPtrTemp(sizeof(FixedSizeBlockMemAllocator)));
  if (pool == nullptr)
    return memFullErr;
  pool->allocate = FixedSizeBlockMemAllocate;
  pool->free = FixedSizeBlockMemFree;
  pool->refCon = pool;
  pool->blockSize = blockSize;
  pool->blocksPerChunk = blocksPerChunk;
  pool->chunkList = nullptr;
  pool->freeList = nullptr;
  pool->blocksCarved = 0;
  *outAllocator = pool;
  return noErr;
}

OSStatus FixedSizeBlockMemAllocatorDispose(FixedSizeBlockMemAllocator *allocator) noexcept {
  if (allocator == nullptr)
    return noErr;
  auto *pool = static_cast<FixedSizeBlockMemAllocator *>(allocator->refCon);
  Ptr chunk = pool->chunkList;
  while (chunk != nullptr) {
    Ptr previous = LoadLink(chunk);
    DisposePtrTemp(chunk);
    chunk = previous;
  }
  DisposePtrTemp(reinterpret_cast<Ptr>(pool));
  return noErr;
}

Ptr NewPtrTemp(Size size) noexcept {
  OSErr err = noErr;
  Handle h = TempNewHandle(size, &err);
  if (h == nullptr)
    return nullptr;
  HLock(h);
  return *h;
}

void DisposePtrTemp(Ptr ptr) noexcept {
  if (ptr == nullptr)
    return;
  if (Handle h = RecoverHandle(ptr))
    DisposeHandle(h);
}

THz GetZoneCompat(void) noexcept {
  auto fn = sGetZone.Get();
  return fn ? fn() : nullptr;
}

void SetZoneCompat(THz zone) noexcept {
  if (auto fn = sSetZone.Get())
    fn(zone);
}

THz SystemZoneCompat(void) noexcept {
  auto fn = sSystemZone.Get();
  return fn ? fn() : nullptr;
}

THz GetPageableSystemZone(void) noexcept { return nullptr; }

} // extern "C"
