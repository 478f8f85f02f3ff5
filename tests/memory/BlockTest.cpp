// Block operations, binary search, array compaction and page tests, checked
// against plain byte-by-byte references at every small length and offset
// (the word-at-a-time paths have heads and tails to get wrong).
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "toolbox/memory/MemoryToolbox.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A buffer with guard bytes on both sides and a recognisable body.
struct Guarded {
  static constexpr size_t kGuard = 16;
  static constexpr unsigned char kGuardByte = 0xAB;
  explicit Guarded(size_t n) : bytes(n + 2 * kGuard, kGuardByte) {
    for (size_t i = 0; i < n; ++i)
      bytes[kGuard + i] = static_cast<unsigned char>(i * 7 + 1);
  }
  unsigned char *body() { return bytes.data() + kGuard; }
  Bytes Body(size_t n) const { return Bytes(bytes.begin() + kGuard, bytes.begin() + kGuard + n); }
  bool GuardsIntact(size_t n) const {
    for (size_t i = 0; i < kGuard; ++i)
      if (bytes[i] != kGuardByte || bytes[kGuard + n + i] != kGuardByte)
        return false;
    return true;
  }
  Bytes bytes;
};

TEST(Blocks, FillTwins) {
  struct Case {
    const char *id;
    std::string pattern;
    UInt32 patternLength;
    UInt32 count;
    std::string expect;
  } cases[] = {
      {"two-byte pattern", "\x01\x02", 2, 5, "\x01\x02\x01\x02\x01"},
      {"three-byte pattern", "abc", 3, 8, "abcabcab"},
      {"one byte", "z", 1, 4, "zzzz"},
      {"length 0 repeats the first byte", "qr", 0, 3, "qqq"},
      {"pattern longer than the block", "abcdef", 6, 4, "abcd"},
      {"nothing to fill", "abc", 3, 0, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Guarded a(c.count), b(c.count);
    MemFill(c.patternLength, c.pattern.data(), c.count, a.body());
    BlockFill(c.pattern.data(), c.patternLength, b.body(), c.count);
    const Bytes want(c.expect.begin(), c.expect.end());
    EXPECT_EQ(a.Body(c.count), want) << "MemFill";
    EXPECT_EQ(b.Body(c.count), want) << "BlockFill";
    EXPECT_TRUE(a.GuardsIntact(c.count));
    EXPECT_TRUE(b.GuardsIntact(c.count));
  }
  // Long fills against the definition, for many pattern lengths.
  const std::string pattern = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
  for (UInt32 plen = 1; plen <= 32; ++plen) {
    for (UInt32 count : {UInt32(31), UInt32(1000), UInt32(4099)}) {
      Guarded g(count);
      BlockFill(pattern.data(), plen, g.body(), count);
      for (UInt32 j = 0; j < count; ++j)
        ASSERT_EQ(g.body()[j], static_cast<unsigned char>(pattern[j % plen])) << plen << " " << count << " " << j;
      ASSERT_TRUE(g.GuardsIntact(count));
    }
  }
}

TEST(Blocks, TrashSetClear) {
  Guarded t(7);
  MemTrash(7, t.body());
  EXPECT_EQ(t.Body(7), (Bytes{0x68, 0xF1, 0x68, 0xF1, 0x68, 0xF1, 0x68}));
  EXPECT_TRUE(t.GuardsIntact(7));
  for (size_t offset = 0; offset < 8; ++offset) {
    for (UInt32 n = 0; n < 100; ++n) {
      Guarded s(n + offset), z(n + offset);
      BlockSet(s.body() + offset, n, 0x5C);
      BlockClear(z.body() + offset, n);
      for (size_t i = 0; i < n + offset; ++i) {
        const unsigned char original = static_cast<unsigned char>(i * 7 + 1);
        ASSERT_EQ(s.body()[i], i < offset ? original : 0x5C) << offset << " " << n;
        ASSERT_EQ(z.body()[i], i < offset ? original : 0) << offset << " " << n;
      }
      ASSERT_TRUE(s.GuardsIntact(n + offset));
      ASSERT_TRUE(z.GuardsIntact(n + offset));
    }
  }
}

TEST(Blocks, ReverseTwinsAndReverseCopy) {
  for (size_t offset = 0; offset < 8; ++offset) {
    for (UInt32 n = 0; n < 80; ++n) {
      Guarded a(n + offset), b(n + offset), source(n + offset), dest(n);
      Bytes want = a.Body(n + offset);
      std::reverse(want.begin() + offset, want.end());
      MemReverse(n, a.body() + offset);
      BlockReverse(b.body() + offset, n);
      ASSERT_EQ(a.Body(n + offset), want) << "MemReverse " << offset << " " << n;
      ASSERT_EQ(b.Body(n + offset), want) << "BlockReverse " << offset << " " << n;
      ASSERT_TRUE(a.GuardsIntact(n + offset) && b.GuardsIntact(n + offset));

      MemReverseCopy(n, source.body() + offset, dest.body());
      ASSERT_EQ(dest.Body(n), Bytes(want.begin() + offset, want.end())) << "MemReverseCopy " << offset << " " << n;
      ASSERT_TRUE(dest.GuardsIntact(n));
    }
  }
}

TEST(Blocks, Swaps) {
  for (size_t offset = 0; offset < 8; ++offset) {
    for (UInt32 n = 0; n < 100; ++n) {
      Guarded a(n + offset), b(n + 3);
      for (size_t i = 0; i < n + 3; ++i)
        b.body()[i] = static_cast<unsigned char>(200 - i);
      const Bytes a0 = a.Body(n + offset), b0 = b.Body(n + 3);
      BlockSwap(a.body() + offset, b.body() + 3, n);
      Bytes wantA = a0, wantB = b0;
      std::swap_ranges(wantA.begin() + offset, wantA.end(), wantB.begin() + 3);
      ASSERT_EQ(a.Body(n + offset), wantA) << offset << " " << n;
      ASSERT_EQ(b.Body(n + 3), wantB) << offset << " " << n;
      ASSERT_TRUE(a.GuardsIntact(n + offset) && b.GuardsIntact(n + 3));
    }
  }
}

TEST(Blocks, IndexedSwapAndReverse) {
  struct Case {
    const char *id;
    UInt32 count;
    std::string expect; // three-byte elements "a1 b2 c3 ..."
  } cases[] = {
      {"no elements", 0, ""},
      {"one element", 1, "aA1"},
      {"two", 2, "bB2aA1"},
      {"odd count", 5, "eE5dD4cC3bB2aA1"},
  };
  const std::string elements = "aA1bB2cC3dD4eE5";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    std::string buf = elements.substr(0, c.count * 3) + "##";
    BlockReverseIndexed(buf.data(), 3, c.count);
    EXPECT_EQ(buf, c.expect + "##");
  }
  std::string buf = elements;
  BlockSwapIndexed(buf.data(), 3, 1, 3);
  EXPECT_EQ(buf, "aA1dD4cC3bB2eE5");
  BlockSwapIndexed(buf.data(), 3, 2, 2);
  EXPECT_EQ(buf, "aA1dD4cC3bB2eE5");
}

