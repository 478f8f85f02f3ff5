// Allocators: the standard selectors, caller records, the fixed-size block
// pool, temporary pointers and the zone look-ups.
#include <cstring>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "tests/memory/MemoryTesting.h"
#include "toolbox/memory/MemoryToolbox.h"

namespace {

using memtest::MemoryTest;
using memtest::SentinelPtr;
using memtest::ZoneRoom;

class Allocators : public MemoryTest {};

bool AllZero(const void *p, size_t n) {
  const unsigned char *b = static_cast<const unsigned char *>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != 0)
      return false;
  return true;
}

TEST_F(Allocators, StandardSelectors) {
  struct Case {
    const char *id;
    MemAllocatorRef ref;
    OSStatus allocErr;
    OSStatus freeErr; // of releasing NULL
  } cases[] = {
      {"default", kDefaultMemAllocator, noErr, noErr},
      {"temporary", kTempMemAllocator, noErr, noErr},
      {"system", kSystemMemAllocator, featureUnsupported, noErr},
      {"pageable system", kPageableSystemMemAllocator, featureUnsupported, noErr},
      {"resident", kResidentMemAllocator, featureUnsupported, featureUnsupported},
      {"physically contiguous", kPhysicallyContiguousMemAllocator, featureUnsupported, featureUnsupported},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    for (OptionBits flags : {OptionBits(0), OptionBits(kMemAllocateClear)}) {
      // A used block of the same size first, so that a missing clear shows.
      Ptr dirty = nullptr;
      if (MemAllocate(c.ref, 0, 256, &dirty) == noErr) {
        std::memset(dirty, 0xEE, 256);
        EXPECT_EQ(MemFree(c.ref, 0, dirty), noErr);
      }
      Ptr block = SentinelPtr();
      EXPECT_EQ(MemAllocate(c.ref, flags, 256, &block), c.allocErr);
      if (c.allocErr != noErr) {
        EXPECT_EQ(block, nullptr) << "a failed allocation leaves the block null";
        continue;
      }
      ASSERT_NE(block, nullptr);
      if (flags & kMemAllocateClear) {
        EXPECT_TRUE(AllZero(block, 256));
      }
      std::memset(block, 0x11, 256); // the caller owns every byte
      EXPECT_EQ(MemFree(c.ref, flags, block), noErr);
    }
    EXPECT_EQ(MemFree(c.ref, 0, nullptr), c.freeErr);
  }
}

TEST_F(Allocators, WhereStandardBlocksComeFrom) {
  {
    ZoneRoom room(memtest::kUnlimited, 0);
    Ptr block = SentinelPtr();
    EXPECT_EQ(MemAllocate(kTempMemAllocator, 0, 16, &block), memFullErr);
    EXPECT_EQ(block, nullptr);
    ASSERT_EQ(MemAllocate(kDefaultMemAllocator, 0, 16, &block), noErr);
    EXPECT_EQ(MemFree(kDefaultMemAllocator, 0, block), noErr);
  }
  {
    ZoneRoom room(0, memtest::kUnlimited);
    Ptr block = SentinelPtr();
    EXPECT_EQ(MemAllocate(kDefaultMemAllocator, kMemAllocateClear, 16, &block), memFullErr);
    EXPECT_EQ(block, nullptr);
    ASSERT_EQ(MemAllocate(kTempMemAllocator, 0, 16, &block), noErr);
    EXPECT_EQ(MemFree(kTempMemAllocator, 0, block), noErr);
  }
  // Sizes a block cannot have.
  for (MemAllocatorRef ref : {kDefaultMemAllocator, kTempMemAllocator}) {
    Ptr block = SentinelPtr();
    EXPECT_EQ(MemAllocate(ref, 0, 0x80000000u, &block), memFullErr);
    EXPECT_EQ(block, nullptr);
  }
  EXPECT_EQ(MemAllocate(kDefaultMemAllocator, 0, 16, nullptr), paramErr);
  // Small negative values beyond the selectors are no allocator at all.
  for (intptr_t bad : {intptr_t(-6), intptr_t(-4096)}) {
    Ptr block = SentinelPtr();
    EXPECT_EQ(MemAllocate(reinterpret_cast<MemAllocatorRef>(bad), 0, 16, &block), paramErr);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(MemFree(reinterpret_cast<MemAllocatorRef>(bad), 0, nullptr), paramErr);
  }
}

// A caller allocator record sees the reference as passed, its refCon, the
// flags and the size; its errors come back unchanged.
struct Recorder {
  MemAllocator record;
  MemAllocatorRef seenRef = nullptr;
  void *seenRefCon = nullptr;
  OptionBits seenFlags = 0;
  ByteCount seenSize = 0;
  Ptr seenBlock = nullptr;
  OSStatus answer = noErr;
  char storage[32];
};

