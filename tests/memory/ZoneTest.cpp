// The Memory Manager's zones as the handle helpers rely on them: the
// current zone, purging (on demand and through MaxMem), PurgeSpace's
// figures, and Munger's range forms at the end of a handle.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/memory/Memory.h"
#include "tests/memory/MemoryTesting.h"

namespace {

using memtest::MemoryTest;
using memtest::ZoneRoom;

class Zones : public MemoryTest {};

TEST_F(Zones, CurrentZone) {
  EXPECT_EQ(GetZone(), ApplicationZone());
  EXPECT_EQ(SystemZone(), ApplicationZone());
  const SInt64 temp = PlatformZoneBytesInUse(kPlatformTemporaryZone);
  SetZone(TempZone());
  EXPECT_EQ(MemError(), noErr);
  Handle h = NewHandle(100);
  Ptr p = NewPtr(50);
  SetZone(ApplicationZone());
  ASSERT_NE(h, nullptr);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(HandleZone(h), TempZone());
  EXPECT_EQ(PlatformZoneBytesInUse(kPlatformTemporaryZone), temp + 150);
  DisposeHandle(h);
  DisposePtr(p);
  EXPECT_EQ(PlatformZoneBytesInUse(kPlatformTemporaryZone), temp);

  int notAZone = 0;
  SetZone(reinterpret_cast<THz>(&notAZone));
  EXPECT_EQ(MemError(), memAZErr);
  EXPECT_EQ(GetZone(), ApplicationZone());
}

TEST_F(Zones, PurgingWhenShort) {
  Handle purgeable = NewHandle(400);
  Handle locked = NewHandle(300);
  Handle plain = NewHandle(200);
  HPurge(purgeable);
  HPurge(locked);
  HLock(locked);
  ZoneRoom room(500, 0);
  SInt32 total = 0, contig = 0;
  PurgeSpace(&total, &contig);
  EXPECT_EQ(total, 900) << "free bytes plus the one purgeable, unlocked handle";
  EXPECT_EQ(contig, 900);
  EXPECT_NE(*purgeable, nullptr) << "PurgeSpace only reports";

  Handle big = NewHandle(800); // more than is free: the purgeable handle goes
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(*purgeable, nullptr);
  EXPECT_EQ(GetHandleSize(purgeable), 0);
  EXPECT_NE(*locked, nullptr);
  EXPECT_NE(*plain, nullptr);
  EXPECT_EQ(NewHandle(200), nullptr) << "nothing more to purge";
  DisposeHandle(big);

  // A purgeable handle that grows is never purged to make room for itself:
  // 950 more bytes would fit only if its own 300 were given up.
  HUnlock(locked);
  std::memcpy(*locked, "keep", 4);
  SetHandleSize(locked, 1250);
  EXPECT_EQ(MemError(), memFullErr);
  ASSERT_NE(*locked, nullptr);
  EXPECT_EQ(GetHandleSize(locked), 300);
  EXPECT_EQ(std::string(*locked, 4), "keep");
  for (Handle h : {purgeable, locked, plain})
    DisposeHandle(h);
}

TEST_F(Zones, MungerRangeFormsAtTheEnd) {
  struct Case {
    const char *id;
    SInt32 offset;
    SInt32 len1;
    const char *p2;
    SInt32 len2;
    SInt32 result;
    const char *after;
  } cases[] = {
      {"insert past the end appends", 10, 0, "XY", 2, 6, "abcdXY"},
      {"delete past the end deletes nothing", 10, 3, "", 0, 4, "abcd"},
      {"delete across the end is clipped", 2, 10, "", 0, 2, "ab"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Handle h = NewHandle(4);
    std::memcpy(*h, "abcd", 4);
    EXPECT_EQ(Munger(h, c.offset, nullptr, c.len1, c.p2, c.len2), c.result);
    EXPECT_EQ(MemError(), noErr);
    EXPECT_EQ(std::string(*h, size_t(GetHandleSize(h))), c.after);
    DisposeHandle(h);
  }
  Handle h = NewHandle(4);
  std::memcpy(*h, "abcd", 4);
  EXPECT_EQ(Munger(h, 10, "a", 1, "b", 1), -1) << "a search cannot start past the end";
  EXPECT_EQ(MemError(), paramErr);
  DisposeHandle(h);
}

} // namespace
