// PackBits: the published example, the worst-case bound, 32,000-byte
// chunks, agreement with a byte-at-a-time coder, and decoding that never
// leaves its buffers.

#include <gtest/gtest.h>

#include <string>

#include "platform/quickdraw/PackBits.h"
#include "tests/encoding/ReferenceCoders.h"
#include "tests/encoding/TestData.h"
#include "toolbox/encoding/CompressionCore.h"
#include "toolbox/encoding/EncodingToolbox.h"

using enctest::Bytes;

namespace {

Bytes Pack(const Bytes &in) {
  Bytes out(GetMaxPackBitsExpandedSize(UInt32(in.size())) + 1, 0xEE);
  SInt32 length = SInt32(in.size());
  BigPackBits(in.data(), out.data(), &length);
  EXPECT_EQ(out[size_t(GetMaxPackBitsExpandedSize(UInt32(in.size())))], 0xEE) << "wrote past the bound";
  out.resize(size_t(length));
  return out;
}

Bytes Unpack(const Bytes &packed, size_t n) {
  Bytes out(n + 8, 0xEE);
  BigUnpackBits(packed.data(), out.data(), SInt32(n));
  EXPECT_EQ(Bytes(out.begin() + std::ptrdiff_t(n), out.end()), Bytes(8, 0xEE)) << "wrote past the count";
  out.resize(n);
  return out;
}

const Bytes kExampleUnpacked = {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x80, 0x00,
                                0x2A, 0x22, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
const Bytes kExamplePacked = {0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A, 0xFD, 0xAA,
                              0x03, 0x80, 0x00, 0x2A, 0x22, 0xF7, 0xAA};

TEST(PackBits, PublishedExample) {
  EXPECT_EQ(Pack(kExampleUnpacked), kExamplePacked);
  EXPECT_EQ(Unpack(kExamplePacked, 24), kExampleUnpacked);

  // The QuickDraw calls advance both pointers past what they used.
  Bytes packed(40);
  Ptr src = reinterpret_cast<Ptr>(const_cast<uint8_t *>(kExampleUnpacked.data()));
  Ptr dst = reinterpret_cast<Ptr>(packed.data());
  PackBits(&src, &dst, 24);
  EXPECT_EQ(src - reinterpret_cast<Ptr>(const_cast<uint8_t *>(kExampleUnpacked.data())), 24);
  EXPECT_EQ(dst - reinterpret_cast<Ptr>(packed.data()), 15);
  Bytes back(24);
  src = reinterpret_cast<Ptr>(packed.data());
  dst = reinterpret_cast<Ptr>(back.data());
  UnpackBits(&src, &dst, 24);
  EXPECT_EQ(src - reinterpret_cast<Ptr>(packed.data()), 15);
  EXPECT_EQ(dst - reinterpret_cast<Ptr>(back.data()), 24);
  EXPECT_EQ(back, kExampleUnpacked);
}

TEST(PackBits, MaxExpandedSize) {
  struct Case {
    UInt32 n, bound;
  };
  const Case cases[] = {{0, 0},     {1, 2},         {127, 128},       {128, 130},
                        {254, 256}, {70000, 70552}, {0xFFFFFFFFu, 0xFFFFFFFFu}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(GetMaxPackBitsExpandedSize(c.n), c.bound);
  }
}

TEST(PackBits, StaysWithinTheBoundAndNeverCodesPairsAsRuns) {
  // Patterns that cost the most: pairs between single bytes, alternating
  // bytes, triples, and noise. Pairs coded as two-byte repeats would make
  // "AAB" 4 bytes for 3 and break the bound.
  struct Case {
    const char *id;
    Bytes unit;
  };
  const Case cases[] = {
      {"pair then single", {'A', 'A', 'B'}},
      {"pairs", {'A', 'A', 'B', 'B'}},
      {"alternating", {'A', 'B'}},
      {"triple then single", {'A', 'A', 'A', 'B'}},
      {"single", {'Q'}},
  };
  for (const Case &c : cases) {
    for (size_t n : {1, 2, 3, 127, 128, 129, 255, 256, 1000, 32000, 32001, 70000}) {
      SCOPED_TRACE(std::string(c.id) + " " + std::to_string(n));
      Bytes in(n);
      for (size_t i = 0; i < n; ++i)
        in[i] = uint8_t(c.unit[i % c.unit.size()] + (i / c.unit.size()) % 2 * 0x20);
      const Bytes packed = Pack(in);
      EXPECT_LE(packed.size(), GetMaxPackBitsExpandedSize(UInt32(n)));
      EXPECT_EQ(packed, reference::PackBits(in.data(), in.size()));
      EXPECT_EQ(Unpack(packed, n), in);
    }
  }
}

TEST(PackBits, RoundTripsAndMatchesByteAtATimeCoder) {
  for (size_t n : {1, 2, 3, 4, 5, 100, 31999, 32000, 32001, 64000, 100000}) {
    for (uint32_t seed : {1u, 2u}) {
      SCOPED_TRACE(std::to_string(n) + " seed " + std::to_string(seed));
      const Bytes in = seed == 1 ? enctest::Runs(n, uint32_t(n)) : enctest::RandomBytes(n, uint32_t(n));
      const Bytes packed = Pack(in);
      EXPECT_EQ(packed, reference::PackBits(in.data(), in.size()));
      EXPECT_EQ(Unpack(packed, n), in);
    }
  }
}

TEST(PackBits, ChunksOf32000SourceBytes) {
  // 70,000 equal bytes: the chunks 32,000, 32,000 and 6,000 are packed
  // separately, so a run never crosses 32,000 and the output is the three
  // chunk outputs end to end.
  Bytes in(70000, 0x41);
  in[10] = 0x42; // some literal content too
  Bytes expected;
  for (size_t base : {0u, 32000u, 64000u}) {
    const size_t len = base == 64000u ? 6000 : 32000;
    Bytes part(GetMaxPackBitsExpandedSize(UInt32(len)));
    Ptr src = reinterpret_cast<Ptr>(in.data() + base);
    Ptr dst = reinterpret_cast<Ptr>(part.data());
    PackBits(&src, &dst, SInt16(len));
    part.resize(size_t(dst - reinterpret_cast<Ptr>(part.data())));
    expected.insert(expected.end(), part.begin(), part.end());
  }
  const Bytes packed = Pack(in);
  EXPECT_EQ(packed, expected);
  EXPECT_EQ(Unpack(packed, 70000), in);

  // A stream whose item crosses a chunk end is cut there; the next chunk
  // starts with the next item: 249 repeats of 128 bytes and one of 123 make
  // 31,995 bytes, then a repeat of 10 'x' crosses the end of the first chunk.
  Bytes stream;
  for (int i = 0; i < 249; ++i)
    stream.insert(stream.end(), {0x81, 'a'});
  stream.insert(stream.end(), {0x86, 'b', 0xF7, 'x', 0x02, '1', '2', '3'});
  const Bytes out = Unpack(stream, 32003);
  EXPECT_EQ(Bytes(out.begin() + 31995, out.begin() + 32000), Bytes(5, 'x'));
  EXPECT_EQ(Bytes(out.begin() + 32000, out.end()), enctest::FromString("123"));
}

TEST(PackBits, DecodingStaysInsideItsBuffers) {
  const Bytes in = enctest::Runs(5000, 9);
  const Bytes packed = Pack(in);

  // Every truncation through the bounded decoder: a prefix of the data,
  // nothing read past the cut (the copy has exactly `cut` bytes).
  for (size_t cut = 0; cut <= packed.size(); ++cut) {
    SCOPED_TRACE(cut);
    const Bytes part(packed.begin(), packed.begin() + std::ptrdiff_t(cut));
    Bytes out(in.size());
    const auto r = ql::detail::BigUnpackBitsBounded(part.data(), part.size(), out.data(), out.size());
    EXPECT_LE(r.read, cut);
    ASSERT_LE(r.written, in.size());
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + std::ptrdiff_t(r.written), in.begin()));
    if (cut == packed.size()) {
      EXPECT_EQ(r.written, in.size());
    }
  }