OSStatus RecordingAllocate(MemAllocatorRef ref, void *refCon, OptionBits flags, ByteCount size, Ptr *out) {
  auto *r = static_cast<Recorder *>(refCon);
  r->seenRef = ref;
  r->seenRefCon = refCon;
  r->seenFlags = flags;
  r->seenSize = size;
  if (r->answer != noErr) {
    *out = r->storage; // even a failing allocator's slot must not reach the caller
    return r->answer;
  }
  *out = r->storage;
  return noErr;
}

OSStatus RecordingFree(MemAllocatorRef ref, void *refCon, OptionBits flags, Ptr block) {
  auto *r = static_cast<Recorder *>(refCon);
  r->seenRef = ref;
  r->seenFlags = flags;
  r->seenBlock = block;
  return r->answer;
}

TEST_F(Allocators, CallerRecord) {
  Recorder r;
  r.record = {RecordingAllocate, RecordingFree, &r};
  Ptr block = nullptr;
  ASSERT_EQ(MemAllocate(&r.record, 7, 24, &block), noErr);
  EXPECT_EQ(block, r.storage);
  EXPECT_EQ(r.seenRef, &r.record);
  EXPECT_EQ(r.seenRefCon, &r);
  EXPECT_EQ(r.seenFlags, 7u);
  EXPECT_EQ(r.seenSize, 24u);
  EXPECT_EQ(MemFree(&r.record, 3, block), noErr);
  EXPECT_EQ(r.seenBlock, r.storage);
  EXPECT_EQ(r.seenFlags, 3u);

  r.answer = -12345;
  block = SentinelPtr();
  EXPECT_EQ(MemAllocate(&r.record, 0, 24, &block), -12345);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(MemFree(&r.record, 0, r.storage), -12345);
}

TEST_F(Allocators, PoolSizeRules) {
  struct Case {
    const char *id;
    ByteCount blockSize;
    ItemCount blocksPerChunk;
    UInt32 expectBlockSize;
    UInt32 expectBlocksPerChunk;
  } cases[] = {
      {"size 1 becomes 4", 1, 8, 4, 8},  {"size 2 becomes 4", 2, 8, 4, 8},
      {"size 3 becomes 4", 3, 8, 4, 8},  {"size 0 becomes 4", 0, 8, 4, 8},
      {"size 4 kept", 4, 8, 4, 8},       {"odd size kept", 13, 8, 13, 8},
      {"48 kept", 48, 8, 48, 8},         {"chunk 0 becomes 1024", 16, 0, 16, 1024},
      {"chunk 1 kept", 16, 1, 16, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    FixedSizeBlockMemAllocator *pool = nullptr;
    ASSERT_EQ(FixedSizeBlockMemAllocatorNew(c.blockSize, c.blocksPerChunk, 0xFFFFFFFF, &pool), noErr);
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->blockSize, c.expectBlockSize);
    EXPECT_EQ(pool->blocksPerChunk, c.expectBlocksPerChunk);
    EXPECT_EQ(pool->refCon, pool);
    EXPECT_EQ(pool->chunkList, nullptr) << "no chunk before the first allocation";
    EXPECT_EQ(pool->freeList, nullptr);

    const SInt32 handles = PlatformLiveHandleCount();
    for (ByteCount wrong : {ByteCount(c.expectBlockSize - 1), ByteCount(c.expectBlockSize + 1), ByteCount(c.blockSize)}) {
      if (wrong == c.expectBlockSize)
        continue;
      Ptr block = SentinelPtr();
      EXPECT_EQ(MemAllocate(reinterpret_cast<MemAllocatorRef>(pool), 0, wrong, &block), kMemAllocatorWrongSizeErr)
          << "size " << wrong;
      EXPECT_EQ(block, nullptr);
    }
    EXPECT_EQ(PlatformLiveHandleCount(), handles) << "a wrong size allocates nothing";

    Ptr block = nullptr;
    ASSERT_EQ(MemAllocate(reinterpret_cast<MemAllocatorRef>(pool), kMemAllocateClear, c.expectBlockSize, &block), noErr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(void *), 0u) << "blocks are pointer-aligned";
    EXPECT_TRUE(AllZero(block, c.expectBlockSize));
    EXPECT_EQ(MemFree(reinterpret_cast<MemAllocatorRef>(pool), 0, block), noErr);
    EXPECT_EQ(FixedSizeBlockMemAllocatorDispose(pool), noErr);
  }
}