TEST(Blocks, Compare) {
  for (UInt32 n = 0; n < 70; ++n) {
    Guarded a(n), b(n);
    ASSERT_EQ(BlockCompare(n, a.body(), b.body()), 1) << n;
    for (UInt32 i = 0; i < n; ++i) {
      b.body()[i] ^= 0x80;
      ASSERT_EQ(BlockCompare(n, a.body(), b.body()), 0) << "differ at " << i << " of " << n;
      ASSERT_EQ(BlockCompare(i, a.body(), b.body()), 1) << "difference beyond the length";
      b.body()[i] ^= 0x80;
    }
  }
}

// Keys and elements are 32-bit values; the comparator counts its calls and
// checks that the caller's values come through.
struct SearchContext {
  int calls = 0;
  uintptr_t keyB = 0;
};

SInt32 CompareU32(void *refCon, const void *keyA, uintptr_t keyB, const void *element, UInt32 size) {
  auto *ctx = static_cast<SearchContext *>(refCon);
  ++ctx->calls;
  EXPECT_EQ(keyB, ctx->keyB);
  EXPECT_EQ(size, 4u);
  UInt32 key, value;
  std::memcpy(&key, keyA, 4);
  std::memcpy(&value, element, 4);
  return key < value ? -1 : key > value ? 1 : 0;
}

