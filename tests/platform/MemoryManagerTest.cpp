// Memory Manager stand-in: master pointers, locking, zones and limits,
// and the hooks every other test relies on.
#include <cstring>

#include <gtest/gtest.h>

#include "platform/memory/Memory.h"
#include "support/TestSupport.h"

namespace {

struct ZoneLimits {
  ZoneLimits(SInt64 app, SInt64 temp) {
    PlatformSetZoneLimit(kPlatformApplicationZone, app);
    PlatformSetZoneLimit(kPlatformTemporaryZone, temp);
  }
  ~ZoneLimits() {
    PlatformSetZoneLimit(kPlatformApplicationZone, INT32_MAX);
    PlatformSetZoneLimit(kPlatformTemporaryZone, INT32_MAX);
  }
};

TEST(MemoryManager, GrowthKeepsContentsAndMasterPointer) {
  PlatformSetAlwaysMoveOnGrowth(true);
  Handle h = NewHandle(4);
  ASSERT_NE(h, nullptr);
  std::memcpy(*h, "abcd", 4);
  Ptr before = *h;
  SetHandleSize(h, 4096);
  ASSERT_EQ(MemError(), noErr);
  EXPECT_NE(*h, before) << "an unlocked handle moves when forced to";
  EXPECT_EQ(std::memcmp(*h, "abcd", 4), 0);
  EXPECT_EQ(GetHandleSize(h), 4096);
  EXPECT_EQ(RecoverHandle(*h), h);
  DisposeHandle(h);
  PlatformSetAlwaysMoveOnGrowth(false);
}

TEST(MemoryManager, LockedHandleNeverMoves) {
  PlatformSetAlwaysMoveOnGrowth(true);
  Handle h = NewHandle(8);
  ASSERT_NE(h, nullptr);
  HLock(h);
  Ptr before = *h;
  SetHandleSize(h, 1 << 20);
  EXPECT_EQ(MemError(), memFullErr);
  EXPECT_EQ(*h, before);
  EXPECT_EQ(GetHandleSize(h), 8);
  SetHandleSize(h, 2); // shrinking a locked handle is fine
  EXPECT_EQ(MemError(), noErr);
  EXPECT_EQ(*h, before);
  EXPECT_EQ(HGetState(h) & kHandleLockedMask, kHandleLockedMask);
  HUnlock(h);
  SetHandleSize(h, 1 << 20);
  EXPECT_EQ(MemError(), noErr);
  DisposeHandle(h);
  PlatformSetAlwaysMoveOnGrowth(false);
}

TEST(MemoryManager, StateRoundTrip) {
  Handle h = NewHandle(1);
  HLock(h);
  HPurge(h);
  SignedByte saved = HGetState(h);
  HUnlock(h);
  HNoPurge(h);
  EXPECT_EQ(HGetState(h), 0);
  HSetState(h, saved);
  EXPECT_EQ(UInt8(HGetState(h)), kHandleLockedMask | kHandlePurgeableMask);
  DisposeHandle(h);
}

TEST(MemoryManager, ZoneLimitsAndTemporaryMemory) {
  ZoneLimits limits(1000, 0);
  OSErr err = 1;
  EXPECT_EQ(TempNewHandle(10, &err), nullptr);
  EXPECT_EQ(err, memFullErr);
  EXPECT_EQ(TempMaxMem(nullptr), 0);
  Handle h = NewHandle(600);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(NewHandle(600), nullptr);
  EXPECT_EQ(MemError(), memFullErr);
  EXPECT_LE(MaxBlock(), 400);
  // Growth within the limit succeeds even when amortised growth would not.
  SetHandleSize(h, 1000);
  EXPECT_EQ(MemError(), noErr);
  DisposeHandle(h);
  EXPECT_EQ(PlatformZoneBytesInUse(kPlatformTemporaryZone), 0);
}

TEST(MemoryManager, AppendingAHandleToItself) {
  Handle h = NewHandle(3);
  std::memcpy(*h, "xyz", 3);
  PlatformSetAlwaysMoveOnGrowth(true);
  ASSERT_EQ(HandAndHand(h, h), noErr);
  ASSERT_EQ(PtrAndHand(*h + 1, h, 2), noErr);
  PlatformSetAlwaysMoveOnGrowth(false);
  ASSERT_EQ(GetHandleSize(h), 8);
  EXPECT_EQ(std::memcmp(*h, "xyzxyzyz", 8), 0);
  DisposeHandle(h);
}

TEST(MemoryManager, MungerForms) {
  struct Case {
    const char *id;
    SInt32 offset;
    const char *p1;
    SInt32 len1;
    const char *p2;
    SInt32 len2;
    SInt32 result;
    const char *after;
  } cases[] = {
      {"replace found", 0, "cd", 2, "XYZ", 3, 5, "abXYZef"},
      {"not found", 0, "zz", 2, "X", 1, -1, "abcdef"},
      {"find only", 1, "de", 2, nullptr, 0, 3, "abcdef"},
      {"delete found", 0, "bc", 2, "", 0, 1, "adef"},
      {"insert at offset", 2, nullptr, 0, "++", 2, 4, "ab++cdef"},
      {"replace range", 1, nullptr, 2, "Q", 1, 2, "aQdef"},
      {"range past end is clipped", 4, nullptr, 50, "!", 1, 5, "abcd!"},
      {"negative length to end", 3, nullptr, -1, nullptr, 0, 3, "abc"},
      {"search from offset", 3, "b", 1, "B", 1, -1, "abcdef"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Handle h = NewHandle(6);
    std::memcpy(*h, "abcdef", 6);
    EXPECT_EQ(Munger(h, c.offset, c.p1, c.len1, c.p2, c.len2), c.result);
    EXPECT_EQ(std::string(*h, size_t(GetHandleSize(h))), c.after);
    DisposeHandle(h);
  }
}

TEST(MemoryManager, FaultHookFailsTheNthAllocation) {
  PlatformFailNthAllocation(2);
  Handle a = NewHandle(1);
  Handle b = NewHandle(1);
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(b, nullptr);
  EXPECT_TRUE(PlatformAllocationFailureInjected());
  PlatformFailNthAllocation(0);
  SInt32 live = PlatformLiveHandleCount();
  DisposeHandle(a);
  EXPECT_EQ(PlatformLiveHandleCount(), live - 1);
}

TEST(MemoryManager, PointersNeverMove) {
  Ptr p = NewPtrClear(10);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[9], 0);
  SetPtrSize(p, 5);
  EXPECT_EQ(MemError(), noErr);
  EXPECT_EQ(GetPtrSize(p), 5);
  SetPtrSize(p, 100);
  EXPECT_EQ(MemError(), memFullErr);
  DisposePtr(p);
}

} // namespace