TEST_F(Allocators, PoolChunks) {
  for (ItemCount perChunk : {ItemCount(1), ItemCount(3), ItemCount(0)}) {
    SCOPED_TRACE("blocks per chunk " + std::to_string(perChunk));
    FixedSizeBlockMemAllocator *pool = nullptr;
    ASSERT_EQ(FixedSizeBlockMemAllocatorNew(5, perChunk, 0, &pool), noErr);
    const UInt32 n = pool->blocksPerChunk;
    auto ref = reinterpret_cast<MemAllocatorRef>(pool);
    const SInt32 base = PlatformLiveHandleCount();
    std::vector<Ptr> blocks;
    for (UInt32 i = 0; i < 2 * n + 1; ++i) {
      Ptr b = nullptr;
      ASSERT_EQ(MemAllocate(ref, 0, 5, &b), noErr);
      blocks.push_back(b);
      // One chunk with the first block, the next with block n + 1, ...
      EXPECT_EQ(PlatformLiveHandleCount() - base, SInt32(i / n + 1)) << "after block " << i + 1;
      std::memset(b, int(i), 5); // the caller owns all 5 bytes
    }
    for (UInt32 i = 0; i < blocks.size(); ++i)
      for (int k = 0; k < 5; ++k)
        ASSERT_EQ(static_cast<unsigned char>(blocks[i][k]), static_cast<unsigned char>(i)) << "blocks overlap";
    EXPECT_EQ(std::set<Ptr>(blocks.begin(), blocks.end()).size(), blocks.size());
    // Released blocks are reused before any new chunk is made.
    for (Ptr b : blocks)
      EXPECT_EQ(MemFree(ref, 0, b), noErr);
    for (size_t i = 0; i < blocks.size(); ++i) {
      Ptr b = nullptr;
      ASSERT_EQ(MemAllocate(ref, 0, 5, &b), noErr);
    }
    EXPECT_EQ(PlatformLiveHandleCount() - base, 3);
    // Disposing releases every chunk and the pool, whatever is outstanding.
    EXPECT_EQ(FixedSizeBlockMemAllocatorDispose(pool), noErr);
    EXPECT_EQ(PlatformLiveHandleCount(), base - 1);
  }
}

TEST_F(Allocators, PoolReuseOrderAndNullRelease) {
  FixedSizeBlockMemAllocator *pool = nullptr;
  ASSERT_EQ(FixedSizeBlockMemAllocatorNew(24, 4, 0, &pool), noErr);
  auto ref = reinterpret_cast<MemAllocatorRef>(pool);
  Ptr a = nullptr, b = nullptr, c = nullptr;
  ASSERT_EQ(MemAllocate(ref, 0, 24, &a), noErr);
  ASSERT_EQ(MemAllocate(ref, 0, 24, &b), noErr);
  ASSERT_EQ(MemAllocate(ref, 0, 24, &c), noErr);
  EXPECT_EQ(MemFree(ref, 0, a), noErr);
  EXPECT_EQ(MemFree(ref, 0, b), noErr);
  Ptr head = pool->freeList;
  EXPECT_EQ(MemFree(ref, 0, nullptr), noErr);
  EXPECT_EQ(pool->freeList, head) << "a null release changes nothing";
  Ptr first = nullptr, second = nullptr;
  ASSERT_EQ(MemAllocate(ref, 0, 24, &first), noErr);
  ASSERT_EQ(MemAllocate(ref, 0, 24, &second), noErr);
  EXPECT_EQ(first, b) << "last released, first reused";
  EXPECT_EQ(second, a);
  // A reused block is cleared on request although its first bytes held a link.
  EXPECT_EQ(MemFree(ref, 0, first), noErr);
  std::memset(c, 0x77, 24);
  EXPECT_EQ(MemFree(ref, 0, c), noErr);
  Ptr cleared = nullptr;
  ASSERT_EQ(MemAllocate(ref, kMemAllocateClear, 24, &cleared), noErr);
  EXPECT_EQ(cleared, c);
  EXPECT_TRUE(AllZero(cleared, 24));
  EXPECT_EQ(FixedSizeBlockMemAllocatorDispose(pool), noErr);
  EXPECT_EQ(FixedSizeBlockMemAllocatorDispose(nullptr), noErr);
}