TEST(Blocks, BinarySearch) {
  const UInt32 sorted[] = {10, 20, 30, 40, 50, 60, 70};
  struct Case {
    const char *id;
    UInt32 count;
    UInt32 key;
    int expectIndex; // -1: not found
    int maxCalls;
  } cases[] = {
      {"below the first", 7, 5, -1, 1},   {"the first", 7, 10, 0, 1},  {"above the last", 7, 99, -1, 4},
      {"the last", 7, 70, 6, 4},          {"middle", 7, 40, 3, 4},     {"between two", 7, 35, -1, 4},
      {"single element, found", 1, 10, 0, 1}, {"single element, above", 1, 11, -1, 1},
      {"two elements", 2, 20, 1, 2},      {"even count", 6, 60, 5, 4}, {"empty", 0, 10, -1, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    SearchContext ctx;
    ctx.keyB = 0xC0FFEE;
    void *found = BinarySearch(sorted, c.count, 4, &c.key, ctx.keyB, CompareU32, &ctx);
    EXPECT_EQ(found, c.expectIndex < 0 ? nullptr : const_cast<UInt32 *>(&sorted[c.expectIndex]));
    EXPECT_LE(ctx.calls, c.maxCalls);
    if (c.expectIndex == 0 || std::string(c.id) == "below the first") {
      EXPECT_EQ(ctx.calls, 1) << "decided by the first element alone";
    }
  }
  // Every element of every prefix is found.
  for (UInt32 count = 1; count <= 7; ++count)
    for (UInt32 i = 0; i < count; ++i) {
      SearchContext ctx;
      EXPECT_EQ(BinarySearch(sorted, count, 4, &sorted[i], 0, CompareU32, &ctx), &sorted[i]);
    }
  SearchContext ctx;
  UInt32 key = 10;
  EXPECT_EQ(BinarySearch(nullptr, 7, 4, &key, 0, CompareU32, &ctx), nullptr);
  EXPECT_EQ(BinarySearch(sorted, 7, 0, &key, 0, CompareU32, &ctx), nullptr);
  EXPECT_EQ(BinarySearch(sorted, 7, 4, &key, 0, nullptr, &ctx), nullptr);
}

// An array of 2^32 - 1 one-byte elements that is never read: the element's
// value is its index. Searching near its top is where (low + high) / 2
// overflows. A bisection needs at most 33 comparisons; past 64 the
// comparator ends the search with a wrong "match" instead of looping on.
struct HugeArray {
  const char *base;
  int calls = 0;
};

SInt32 CompareIndex(void *refCon, const void *keyA, uintptr_t, const void *element, UInt32) {
  auto *array = static_cast<HugeArray *>(refCon);
  if (++array->calls > 64)
    return 0;
  const UInt64 index = UInt64(static_cast<const char *>(element) - array->base);
  const UInt64 key = *static_cast<const UInt64 *>(keyA);
  return key < index ? -1 : key > index ? 1 : 0;
}

TEST(Blocks, BinarySearchOverAHugeArray) {
  char anchor = 0;
  const UInt32 count = 0xFFFFFFFFu;
  for (UInt64 key : {UInt64(count - 1), UInt64(count - 2), UInt64(0x80000000u), UInt64(3)}) {
    SCOPED_TRACE(key);
    HugeArray array{&anchor};
    void *found = BinarySearch(&anchor, count, 1, &key, 0, CompareIndex, &array);
    EXPECT_EQ(found, &anchor + key);
    EXPECT_LE(array.calls, 33);
  }
}

TEST(Blocks, CollapseArray) {
  struct Case {
    const char *id;
    std::vector<UInt32> in, out;
    UInt32 kept;
  } cases[] = {
      {"mixed", {0, 5, 0, 7}, {5, 7, 0, 0}, 2},
      {"order kept", {3, 0, 0, 1, 2, 0}, {3, 1, 2, 0, 0, 0}, 3},
      {"all zero", {0, 0, 0}, {0, 0, 0}, 0},
      {"none zero", {9, 8}, {9, 8}, 2},
      {"empty", {}, {}, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    std::vector<UInt32> a = c.in;
    a.push_back(0xDEADBEEF); // beyond the count: untouched
    EXPECT_EQ(CollapseArray(UInt32(c.in.size()), a.data()), c.kept);
    std::vector<UInt32> want = c.out;
    want.push_back(0xDEADBEEF);
    EXPECT_EQ(a, want);
  }
}

TEST(Blocks, PageContiguity) {
  struct Case {
    const char *id;
    UInt32 table[2];
    UInt32 index;
    UInt32 pageSize;
    bool previous; // IsPreviousPageContiguous(table, index)
  } previousCases[] = {
      {"adjacent pages", {0x1000, 0x2000}, 1, 4096, true},
      {"same page twice", {0x1000, 0x1000}, 1, 4096, false},
      {"adjacent, addresses inside the pages", {0x1234, 0x2FFF}, 1, 4096, true},
      {"a page apart", {0x1000, 0x3000}, 1, 4096, false},
      {"backwards", {0x2000, 0x1000}, 1, 4096, false},
      {"index 0 has no previous page", {0x1000, 0x2000}, 0, 4096, false},
      {"page size 0", {0x1000, 0x2000}, 1, 0, false},
      {"top of the address space", {0xFFFFE000u, 0xFFFFF000u}, 1, 4096, true},
  };
  for (const Case &c : previousCases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(IsPreviousPageContiguous(c.table, c.index, c.pageSize), c.previous);
  }
  struct NextCase {
    const char *id;
    UInt32 table[2];
    UInt32 pageSize;
    bool next; // IsNextPageContiguous(table, 0)
  } nextCases[] = {
      {"adjacent pages", {0x1000, 0x2000}, 4096, true},
      {"address inside the page", {0x1ABC, 0x2000}, 4096, true},
      {"same page", {0x1000, 0x1000}, 4096, false},
      {"last page does not wrap to 0", {0xFFFFF000u, 0}, 4096, false},
      {"page size 0", {0x1000, 0x1000}, 0, false},
  };
  for (const NextCase &c : nextCases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(IsNextPageContiguous(c.table, 0, c.pageSize), c.next);
  }
}

TEST(Blocks, CacheLineSize) {
  UInt32 line = 0;
  ASSERT_EQ(CalculateCacheLineSize(&line), noErr);
  EXPECT_GE(line, 16u);
  EXPECT_EQ(line & (line - 1), 0u) << "a power of two";
  const long system = sysconf(_SC_LEVEL1_DCACHE_LINESIZE);
  if (system > 0) {
    EXPECT_EQ(line, UInt32(system));
  }
  EXPECT_EQ(CalculateCacheLineSize(nullptr), noErr);
}

} // namespace
