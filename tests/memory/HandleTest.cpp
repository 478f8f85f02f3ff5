// Handle helpers: maximum sizes, temporary-memory fall-back, copies, item
// arrays, resizing, and what each does when memory runs out.
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "tests/memory/MemoryTesting.h"
#include "toolbox/memory/MemoryToolbox.h"

namespace {

using memtest::kUnlimited;
using memtest::MemoryTest;
using memtest::SentinelHandle;
using memtest::ZoneOf;
using memtest::ZoneRoom;

constexpr int kApp = kPlatformApplicationZone;
constexpr int kTemp = kPlatformTemporaryZone;

class Handles : public MemoryTest {};

Handle MakeHandle(const std::string &bytes) {
  Handle h = NewHandle(Size(bytes.size()));
  if (h != nullptr && !bytes.empty())
    std::memcpy(*h, bytes.data(), bytes.size());
  return h;
}

std::string Contents(Handle h) { return std::string(*h, size_t(GetHandleSize(h))); }

TEST_F(Handles, MaximumHandleSize) {
  struct Case {
    const char *id;
    SInt64 app, temp; // room in each zone
    Size wanted, reserve;
    Boolean useTemp;
    Size expect;
  } cases[] = {
      {"fits", 1000, 0, 100, 0, false, 100},
      {"cut to what is there", 1000, 0, 5000, 0, false, 1000},
      {"reserve kept", 1000, 0, 5000, 300, false, 700},
      {"reserve kept when it fits exactly", 1000, 0, 700, 300, false, 700},
      {"less than the reserve is there", 100, 0, 5000, 300, false, 0},
      {"wanted plus reserve beyond 32 bits", 1000, 0, INT32_MAX, 10, false, 990},
      {"both at the maximum", 1000, 0, INT32_MAX, INT32_MAX, false, 0},
      {"temporary memory's figure", 0, 500, 1000, 0, true, 500},
      {"temporary memory with reserve", 0, 500, 1000, 100, true, 400},
      {"negative wanted", 1000, 0, -5, 0, false, 0},
      {"negative reserve", 1000, 0, 5000, -5, false, 1000},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ZoneRoom room(c.app, c.temp);
    EXPECT_EQ(GetMaximumHandleSize(c.wanted, c.reserve, false, c.useTemp), c.expect);
    EXPECT_EQ(GetMaximumHandleSize(c.wanted, c.reserve, true, c.useTemp), c.expect);
  }
}

TEST_F(Handles, MaximumHandleSizeCountsPurgeableSpace) {
  Handle purgeable = NewHandle(400);
  ASSERT_NE(purgeable, nullptr);
  HPurge(purgeable);
  ZoneRoom room(600, 0);
  EXPECT_EQ(MaxBlock(), 600);
  EXPECT_EQ(GetMaximumHandleSize(900, 0, false, false), 900) << "purgeable bytes count as available";
  EXPECT_EQ(GetMaximumHandleSize(2000, 0, false, false), 1000);
  EXPECT_NE(*purgeable, nullptr) << "asking does not purge";
  // Trying hard purges, and the handle can then really be made.
  Handle h = nullptr;
  Size size = 900;
  ASSERT_EQ(NewMaximumHandle(&h, &size, 0, true, false), noErr);
  EXPECT_EQ(size, 900);
  EXPECT_EQ(*purgeable, nullptr);
  DisposeHandle(h);
  DisposeHandle(purgeable);
}

TEST_F(Handles, NewMaximumHandle) {
  struct Case {
    const char *id;
    SInt64 app, temp;
    Size size, reserve;
    Boolean useTemp;
    OSErr err;
    Size expectSize;
    int zone;
  } cases[] = {
      {"all of it", 1000, 0, 100, 0, false, noErr, 100, kApp},
      {"what is there", 1000, 0, 5000, 0, false, noErr, 1000, kApp},
      {"what the reserve leaves", 1000, 0, 5000, 200, false, noErr, 800, kApp},
      {"from temporary memory", 0, 1000, 5000, 0, true, noErr, 1000, kTemp},
      {"nothing beyond the reserve", 300, 0, 5000, 300, false, memFullErr, 0, 0},
      {"no temporary memory", 1000, 0, 5000, 0, true, memFullErr, 0, 0},
      {"nothing at all", 0, 0, 10, 0, false, memFullErr, 0, 0},
      {"zero asked", 0, 0, 0, 0, false, memFullErr, 0, 0}, // even 0 bytes take a block here
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ZoneRoom room(c.app, c.temp);
    Handle h = SentinelHandle();
    Size size = c.size;
    EXPECT_EQ(NewMaximumHandle(&h, &size, c.reserve, false, c.useTemp), c.err);
    if (c.err != noErr) {
      EXPECT_EQ(h, SentinelHandle());
      EXPECT_EQ(size, c.size);
      continue;
    }
    EXPECT_EQ(size, c.expectSize);
    EXPECT_EQ(GetHandleSize(h), c.expectSize);
    EXPECT_EQ(ZoneOf(h), c.zone);
    DisposeHandle(h);
  }
  Size size = 10;
  Handle h = nullptr;
  EXPECT_EQ(NewMaximumHandle(nullptr, &size, 0, false, false), paramErr);
  EXPECT_EQ(NewMaximumHandle(&h, nullptr, 0, false, false), paramErr);
}

TEST_F(Handles, NewMaximumQuantizedHandle) {
  struct Case {
    const char *id;
    SInt64 app, temp;
    UInt32 quantum, count;
    Size reserve;
    Boolean useTemp;
    OSErr err;
    UInt32 expectCount;
    int zone;
  } cases[] = {
      {"992 of 1000 bytes for 62 items", 1000, 0, 16, 100, 0, false, noErr, 62, kApp},
      {"all items fit", 1000, 0, 16, 10, 0, false, noErr, 10, kApp},
      {"reserve first", 1000, 0, 16, 100, 500, false, noErr, 31, kApp},
      {"temporary memory", 0, 1000, 16, 100, 0, true, noErr, 62, kTemp},
      {"temporary memory's figure decides", 5000, 1000, 8, 1000, 0, true, noErr, 125, kTemp},
      {"product beyond 32 bits", 1000, 0, 0x100, 0x01000000, 0, false, noErr, 3, kApp},
      {"quantum not a power of two", 1000, 0, 300, 10, 0, false, noErr, 3, kApp},
      {"not one item", 10, 0, 16, 100, 0, false, memFullErr, 0, 0},
      {"quantum 0", 1000, 0, 0, 100, 0, false, paramErr, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ZoneRoom room(c.app, c.temp);
    Handle h = SentinelHandle();
    UInt32 count = c.count;
    EXPECT_EQ(NewMaximumQuantizedHandle(&h, c.quantum, &count, c.reserve, false, c.useTemp), c.err);
    if (c.err != noErr) {
      EXPECT_EQ(h, SentinelHandle());
      EXPECT_EQ(count, c.count);
      continue;
    }
    EXPECT_EQ(count, c.expectCount);
    EXPECT_EQ(GetHandleSize(h), Size(c.expectCount * c.quantum));
    EXPECT_EQ(ZoneOf(h), c.zone);
    if (!c.useTemp) {
      const std::string bytes = Contents(h);
      EXPECT_EQ(bytes.find_first_not_of('\0'), std::string::npos) << "a heap handle comes cleared";
    }
    DisposeHandle(h);
  }
}

// Makers that try one kind of memory and then the other. Each is run with
// both zones open, with its first choice exhausted, and with both exhausted.
TEST_F(Handles, FallBackBetweenTemporaryMemoryAndHeap) {
  struct Case {
    const char *id;
    int first;
    int second; // -1: no second choice
    bool copies; // the new handle holds the source's bytes
    std::function<OSErr(Handle source, Handle *out)> make;
  };
  const Case cases[] = {
      {"NewAnyHandle", kTemp, kApp, false,
       [](Handle, Handle *out) {
         *out = NewAnyHandle(64);
         return *out ? OSErr(noErr) : OSErr(memFullErr);
       }},
      {"MemAllocHandle", kTemp, kApp, false, [](Handle, Handle *out) { return MemAllocHandle(64, out); }},
      {"PtrToAnyHand", kTemp, kApp, true,
       [](Handle source, Handle *out) { return PtrToAnyHand(*source, out, GetHandleSize(source)); }},
      {"NewTempOrRegularHandle preferring temporary", kTemp, kApp, false,
       [](Handle, Handle *out) { return NewTempOrRegularHandle(64, true, out); }},
      {"NewTempOrRegularHandle preferring the heap", kApp, kTemp, false,
       [](Handle, Handle *out) { return NewTempOrRegularHandle(64, false, out); }},
      {"HandToHandAndAllowTempMem preferring temporary", kTemp, kApp, true,
       [](Handle source, Handle *out) {
         *out = source;
         return HandToHandAndAllowTempMem(out, true);
       }},
      {"HandToHandAndAllowTempMem preferring the heap", kApp, kTemp, true,
       [](Handle source, Handle *out) {
         *out = source;
         return HandToHandAndAllowTempMem(out, false);
       }},
      {"NewHandleMax", kTemp, kApp, false,
       [](Handle, Handle *out) {
         *out = NewHandleMax(64, 0, nullptr);
         return *out ? OSErr(noErr) : OSErr(memFullErr);
       }},
      {"NewHandleTemp", kTemp, -1, false, [](Handle, Handle *out) { return NewHandleTemp(64, out); }},
      {"PtrToTempHand", kTemp, -1, true,
       [](Handle source, Handle *out) { return PtrToTempHand(*source, out, GetHandleSize(source)); }},
      {"HandToTempHand", kTemp, -1, true,
       [](Handle source, Handle *out) {
         *out = source;
         return HandToTempHand(out);
       }},
  };
  const std::string text(64, 'q');
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Handle source = MakeHandle(text);
    ASSERT_NE(source, nullptr);
    for (int closed = 0; closed < 3; ++closed) { // nothing, the first choice, both
      SCOPED_TRACE(closed == 0 ? "both open" : closed == 1 ? "first choice exhausted" : "both exhausted");
      const SInt32 handles = PlatformLiveHandleCount();
      ZoneRoom room(closed == 2 || (closed == 1 && c.first == kApp) ? 0 : kUnlimited,
                    closed == 2 || (closed == 1 && c.first == kTemp) ? 0 : kUnlimited);
      Handle h = nullptr;
      const OSErr err = c.make(source, &h);
      const int expectZone = closed == 0 ? c.first : closed == 1 ? c.second : -1;
      if (expectZone < 0) {
        EXPECT_EQ(err, memFullErr);
        EXPECT_EQ(PlatformLiveHandleCount(), handles) << "nothing made, nothing leaked";
        continue;
      }
      ASSERT_EQ(err, noErr);
      ASSERT_NE(h, nullptr);
      ASSERT_NE(h, source);
      EXPECT_EQ(ZoneOf(h), expectZone);
      EXPECT_EQ(GetHandleSize(h), 64);
      if (c.copies) {
        EXPECT_EQ(Contents(h), text);
      }
      DisposeHandle(h);
    }
    EXPECT_EQ(Contents(source), text) << "the source is never disposed of or changed";
    DisposeHandle(source);
  }
}

TEST_F(Handles, NewTempOrRegularHandleAlwaysStoresTheLastAttempt) {
  ZoneRoom room(0, 0);
  Handle h = SentinelHandle();
  EXPECT_EQ(NewTempOrRegularHandle(16, false, &h), memFullErr);
  EXPECT_EQ(h, nullptr);
  h = SentinelHandle();
  EXPECT_EQ(NewTempOrRegularHandle(16, true, &h), memFullErr);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(NewTempOrRegularHandle(16, true, nullptr), paramErr);
}

TEST_F(Handles, NewHandleTempOrLess) {
  struct Case {
    const char *id;
    SInt64 temp;
    UInt32 count;
    uint32_t sizes[3];
    OSErr err;
    Size expectSize;
  } cases[] = {
      {"first fits", 1000, 3, {500, 100, 0}, noErr, 500},
      {"only the second fits", 1000, 3, {5000, 100, 0}, noErr, 100},
      {"both fail, then 0", 50, 3, {5000, 100, 0}, paramErr, 0},
      {"all fail", 50, 2, {5000, 100, 0}, memFullErr, 0},
      {"0 before anything", 1000, 2, {0, 100, 0}, paramErr, 0},
      {"count 0", 1000, 0, {100, 0, 0}, paramErr, 0},
      {"a size no block can have is skipped", 1000, 2, {0x80000000u, 100, 0}, noErr, 100},
      {"count stops before the 0", 1000, 1, {100, 0, 0}, noErr, 100},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ZoneRoom room(kUnlimited, c.temp);
    Handle h = SentinelHandle();
    Size size = -7;
    EXPECT_EQ(NewHandleTempOrLess(&h, &size, c.count, c.sizes[0], c.sizes[1], c.sizes[2]), c.err);
    if (c.err != noErr) {
      EXPECT_EQ(h, SentinelHandle());
      EXPECT_EQ(size, -7);
      continue;
    }
    EXPECT_EQ(size, c.expectSize);
    EXPECT_EQ(GetHandleSize(h), c.expectSize);
    EXPECT_EQ(ZoneOf(h), kTemp);
    DisposeHandle(h);
  }
  Handle h = nullptr;
  ASSERT_EQ(NewHandleTempOrLess(&h, nullptr, 1, uint32_t(8)), noErr);
  DisposeHandle(h);
  EXPECT_EQ(NewHandleTempOrLess(nullptr, nullptr, 1, uint32_t(8)), paramErr);
}

TEST_F(Handles, NewHandleMax) {
  struct Case {
    const char *id;
    SInt64 app, temp;
    Size size, reserve;
    int zone; // -1: no handle
    Size expectSize;
  } cases[] = {
      {"temporary memory has room", 1000, 1000, 100, 50, kTemp, 100},
      {"only the heap has room", 1000, 120, 100, 50, kApp, 100},
      {"neither: all of temporary memory", 300, 500, 1000, 0, kTemp, 500},
      {"neither: all of the heap", 500, 300, 1000, 0, kApp, 500},
      {"reserve not kept when short", 140, 0, 100, 50, kApp, 140},
      {"both exhausted", 0, 0, 100, 0, -1, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ZoneRoom room(c.app, c.temp);
    Size size = -7;
    Handle h = NewHandleMax(c.size, c.reserve, &size);
    if (c.zone < 0) {
      EXPECT_EQ(h, nullptr);
      continue;
    }
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(size, c.expectSize);
    EXPECT_EQ(GetHandleSize(h), c.expectSize);
    EXPECT_EQ(ZoneOf(h), c.zone);
    DisposeHandle(h);
  }
  EXPECT_EQ(NewHandleMax(-1, 0, nullptr), nullptr);
}

TEST_F(Handles, AvailabilityQuestions) {
  struct Case {
    const char *id;
    SInt64 app, temp;
    Size size;
    Boolean noTemp, tempOnly, tempFirst;
    Boolean expect;
  } cases[] = {
      {"heap has it", 1000, 0, 500, false, false, false, true},
      {"temporary memory makes up", 100, 1000, 500, false, false, false, true},
      {"no temporary memory wanted", 100, 1000, 500, true, false, false, false},
      {"temporary first has it", 0, 1000, 500, false, false, true, true},
      {"temporary first, heap makes up", 1000, 0, 500, false, false, true, true},
      {"temporary only", 1000, 0, 500, false, true, true, false},
      {"no temp overrides temp first", 1000, 0, 500, true, true, true, true},
      {"neither", 100, 100, 500, false, false, false, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ZoneRoom room(c.app, c.temp);
    EXPECT_EQ(IsMemoryAvailableAfterTryingHard(c.size, c.noTemp, c.tempOnly, c.tempFirst), c.expect);
  }
  ZoneRoom room(1000, 0);
  EXPECT_TRUE(IsMemoryAvailable(1000));
  EXPECT_FALSE(IsMemoryAvailable(1001));
}

TEST_F(Handles, CompactAndPurgeHeapPurgesOnlyWhatMayGo) {
  Handle purgeable = NewHandle(300);
  Handle lockedPurgeable = NewHandle(200);
  Handle kept = NewHandle(100);
  HPurge(purgeable);
  HPurge(lockedPurgeable);
  HLock(lockedPurgeable);
  ZoneRoom room(1000, 0);
  EXPECT_EQ(CompactAndPurgeHeap(), 1300);
  EXPECT_EQ(*purgeable, nullptr);
  EXPECT_NE(*lockedPurgeable, nullptr);
  EXPECT_NE(*kept, nullptr);
  DisposeHandle(purgeable);
  DisposeHandle(lockedPurgeable);
  DisposeHandle(kept);
}

TEST_F(Handles, HandToTempHandKeepsTheOriginal) {
  Handle original = MakeHandle("payload");
  Handle h = original;
  ASSERT_EQ(HandToTempHand(&h), noErr);
  ASSERT_NE(h, original);
  EXPECT_EQ(ZoneOf(h), kTemp);
  EXPECT_EQ(Contents(h), "payload");
  EXPECT_EQ(Contents(original), "payload");
  DisposeHandle(h);
  {
    ZoneRoom room(kUnlimited, 0);
    h = original;
    EXPECT_EQ(HandToTempHand(&h), memFullErr);
    EXPECT_EQ(h, original);
  }
  Handle none = nullptr;
  EXPECT_EQ(HandToTempHand(nullptr), paramErr);
  EXPECT_EQ(HandToTempHand(&none), paramErr);
  EXPECT_EQ(HandToHandAndAllowTempMem(&none, true), paramErr);
  EXPECT_EQ(HandToHandAndAllowTempMem(nullptr, false), paramErr);
  DisposeHandle(original);
}

TEST_F(Handles, HandToXHand) {
  struct Case {
    const char *id;
    const char *source;
    const char *destination;
    bool emptied; // destination purged before the copy
  } cases[] = {
      {"same size", "abcd", "wxyz", false},
      {"grows", "abcdefgh", "xy", false},
      {"shrinks", "ab", "wxyz", false},
      {"empty source", "", "wxyz", false},
      {"emptied destination", "abc", "xyz", true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Handle src = MakeHandle(c.source);
    Handle dst = MakeHandle(c.destination);
    if (c.emptied)
      EmptyHandle(dst);
    ASSERT_EQ(HandToXHand(src, dst), noErr);
    EXPECT_EQ(Contents(dst), c.source);
    EXPECT_EQ(Contents(src), c.source);
    DisposeHandle(src);
    DisposeHandle(dst);
  }
  // A destination that cannot grow is left as it was.
  Handle src = MakeHandle(std::string(4096, 's'));
  Handle dst = MakeHandle("keep");
  HLock(dst);
  EXPECT_EQ(HandToXHand(src, dst), memFullErr);
  EXPECT_EQ(Contents(dst), "keep");
  EXPECT_EQ(HandToXHand(nullptr, dst), paramErr);
  EXPECT_EQ(HandToXHand(src, nullptr), paramErr);
  DisposeHandle(src);
  DisposeHandle(dst);
}

TEST_F(Handles, AdjustHandleSize) {
  struct Case {
    const char *id;
    Size delta;
    Boolean clearNew;
    OSErr err;
    std::string after; // '#' marks bytes that must be zero, '?' any byte
  } cases[] = {
      {"grow and clear", 4, true, noErr, "abcdefgh####"},
      {"grow without clearing", 4, false, noErr, "abcdefgh????"},
      {"no change", 0, true, noErr, "abcdefgh"},
      {"shrink clears nothing", -3, true, noErr, "abcde"},
      {"to nothing", -8, true, noErr, ""},
      {"below nothing", -9, true, memFullErr, "abcdefgh"},
      {"beyond the largest block", INT32_MAX, true, memFullErr, "abcdefgh"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    // Bytes past the end already hold something, so a missing clear shows.
    Handle h = MakeHandle("abcdefgh\xEE\xEE\xEE\xEE");
    SetHandleSize(h, 8);
    Size old = -7;
    EXPECT_EQ(AdjustHandleSize(h, c.delta, c.clearNew, &old), c.err);
    EXPECT_EQ(old, c.err == noErr ? 8 : -7);
    const std::string got = Contents(h);
    ASSERT_EQ(got.size(), c.after.size());
    for (size_t i = 0; i < got.size(); ++i) {
      if (c.after[i] == '#') {
        EXPECT_EQ(got[i], '\0') << "byte " << i;
      } else if (c.after[i] != '?') {
        EXPECT_EQ(got[i], c.after[i]) << "byte " << i;
      }
    }
    DisposeHandle(h);
  }
  EXPECT_EQ(AdjustHandleSize(nullptr, 4, true, nullptr), nilHandleErr);
}

TEST_F(Handles, GrowingLockedAndUnlockedHandles) {
  PlatformSetAlwaysMoveOnGrowth(true);
  Handle h = MakeHandle("contents");
  SignedByte before = HGetStateAndLock(h);
  EXPECT_EQ(before & kHandleLockedMask, 0);
  EXPECT_NE(HGetState(h) & kHandleLockedMask, 0);
  Ptr block = *h;
  Size old = -7;
  EXPECT_EQ(AdjustHandleSize(h, 1 << 20, true, &old), memFullErr);
  EXPECT_EQ(*h, block) << "a locked handle never moves";
  EXPECT_EQ(old, -7);
  EXPECT_EQ(Contents(h), "contents");
  HSetState(h, before);
  ASSERT_EQ(AdjustHandleSize(h, 1 << 20, true, &old), noErr);
  EXPECT_EQ(old, 8);
  EXPECT_NE(*h, block) << "an unlocked handle may move";
  EXPECT_EQ(std::string(*h, 8), "contents");
  EXPECT_EQ(GetHandleSize(h), 8 + (1 << 20));
  DisposeHandle(h);
}

TEST_F(Handles, ItemsInAHandle) {
  constexpr UInt32 kBig = 0x80000000u; // index * 2 wraps 32 bits
  struct Case {
    const char *id;
    bool add;
    UInt32 index, count;
    const char *items;
    OSErr err;
    const char *after;
  } cases[] = {
      {"insert at the front", true, 0, 1, "12", noErr, "12ABCDEFGH"},
      {"insert inside", true, 2, 2, "1234", noErr, "ABCD1234EFGH"},
      {"insert at the end", true, 4, 1, "12", noErr, "ABCDEFGH12"},
      {"index past the end appends", true, 99, 1, "12", noErr, "ABCDEFGH12"},
      {"huge index appends", true, kBig, 1, "12", noErr, "ABCDEFGH12"},
      {"insert nothing", true, 1, 0, "", noErr, "ABCDEFGH"},
      {"more than a block can hold", true, 0, kBig, "12", memFullErr, "ABCDEFGH"},
      {"remove one", false, 1, 1, nullptr, noErr, "ABEFGH"},
      {"remove the last", false, 3, 1, nullptr, noErr, "ABCDEF"},
      {"remove past the end is clipped", false, 2, 5, nullptr, noErr, "ABCD"},
      {"remove everything", false, 0, 0xFFFFFFFFu, nullptr, noErr, ""},
      {"index at the end removes nothing", false, 4, 1, nullptr, noErr, "ABCDEFGH"},
      {"huge index removes nothing", false, kBig, 1, nullptr, noErr, "ABCDEFGH"},
      {"remove nothing", false, 1, 0, nullptr, noErr, "ABCDEFGH"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Handle h = MakeHandle("ABCDEFGH");
    const OSErr err = c.add ? AddItemsToHandle(h, 2, c.index, c.count, c.items)
                            : RemoveItemsFromHandle(h, 2, c.index, c.count);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(Contents(h), c.after);
    DisposeHandle(h);
  }
  // Items taken from the handle itself, which moves as it grows.
  PlatformSetAlwaysMoveOnGrowth(true);
  Handle h = MakeHandle("ABCDEFGH");
  ASSERT_EQ(AddItemsToHandle(h, 2, 1, 3, *h + 2), noErr);
  EXPECT_EQ(Contents(h), "ABCDEFGHCDEFGH");
  DisposeHandle(h);
  EXPECT_EQ(AddItemsToHandle(nullptr, 2, 0, 1, "12"), nilHandleErr);
  EXPECT_EQ(RemoveItemsFromHandle(nullptr, 2, 0, 1), nilHandleErr);
}

// Every function that allocates either succeeds or reports memFullErr, and
// leaks nothing, whichever allocation fails.
TEST_F(Handles, FaultSweeps) {
  struct Case {
    const char *id;
    std::function<OSErr()> body;
  };
  // Takes the handle's address: the call that fills it runs first.
  auto disposeIf = [](OSErr err, Handle *h) {
    if (err == noErr)
      DisposeHandle(*h);
    return err;
  };
  const Case cases[] = {
      {"NewMaximumHandle",
       [&] {
         Handle h = nullptr;
         Size size = 100;
         return disposeIf(NewMaximumHandle(&h, &size, 10, true, true), &h);
       }},
      {"NewMaximumQuantizedHandle",
       [&] {
         Handle h = nullptr;
         UInt32 count = 10;
         return disposeIf(NewMaximumQuantizedHandle(&h, 8, &count, 0, false, false), &h);
       }},
      {"NewHandleTempOrLess",
       [&] {
         Handle h = nullptr;
         return disposeIf(NewHandleTempOrLess(&h, nullptr, 3, uint32_t(300), uint32_t(200), uint32_t(100)), &h);
       }},
      {"MemAllocHandle",
       [&] {
         Handle h = nullptr;
         return disposeIf(MemAllocHandle(50, &h), &h);
       }},
      {"PtrToAnyHand",
       [&] {
         Handle h = nullptr;
         return disposeIf(PtrToAnyHand("abc", &h, 3), &h);
       }},
      {"PtrToTempHand",
       [&] {
         Handle h = nullptr;
         return disposeIf(PtrToTempHand("abc", &h, 3), &h);
       }},
      {"HandToHandAndAllowTempMem",
       [&] {
         Handle src = MakeHandle("copy me");
         if (src == nullptr)
           return OSErr(memFullErr);
         Handle h = src;
         OSErr err = HandToHandAndAllowTempMem(&h, true);
         if (err == noErr && h == src)
           err = -1; // must be a new handle
         disposeIf(err, &h);
         DisposeHandle(src);
         return err;
       }},
      {"HandToXHand and AdjustHandleSize",
       [&] {
         Handle a = MakeHandle(std::string(100, 'a'));
         Handle b = MakeHandle("b");
         OSErr err = a && b ? HandToXHand(a, b) : OSErr(memFullErr);
         if (err == noErr)
           err = AdjustHandleSize(b, 1000, true, nullptr);
         if (err == noErr && (GetHandleSize(b) != 1100 || std::memcmp(*b, *a, 100) != 0))
           err = -1;
         DisposeHandle(a);
         DisposeHandle(b);
         return err;
       }},
      {"AddItemsToHandle",
       [&] {
         Handle h = MakeHandle("ABCD");
         if (h == nullptr)
           return OSErr(memFullErr);
         OSErr err = noErr;
         for (int i = 0; i < 6 && err == noErr; ++i)
           err = AddItemsToHandle(h, 4, 1, 100, std::string(400, 'x').data());
         if (err == noErr)
           err = RemoveItemsFromHandle(h, 4, 1, 600);
         if (err == noErr && Contents(h) != "ABCD")
           err = -1;
         DisposeHandle(h);
         return err;
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    PlatformSetAlwaysMoveOnGrowth(true);
    qltest::ForEachAllocFailure(c.body, [](OSErr result, bool injected) {
      if (injected) {
        EXPECT_TRUE(result == noErr || result == memFullErr) << result;
      } else {
        EXPECT_EQ(result, noErr);
      }
    });
  }
}

} // namespace
