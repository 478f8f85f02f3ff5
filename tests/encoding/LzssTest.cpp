// LZSS: known streams, round trips, agreement with a textbook coder,
// truncated and hostile streams, handle contracts and memory failures.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/memory/Memory.h"
#include "support/TestSupport.h"
#include "tests/encoding/ReferenceCoders.h"
#include "tests/encoding/TestData.h"
#include "toolbox/encoding/EncodingToolbox.h"

using enctest::Bytes;
using enctest::OwnedHandle;

namespace {

Bytes Compress(const Bytes &in, OSErr expect = noErr) {
  OwnedHandle h;
  EXPECT_EQ(LZSSCompress(in.data(), SInt32(in.size()), h), expect);
  return h.bytes();
}

Bytes Expand(const Bytes &in, OSErr expect = noErr) {
  OwnedHandle h;
  EXPECT_EQ(LZSSExpand(in.data(), SInt32(in.size()), h), expect);
  return h.bytes();
}

SInt32 ExpandedSize(const Bytes &in) {
  SInt32 size = -1;
  EXPECT_EQ(LZSSGetExpandedSize(in.data(), SInt32(in.size()), &size), noErr);
  return size;
}

struct Reference {
  std::unique_ptr<reference::Lzss> coder = std::make_unique<reference::Lzss>();
  Bytes Compress(const Bytes &in) { return coder->Compress(in.data(), in.size()); }
};

TEST(Lzss, KnownStreams) {
  // "abc": one flag byte with three literal bits.
  EXPECT_EQ(Compress(enctest::FromString("abc")), (Bytes{0x07, 'a', 'b', 'c'}));

  // 36 spaces: two 18-byte references, the first into the space-filled part
  // of the ring (position 4060 = 0xFDC).
  const Bytes spaces(36, ' ');
  const Bytes packed = Compress(spaces);
  ASSERT_EQ(packed.size(), 5u);
  EXPECT_EQ(packed[0], 0x00);
  EXPECT_EQ(packed[1], 0xDC);
  EXPECT_EQ(packed[2], 0xFF);
  EXPECT_EQ(packed[4] & 0x0F, 0x0F);
  EXPECT_EQ(Expand(packed), spaces);

  // 100 x: a literal, then references of at most 18 bytes; the first copies
  // from position 4078 while writing from 4079, overlapping its own output.
  const Bytes xs(100, 'x');
  const Bytes run = Compress(xs);
  ASSERT_GE(run.size(), 4u);
  EXPECT_EQ(run[0] & 0x01, 0x01);
  EXPECT_EQ(run[1], 'x');
  EXPECT_EQ(run[2], 0xEE);
  EXPECT_EQ(run[3], 0xFF);
  EXPECT_EQ(run.size(), 1u + 1u + 6u * 2u) << "99 bytes need six references (5 x 18 + 9)";
  EXPECT_EQ(Expand(run), xs);
}

TEST(Lzss, ExpandsHandMadeStreams) {
  struct Case {
    const char *id;
    Bytes stream;
    std::string expanded;
  };
  const Case cases[] = {
      {"literals", {0x07, 'a', 'b', 'c'}, "abc"},
      // Reference to position 0 of the initial ring: spaces.
      {"ring spaces", {0x00, 0x00, 0x02}, "     "},
      // Reference to position 4090 (0xFFA) before anything was written there:
      // the ring starts with zeros from 4078 on.
      {"unwritten tail", {0x00, 0xFA, 0xF0}, std::string(3, '\0')},
      // Literal 'z' at 4078, then 18 bytes copied from 4078 as they appear.
      {"overlap", {0x01, 'z', 0xEE, 0xFF}, std::string(19, 'z')},
      // Flag announces eight items but the data ends: quiet stop.
      {"cut after literal", {0xFF, 'q'}, "q"},
      {"lone reference byte", {0x03, 'a', 'b', 0x10}, "ab"},
      {"flag only", {0x01}, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const Bytes want(c.expanded.begin(), c.expanded.end());
    EXPECT_EQ(Expand(c.stream), want);
    EXPECT_EQ(ExpandedSize(c.stream), SInt32(want.size()));
  }
}

TEST(Lzss, RoundTripsAndMatchesTextbookCoder) {
  struct Kind {
    const char *id;
    Bytes (*make)(size_t, uint32_t);
  };
  const Kind kinds[] = {{"random", enctest::RandomBytes}, {"text", enctest::Text}, {"runs", enctest::Runs}};
  const size_t sizes[] = {1, 2, 3, 17, 18, 19, 100, 4077, 4078, 4096, 4097, 4113, 10000, 65536};
  Reference ref;
  for (const Kind &k : kinds) {
    for (size_t n : sizes) {
      SCOPED_TRACE(std::string(k.id) + " " + std::to_string(n));
      const Bytes in = k.make(n, uint32_t(n));
      const Bytes packed = Compress(in);
      EXPECT_EQ(packed, ref.Compress(in));
      EXPECT_EQ(Expand(packed), in);
      EXPECT_EQ(ExpandedSize(packed), SInt32(n));
      EXPECT_EQ(Compress(in), packed) << "same input, same output";
    }
  }
  // Text compresses; random data grows by at most one flag byte per 8.
  const Bytes text = enctest::Text(65536, 7);
  EXPECT_LT(Compress(text).size(), text.size() / 2);
  const Bytes noise = enctest::RandomBytes(65536, 7);
  EXPECT_LE(Compress(noise).size(), noise.size() + noise.size() / 8 + 1);
}

TEST(Lzss, EveryTruncationExpandsToAPrefix) {
  const Bytes in = enctest::Text(3000, 11);
  const Bytes packed = Compress(in);
  for (size_t cut = 0; cut <= packed.size(); ++cut) {
    SCOPED_TRACE(cut);
    // A copy of exactly `cut` bytes, so that reading past it is caught.
    const Bytes part(packed.begin(), packed.begin() + std::ptrdiff_t(cut));
    const Bytes out = Expand(part);
    ASSERT_LE(out.size(), in.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), in.begin()));
    EXPECT_EQ(ExpandedSize(part), SInt32(out.size()));
  }
}