  // Items longer than the destination are cut at its end.
  struct Case {
    const char *id;
    Bytes stream;
    size_t count;
    Bytes want;
  };
  const Case cases[] = {
      {"repeat cut", {0x81, 'r'}, 5, Bytes(5, 'r')},
      {"literal cut", {0x05, '1', '2', '3', '4', '5', '6'}, 4, enctest::FromString("1234")},
      {"no-op headers skipped", {0x80, 0x80, 0x00, 'z'}, 1, enctest::FromString("z")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(Unpack(c.stream, c.count), c.want);
  }

  // Hostile streams through the bounded decoder, exact-size buffers.
  for (uint32_t seed = 1; seed <= 100; ++seed) {
    const Bytes junk = enctest::RandomBytes(seed * 13 % 700, seed);
    Bytes out(seed * 97 % 70000);
    const auto r = ql::detail::BigUnpackBitsBounded(junk.data(), junk.size(), out.data(), out.size());
    EXPECT_LE(r.read, junk.size());
    EXPECT_LE(r.written, out.size());
  }
}

TEST(PackBits, NothingToDo) {
  Bytes dst(4, 0xEE);
  SInt32 length = 0;
  BigPackBits("x", dst.data(), &length);
  EXPECT_EQ(length, 0);
  length = -5;
  BigPackBits("x", dst.data(), &length);
  EXPECT_EQ(length, 0);
  length = 1;
  BigPackBits(nullptr, dst.data(), &length);
  EXPECT_EQ(length, 0);
  BigPackBits("x", dst.data(), nullptr);
  BigUnpackBits("\x00x", dst.data(), 0);
  BigUnpackBits("\x00x", dst.data(), -1);
  BigUnpackBits(nullptr, dst.data(), 4);
  EXPECT_EQ(dst, Bytes(4, 0xEE));
}

} // namespace
