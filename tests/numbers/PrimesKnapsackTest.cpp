// Next prime against a sieve and known primes near 2^32 and 2^64; the
// knapsack against its recursive definition, its argument checks and its
// memory handling.
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "platform/memory/Memory.h"
#include "support/TestSupport.h"
#include "toolbox/numbers/MathCore.h"
#include "toolbox/numbers/NumbersToolbox.h"

namespace {

UInt64 Next64(std::uint64_t n) { return GetNextPrime64(UInt32(n >> 32), UInt32(n)); }

TEST(Primes, SmallArgumentsKeepTheirResults) {
  struct Case {
    UInt32 n, result;
  };
  // 0 and 1 give 1, 2 gives 3 (the search runs over odd numbers).
  const Case cases[] = {{0, 1},   {1, 1},   {2, 3},   {3, 3},   {4, 5},
                        {14, 17}, {17, 17}, {25, 29}, {90, 97}, {2047, 2053}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(GetNextPrime(c.n), c.result);
    EXPECT_EQ(Next64(c.n), c.result);
  }
}

TEST(Primes, MatchASieveBelowTenMillion) {
  constexpr std::uint32_t kLimit = 10'000'000;
  std::vector<bool> composite(kLimit + 20, false);
  for (std::uint32_t i = 2; std::uint64_t(i) * i < composite.size(); ++i)
    if (!composite[i])
      for (std::uint64_t j = std::uint64_t(i) * i; j < composite.size(); j += i) composite[j] = true;
  // For consecutive primes q < p (from 5 on): every start after q finds p;
  // the checks are the prime itself, the number after q and the one before
  // p. The 64-bit form is checked on every eighth gap.
  std::uint32_t q = 5;
  int gap = 0;
  for (std::uint32_t p = 7; p < composite.size(); ++p) {
    if (composite[p]) continue;
    ASSERT_EQ(GetNextPrime(p), p);
    ASSERT_EQ(GetNextPrime(q + 1), p) << "after " << q;
    ASSERT_EQ(GetNextPrime(p - 1), p);
    if (++gap % 8 == 0) {
      ASSERT_EQ(Next64(q + 1), p);
      ASSERT_EQ(Next64(p), p);
    }
    q = p;
  }
}

TEST(Primes, NearTwoToThe32) {
  // The ten largest primes below 2^32 are 2^32 - k for these k; the one
  // before them is 2^32 - 299.
  const std::uint64_t below[] = {267, 209, 185, 153, 135, 107, 99, 65, 17, 5};
  std::uint64_t previous = (1ull << 32) - 299;
  for (std::uint64_t k : below) {
    const std::uint64_t p = (1ull << 32) - k;
    SCOPED_TRACE(p);
    EXPECT_EQ(GetNextPrime(UInt32(previous + 1)), p);
    EXPECT_EQ(GetNextPrime(UInt32(p)), p);
    EXPECT_EQ(Next64(previous + 1), p);
    previous = p;
  }
  // Past the largest 32-bit prime there is none: 0, never a wrapped value.
  for (std::uint64_t n = 4294967292u; n <= 0xFFFFFFFFu; ++n) EXPECT_EQ(GetNextPrime(UInt32(n)), 0u);
  // The 64-bit form goes on: the first primes above 2^32 are 2^32 + 15, + 61.
  EXPECT_EQ(Next64(4294967292u), (1ull << 32) + 15);
  EXPECT_EQ(Next64((1ull << 32) + 16), (1ull << 32) + 61);
  EXPECT_EQ(GetNextPrime(0x80000000u), 0x80000000u + 11);
}

TEST(Primes, NearTwoToThe64) {
  // The ten largest primes below 2^64 are 2^64 - k for these k.
  const std::uint64_t below[] = {363, 353, 323, 279, 257, 189, 179, 95, 83, 59};
  std::uint64_t previous = 0 - std::uint64_t(400);
  for (std::uint64_t k : below) {
    const std::uint64_t p = 0 - k;
    SCOPED_TRACE(p);
    EXPECT_EQ(Next64(previous + 1), p);
    EXPECT_EQ(Next64(p), p);
    previous = p;
  }
  EXPECT_EQ(Next64(0 - std::uint64_t(58)), 0u) << "no 64-bit prime left";
  EXPECT_EQ(Next64(~std::uint64_t(0)), 0u);
  EXPECT_EQ(Next64(1ull << 63), (1ull << 63) + 29);
}

TEST(Primes, StrongPseudoprimesAreNotTakenForPrimes) {
  // Composites that pass Miller-Rabin for several small bases, and the
  // prime that follows each.
  struct Case {
    std::uint64_t pseudoprime, next;
  };
  const Case cases[] = {
      {2047ull, 2053ull},                                  // base 2
      {1373653ull, 1373677ull},                            // bases 2, 3
      {25326001ull, 25326023ull},                          // bases 2, 3, 5
      {3215031751ull, 3215031767ull},                      // bases 2 to 7
      {4759123141ull, 4759123151ull},                      // bases 2, 7, 61
      {2152302898747ull, 2152302898771ull},                // bases 2 to 11
      {3474749660383ull, 3474749660401ull},                // bases 2 to 13
      {341550071728321ull, 341550071728361ull},            // bases 2 to 17
      {3825123056546413051ull, 3825123056546413057ull},    // bases 2 to 23
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.pseudoprime);
    EXPECT_EQ(Next64(c.pseudoprime), c.next);
    if (c.pseudoprime < (1ull << 32)) {
      EXPECT_EQ(GetNextPrime(UInt32(c.pseudoprime)), c.next);
    }
  }
}