TEST(Lzss, HostileStreamsStayInBounds) {
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    const Bytes junk = enctest::RandomBytes(seed * 7 % 600, seed);
    const Bytes out = Expand(junk);
    EXPECT_EQ(ExpandedSize(junk), SInt32(out.size()));
    EXPECT_EQ(out, reference::Lzss::Expand(junk.data(), junk.size()));
  }
}

TEST(Lzss, ArgumentsAndHandleContract) {
  OwnedHandle h(Bytes(100, 0xAA));
  const char abc[] = "abc";
  // The content is replaced, not appended to.
  ASSERT_EQ(LZSSCompress(abc, 3, h), noErr);
  EXPECT_EQ(h.bytes(), (Bytes{0x07, 'a', 'b', 'c'}));
  OwnedHandle back(Bytes(100, 0xAA));
  ASSERT_EQ(LZSSExpand(*h, GetHandleSize(h), back), noErr);
  EXPECT_EQ(back.bytes(), enctest::FromString("abc"));

  // An empty source gives an empty result, not the handle's old bytes.
  OwnedHandle old1(Bytes(10, 0x55)), old2(Bytes(10, 0x55));
  EXPECT_EQ(LZSSCompress(abc, 0, old1), noErr);
  EXPECT_EQ(GetHandleSize(old1), 0);
  EXPECT_EQ(LZSSExpand(nullptr, 0, old2), noErr);
  EXPECT_EQ(GetHandleSize(old2), 0);
  SInt32 size = -1;
  EXPECT_EQ(LZSSGetExpandedSize(nullptr, 0, &size), noErr);
  EXPECT_EQ(size, 0);

  struct Case {
    const char *id;
    const void *src;
    SInt32 len;
    bool handle;
  };
  const Case bad[] = {
      {"negative length", abc, -1, true},
      {"most negative length", abc, INT32_MIN, true},
      {"null source", nullptr, 3, true},
      {"null handle", abc, 3, false},
  };
  for (const Case &c : bad) {
    SCOPED_TRACE(c.id);
    OwnedHandle out(Bytes(4, 0x11));
    Handle target = c.handle ? Handle(out) : nullptr;
    EXPECT_EQ(LZSSCompress(c.src, c.len, target), paramErr);
    EXPECT_EQ(LZSSExpand(c.src, c.len, target), paramErr);
    EXPECT_EQ(out.bytes(), Bytes(4, 0x11));
    if (c.handle) {
      SInt32 s = 77;
      EXPECT_EQ(LZSSGetExpandedSize(c.src, c.len, &s), paramErr);
      EXPECT_EQ(s, 77);
    }
  }

  // A handle without a block (never allocated) receives one.
  Handle empty = NewEmptyHandle();
  EXPECT_EQ(LZSSCompress(abc, 3, empty), noErr);
  EXPECT_EQ(enctest::HandleBytes(empty), (Bytes{0x07, 'a', 'b', 'c'}));
  DisposeHandle(empty);
}

TEST(Lzss, MemoryFailuresLeaveAConsistentHandle) {
  // Each run either succeeds with the whole result (a failed doubling falls
  // back to the exact size) or reports memFullErr with a prefix of it.
  const auto sweep = [](const char *id, OSErr (*coder)(const void *, SInt32, Handle),
                        const Bytes &in, const Bytes &want) {
    SCOPED_TRACE(id);
    OwnedHandle out;
    qltest::ForEachAllocFailure(
        [&] { return coder(in.data(), SInt32(in.size()), out); },
        [&](OSErr err, bool injected) {
          const Bytes got = out.bytes();
          if (err == noErr) {
            EXPECT_EQ(got, want);
          } else {
            EXPECT_TRUE(injected);
            EXPECT_EQ(err, memFullErr);
            ASSERT_LE(got.size(), want.size());
            EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin()));
          }
        });
  };
  const Bytes in = enctest::Text(20000, 3);
  const Bytes packed = Compress(in);
  PlatformSetAlwaysMoveOnGrowth(true);
  sweep("compress", LZSSCompress, in, packed);
  sweep("expand", LZSSExpand, packed, in);
  PlatformSetAlwaysMoveOnGrowth(false);
}

} // namespace