TEST_F(Allocators, PoolSizesThatCannotFit) {
  struct Case {
    const char *id;
    ByteCount blockSize;
    ItemCount blocksPerChunk;
  } cases[] = {
      {"product wraps 32 bits", 0x10000, 0x10000},
      {"block size near 4 GiB", 0xFFFFFFFF, 1},
      {"just over the largest block", 0x40000000, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    auto *untouched = reinterpret_cast<FixedSizeBlockMemAllocator *>(SentinelPtr());
    FixedSizeBlockMemAllocator *pool = untouched;
    EXPECT_EQ(FixedSizeBlockMemAllocatorNew(c.blockSize, c.blocksPerChunk, 0, &pool), memFullErr);
    EXPECT_EQ(pool, untouched);
  }
  EXPECT_EQ(FixedSizeBlockMemAllocatorNew(4, 1, 0, nullptr), paramErr);
}

TEST_F(Allocators, PoolWithoutTemporaryMemory) {
  {
    ZoneRoom room(memtest::kUnlimited, 0);
    auto *untouched = reinterpret_cast<FixedSizeBlockMemAllocator *>(SentinelPtr());
    FixedSizeBlockMemAllocator *pool = untouched;
    EXPECT_EQ(FixedSizeBlockMemAllocatorNew(8, 4, 0, &pool), memFullErr);
    EXPECT_EQ(pool, untouched);
  }
  FixedSizeBlockMemAllocator *pool = nullptr;
  ASSERT_EQ(FixedSizeBlockMemAllocatorNew(8, 4, 0, &pool), noErr);
  {
    ZoneRoom room(memtest::kUnlimited, 0);
    Ptr block = SentinelPtr();
    EXPECT_EQ(MemAllocate(reinterpret_cast<MemAllocatorRef>(pool), 0, 8, &block), memFullErr);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(pool->chunkList, nullptr);
    EXPECT_EQ(pool->freeList, nullptr);
  }
  Ptr block = nullptr;
  EXPECT_EQ(MemAllocate(reinterpret_cast<MemAllocatorRef>(pool), 0, 8, &block), noErr);
  EXPECT_EQ(FixedSizeBlockMemAllocatorDispose(pool), noErr);
}

TEST_F(Allocators, PoolFaultSweep) {
  qltest::ForEachAllocFailure(
      [] {
        FixedSizeBlockMemAllocator *pool = nullptr;
        OSStatus err = FixedSizeBlockMemAllocatorNew(16, 2, 0, &pool);
        if (err != noErr)
          return OSErr(err);
        // Keeps every other block, so the pool keeps growing.
        for (int i = 0; i < 12 && err == noErr; ++i) {
          Ptr b = nullptr;
          err = MemAllocate(reinterpret_cast<MemAllocatorRef>(pool), kMemAllocateClear, 16, &b);
          if (err == noErr && i % 2 == 0)
            err = MemFree(reinterpret_cast<MemAllocatorRef>(pool), 0, b);
        }
        FixedSizeBlockMemAllocatorDispose(pool);
        return OSErr(err);
      },
      [](OSErr result, bool injected) { EXPECT_EQ(result, injected ? OSErr(memFullErr) : OSErr(noErr)); });
}

TEST_F(Allocators, TemporaryPointers) {
  const SInt64 tempBefore = PlatformZoneBytesInUse(kPlatformTemporaryZone);
  Ptr p = NewPtrTemp(100);
  ASSERT_NE(p, nullptr);
  EXPECT_GE(PlatformZoneBytesInUse(kPlatformTemporaryZone), tempBefore + 100);
  Handle h = RecoverHandle(p);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(HGetState(h) & kHandleLockedMask, 0) << "the block must never move";
  DisposePtrTemp(p);
  EXPECT_EQ(PlatformZoneBytesInUse(kPlatformTemporaryZone), tempBefore);
  // Pointers that are not temporary blocks are left alone.
  char local[8];
  DisposePtrTemp(nullptr);
  DisposePtrTemp(local);
  {
    ZoneRoom room(memtest::kUnlimited, 99);
    EXPECT_EQ(NewPtrTemp(100), nullptr);
  }
  EXPECT_EQ(NewPtrTemp(-1), nullptr);
}

TEST_F(Allocators, ZoneLookups) {
  EXPECT_EQ(GetPageableSystemZone(), nullptr);
  ASSERT_NE(GetZoneCompat(), nullptr) << "the platform provides GetZone";
  EXPECT_EQ(GetZoneCompat(), GetZone());
  EXPECT_EQ(SystemZoneCompat(), SystemZone());
  SetZoneCompat(TempZone());
  EXPECT_EQ(GetZone(), TempZone());
  EXPECT_EQ(GetZoneCompat(), TempZone());
  Handle h = NewHandle(4);
  SetZoneCompat(ApplicationZone());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(HandleZone(h), TempZone()) << "the current zone receives new handles";
  DisposeHandle(h);
  EXPECT_EQ(GetZoneCompat(), ApplicationZone());
}

} // namespace