// --- knapsack -----------------------------------------------------------------

// The recursive definition, without memoising: the best total for a
// capacity, trying each of the first cap sizes that fits.
std::int32_t Level(std::int32_t cap, const std::vector<std::int32_t> &sizes) {
  std::int32_t best = 0;
  for (std::int32_t i = 0; i < cap; ++i) {
    if (sizes[i] > cap) continue;
    best = std::max(best, Level(cap - sizes[i], sizes) + sizes[i]);
  }
  return best;
}

TEST(Knapsack, BottomUpMatchesTheRecursiveDefinition) {
  std::mt19937 rng(21);
  for (int round = 0; round < 200; ++round) {
    const std::int32_t n = 1 + std::int32_t(rng() % 12);
    std::vector<std::int32_t> sizes(n);
    for (auto &s : sizes) s = 1 + std::int32_t(rng() % (round % 2 ? 6 : 20));
    std::vector<std::int32_t> best(n + 1, -1), choice(n + 1, -1);
    ql::detail::KnapsackFill(n, sizes.data(), best.data(), choice.data());
    for (std::int32_t cap = 1; cap <= n; ++cap) {
      ASSERT_EQ(best[cap], Level(cap, sizes)) << "round " << round << " capacity " << cap;
      // The choice is the lowest-index size reaching the best total.
      std::int32_t expected = sizes[0];
      for (std::int32_t i = 0; i < cap; ++i)
        if (sizes[i] <= cap && Level(cap - sizes[i], sizes) + sizes[i] == best[cap] &&
            best[cap] > 0) {
          expected = sizes[i];
          break;
        }
      ASSERT_EQ(choice[cap], expected) << "round " << round << " capacity " << cap;
    }
  }
}

TEST(Knapsack, RejectsSizesOutsideTheDomain) {
  struct Case {
    const char *id;
    SInt32 count;
    std::vector<SInt32> sizes;
    OSErr err;
  };
  const Case cases[] = {
      {"a size of zero", 3, {2, 0, 1}, paramErr},
      {"a negative size", 3, {2, -5, 1}, paramErr},
      {"negative count", -1, {1}, paramErr},
      {"nothing to do", 0, {}, noErr},
      {"sizes larger than every capacity", 3, {9, 9, 9}, noErr},
      {"ordinary", 5, {3, 2, 4, 1, 7}, noErr},
  };
  const SInt32 handles = PlatformLiveHandleCount();
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(Knapsack(c.count, c.sizes.empty() ? nullptr : c.sizes.data()), c.err);
    EXPECT_EQ(PlatformLiveHandleCount(), handles);
  }
  EXPECT_EQ(Knapsack(4, nullptr), paramErr);
}

TEST(Knapsack, LongListsNeedNoDeepRecursion) {
  // All sizes 1: the recursive form descends one level per capacity.
  std::vector<SInt32> ones(20000, 1);
  EXPECT_EQ(Knapsack(SInt32(ones.size()), ones.data()), noErr);
}

TEST(Knapsack, MemoryFailuresReleaseEverything) {
  const std::vector<SInt32> sizes = {5, 3, 8, 1, 2, 9, 4, 4};
  // Any single failed allocation is absorbed by falling back to the
  // application heap; the sweep also checks nothing leaks.
  qltest::ForEachAllocFailure(
      [&] { return Knapsack(SInt32(sizes.size()), sizes.data()); },
      [](OSErr result, bool) { EXPECT_TRUE(result == noErr || result == memFullErr) << result; });
  // With both zones full the result is memFullErr and nothing is left over.
  const SInt32 handles = PlatformLiveHandleCount();
  PlatformSetZoneLimit(kPlatformApplicationZone, 0);
  PlatformSetZoneLimit(kPlatformTemporaryZone, 0);
  EXPECT_EQ(Knapsack(SInt32(sizes.size()), sizes.data()), memFullErr);
  PlatformSetZoneLimit(kPlatformApplicationZone, INT32_MAX);
  PlatformSetZoneLimit(kPlatformTemporaryZone, INT32_MAX);
  EXPECT_EQ(PlatformLiveHandleCount(), handles);
  // Room for one work array but not two: the first is released.
  PlatformSetZoneLimit(kPlatformTemporaryZone, 0);
  PlatformSetZoneLimit(kPlatformApplicationZone, PlatformZoneBytesInUse(kPlatformApplicationZone) +
                                                     SInt64(sizes.size() + 1) * 4 + 8);
  EXPECT_EQ(Knapsack(SInt32(sizes.size()), sizes.data()), memFullErr);
  PlatformSetZoneLimit(kPlatformApplicationZone, INT32_MAX);
  PlatformSetZoneLimit(kPlatformTemporaryZone, INT32_MAX);
  EXPECT_EQ(PlatformLiveHandleCount(), handles);
}

} // namespace
