// Syncsafe sizes and unsynchronisation.

#include <gtest/gtest.h>

#include <random>

#include "tests/mp3/Mp3TestSupport.h"

using namespace mp3test;

namespace {

TEST(ID3Size, DecodeAndEncode) {
  struct Case {
    const char *id;
    UInt32 word;
    UInt32 value;
  } cases[] = {
      {"zero", 0, 0},
      {"257", 0x00000201, 257},
      {"127", 0x0000007F, 127},
      {"128", 0x00000100, 128},
      {"max", 0x7F7F7F7F, 0x0FFFFFFF},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(ID3DecodeSize(c.word), c.value);
    EXPECT_EQ(ID3EncodeSize(c.value), c.word);
  }
  // Top bits are ignored on decoding and lost above 28 bits on encoding.
  EXPECT_EQ(ID3DecodeSize(0xFFFFFFFF), 0x0FFFFFFFu);
  EXPECT_EQ(ID3EncodeSize(0x10000001), 0x00000001u);
}

TEST(ID3Unsync, KnownVectors) {
  struct Case {
    const char *id;
    Bytes plain, unsynced;
  } cases[] = {
      {"spec pair", {0xFF, 0xE0, 0xFF}, {0xFF, 0x00, 0xE0, 0xFF, 0x00}},
      {"ff before zero", {0xFF, 0x00}, {0xFF, 0x00, 0x00}},
      {"ff before ff", {0xFF, 0xFF, 0x41}, {0xFF, 0x00, 0xFF, 0x41}},
      {"ff before low byte", {0xFF, 0x41, 0xFF, 0xDF}, {0xFF, 0x41, 0xFF, 0xDF}},
      {"empty", {}, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(ID3CalcUnsyncSize(c.plain.data(), UInt32(c.plain.size())), c.unsynced.size());
    OwnedHandle h(NewHandle(SInt32(c.plain.size())));
    if (!c.plain.empty())
      std::memcpy(*h, c.plain.data(), c.plain.size());
    ASSERT_EQ(ID3Unsync(h.get()), noErr);
    EXPECT_EQ(HandleBytes(h.get()), c.unsynced);
    ASSERT_EQ(ID3Sync(h.get()), noErr);
    EXPECT_EQ(HandleBytes(h.get()), c.plain);
  }
}

TEST(ID3Sync, WalkRules) {
  struct Case {
    const char *id;
    Bytes in, out;
  } cases[] = {
      {"spec", {0xFF, 0x00, 0xFF, 0xE0, 0xFF}, {0xFF, 0xFF, 0xE0, 0xFF}},
      // A 0xFF that follows a 0xFF is copied and not examined again.
      {"ff ff 00", {0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0x00}},
      {"ff 00 00", {0xFF, 0x00, 0x00}, {0xFF, 0x00}},
      {"last ff", {0x41, 0xFF}, {0x41, 0xFF}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    OwnedHandle h(NewHandle(SInt32(c.in.size())));
    std::memcpy(*h, c.in.data(), c.in.size());
    ASSERT_EQ(ID3Sync(h.get()), noErr);
    EXPECT_EQ(HandleBytes(h.get()), c.out);
  }
  EXPECT_EQ(ID3Sync(nullptr), nilHandleErr);
  EXPECT_EQ(ID3Unsync(nullptr), nilHandleErr);
}

// Unsynchronised data never holds a false sync (0xFF then 0xE0 or above)
// and always resynchronises to the original, whatever the bytes.
TEST(ID3Unsync, RandomBlocksRoundTrip) {
  std::mt19937 rng(7);
  const uint8_t alphabet[] = {0xFF, 0xFF, 0x00, 0xE0, 0xF3, 0x41};
  for (int round = 0; round < 200; ++round) {
    Bytes plain(rng() % 64);
    for (auto &b : plain)
      b = alphabet[rng() % sizeof alphabet];
    OwnedHandle h(NewHandle(SInt32(plain.size())));
    if (!plain.empty())
      std::memcpy(*h, plain.data(), plain.size());
    PlatformSetAlwaysMoveOnGrowth(true);
    ASSERT_EQ(ID3Unsync(h.get()), noErr);
    PlatformSetAlwaysMoveOnGrowth(false);
    const Bytes u = HandleBytes(h.get());
    for (size_t i = 0; i + 1 < u.size(); ++i)
      ASSERT_FALSE(u[i] == 0xFF && u[i + 1] >= 0xE0) << round;
    if (!u.empty()) {
      ASSERT_NE(u.back(), 0xFF);
    }
    ASSERT_EQ(ID3Sync(h.get()), noErr);
    ASSERT_EQ(HandleBytes(h.get()), plain) << round;
  }
}

TEST(ID3Unsync, MemoryFailureLeavesTheHandle) {
  OwnedHandle h(NewHandle(2));
  (*h)[0] = char(0xFF);
  (*h)[1] = char(0xE0);
  PlatformFailNthAllocation(1);
  EXPECT_EQ(ID3Unsync(h.get()), memFullErr);
  PlatformFailNthAllocation(0);
  EXPECT_EQ(HandleBytes(h.get()), (Bytes{0xFF, 0xE0}));
}

} // namespace
