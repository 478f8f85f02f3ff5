// Shared pieces of the memory tests: zone limits relative to what is in use
// now, and a fixture that checks every test gives back what it took.
#ifndef TESTS_MEMORY_MEMORYTESTING_H
#define TESTS_MEMORY_MEMORYTESTING_H

#include <cstdint>

#include <gtest/gtest.h>

#include "platform/memory/Memory.h"

namespace memtest {

constexpr SInt64 kUnlimited = INT32_MAX;

// Lets each zone give at most the given number of further bytes; restores
// both zones to unlimited on destruction.
class ZoneRoom {
public:
  ZoneRoom(SInt64 app, SInt64 temp) { Set(app, temp); }
  ~ZoneRoom() {
    PlatformSetZoneLimit(kPlatformApplicationZone, kUnlimited);
    PlatformSetZoneLimit(kPlatformTemporaryZone, kUnlimited);
  }
  ZoneRoom(const ZoneRoom &) = delete;
  ZoneRoom &operator=(const ZoneRoom &) = delete;
  static void Set(SInt64 app, SInt64 temp) {
    PlatformSetZoneLimit(kPlatformApplicationZone,
                         app == kUnlimited ? kUnlimited : PlatformZoneBytesInUse(kPlatformApplicationZone) + app);
    PlatformSetZoneLimit(kPlatformTemporaryZone,
                         temp == kUnlimited ? kUnlimited : PlatformZoneBytesInUse(kPlatformTemporaryZone) + temp);
  }
};

// Every test leaves the handle and pointer counts as it found them and the
// zones unlimited.
class MemoryTest : public ::testing::Test {
protected:
  void SetUp() override {
    handles_ = PlatformLiveHandleCount();
    ptrs_ = PlatformLivePtrCount();
  }
  void TearDown() override {
    PlatformSetAlwaysMoveOnGrowth(false);
    PlatformSetZoneLimit(kPlatformApplicationZone, kUnlimited);
    PlatformSetZoneLimit(kPlatformTemporaryZone, kUnlimited);
    EXPECT_EQ(PlatformLiveHandleCount(), handles_) << "handles leaked";
    EXPECT_EQ(PlatformLivePtrCount(), ptrs_) << "pointers leaked";
  }

private:
  SInt32 handles_ = 0;
  SInt32 ptrs_ = 0;
};

// Which zone a handle lives in, as a zone number.
inline int ZoneOf(Handle h) {
  THz z = HandleZone(h);
  if (z == ApplicationZone())
    return kPlatformApplicationZone;
  if (z == TempZone())
    return kPlatformTemporaryZone;
  return -1;
}

// A recognisable non-null pointer for outputs that must stay untouched.
inline Handle SentinelHandle() { return reinterpret_cast<Handle>(uintptr_t(0xA5A5A5A5A5A5A5A0ull)); }
inline Ptr SentinelPtr() { return reinterpret_cast<Ptr>(uintptr_t(0x5A5A5A5A5A5A5A50ull)); }

} // namespace memtest

#endif
