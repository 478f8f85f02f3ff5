// Integer math against references that model each function's own
// arithmetic: exact integers, single precision where the translation works
// in single precision, and one rounding where a multiply and add are fused.
// The floating-point and BCD references come from Python (exact fractions).
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "packing/PythonOracle.h"
#include "toolbox/numbers/NumbersToolbox.h"

namespace {

std::filesystem::path Oracle() { return qltest::ScriptDir(__FILE__) / "math_oracle.py"; }

std::string HexFloat(double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%a", x);
  return buffer;
}

// Python's float.hex and C's %a spell some values differently; compare
// values, not spellings.
double FromHex(const std::string &s) { return std::strtod(s.c_str(), nullptr); }

// A batch of requests to the oracle with the value our function gave for
// each; compared in one Python run.
struct Batch {
  struct Item {
    std::string request;
    std::string ours;
    bool isFloat;
  };
  std::vector<Item> items;
  void Int(const std::string &request, std::int64_t ours) {
    items.push_back({request, std::to_string(ours), false});
  }
  void Float(const std::string &request, double ours) {
    items.push_back({request, HexFloat(ours), true});
  }
  void Check() {
    std::vector<std::string> requests;
    for (const auto &i : items) requests.push_back(i.request);
    const auto answers = qltest::RunPython(Oracle(), requests);
    ASSERT_EQ(answers.size(), items.size());
    for (std::size_t k = 0; k < items.size(); ++k) {
      SCOPED_TRACE(items[k].request);
      if (items[k].isFloat) {
        const double want = FromHex(answers[k]), got = FromHex(items[k].ours);
        EXPECT_TRUE(want == got || (std::isnan(want) && std::isnan(got)))
            << "want " << answers[k] << " got " << items[k].ours;
      } else {
        EXPECT_EQ(answers[k], items[k].ours);
      }
    }
  }
};

std::string Ints(std::initializer_list<std::int64_t> v) {
  std::string s;
  for (auto x : v) s += " " + std::to_string(x);
  return s;
}

// --- pinning ----------------------------------------------------------------

TEST(IntegerMath, PinValueInRange) {
  struct Case {
    const char *id;
    SInt32 value, minimum, maximum, result;
  };
  const Case cases[] = {
      {"below", 5, 10, 20, 10},
      {"above", 25, 10, 20, 20},
      {"inside", 15, 10, 20, 15},
      {"at the edges", 10, 10, 20, 10},
      {"inverted range: maximum wins above it", 15, 20, 10, 10},
      {"inverted range: below both ends at the minimum", 5, 20, 10, 20},
      {"extremes", INT32_MIN, INT32_MIN + 1, INT32_MAX, INT32_MIN + 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    SInt32 v = c.value;
    PinValueInRangePtr(&v, c.minimum, c.maximum);
    EXPECT_EQ(v, c.result);
  }
  PinValueInRangePtr(nullptr, 0, 1);
}

// --- translation ------------------------------------------------------------

TEST(IntegerMath, TranslateValueInSinglePrecision) {
  EXPECT_EQ(TranslateValue(0, 255, 128, 0, 65535), 32896);
  EXPECT_EQ(TranslateValue(0, 10, 5, 100, 200), 150);
  // A degenerate source range maps to the target's start instead of
  // converting NaN or infinity.
  EXPECT_EQ(TranslateValue(7, 7, 7, -3, 9), -3);
  EXPECT_EQ(TranslateValue(7, 7, 100, -3, 9), -3);
  // Differences beyond 32 bits and results beyond the range saturate.
  EXPECT_EQ(TranslateValue(0, 1, 1, INT32_MIN, INT32_MAX), INT32_MAX);
  EXPECT_EQ(TranslateValue(0, 1, 2, 0, INT32_MAX), INT32_MAX);
  EXPECT_EQ(TranslateValue(0, 1, -2, 0, INT32_MAX), INT32_MIN);
  EXPECT_EQ(TranslateValue(INT32_MIN, INT32_MAX, 0, 0, 1000), 500);

  QLTEST_REQUIRE_PYTHON();
  std::mt19937_64 rng(11);
  Batch batch;
  auto add = [&](SInt32 a, SInt32 b, SInt32 v, SInt32 c, SInt32 d) {
    batch.Int("translate" + Ints({a, b, v, c, d}), TranslateValue(a, b, v, c, d));
  };
  // The way the tag engine scales volume fields, every 8-bit and a spread of
  // 16-bit values.
  for (SInt32 v = 0; v <= 255; ++v) add(0, 255, v, 0, 65535);
  for (SInt32 v = 0; v <= 65535; v += 97) add(0, 65535, v, 0, 255);
  for (int i = 0; i < 1500; ++i) {
    auto small = [&] { return SInt32(std::int64_t(rng() % 20001) - 10000); };
    auto any = [&] { return SInt32(std::uint32_t(rng())); };
    if (i % 3 == 0)
      add(any(), any(), any(), any(), any());
    else
      add(small(), small(), small(), small(), small());
  }
  batch.Check();
}

TEST(IntegerMath, TranslateFloatFormsFuseMultiplyAndAdd) {
  EXPECT_EQ(TranslateFloatValue(0, 10, 5, 100, 200), 150.0);
  EXPECT_EQ(TranslateFloatValue(2, 2, 5, -1.5, 200), -1.5) << "degenerate source range";
  EXPECT_EQ(TranslateFloatValueToIntegerValue(0, 10, 5, 100, 200), 150);
  EXPECT_EQ(TranslateFloatValueToIntegerValue(0, 1, 0.999, 0, 10), 9) << "truncates";
  EXPECT_EQ(TranslateFloatValueToIntegerValue(0, 1, -0.999, 0, 10), -9) << "toward zero";
  EXPECT_EQ(TranslateFloatValueToIntegerValue(3, 3, 1, -7, 7), -7) << "degenerate source range";
  EXPECT_EQ(TranslateFloatValueToIntegerValue(0, 1, NAN, -7, 7), -7) << "NaN";
  EXPECT_EQ(TranslateFloatValueToIntegerValue(0, 1, INFINITY, 0, 1), INT32_MAX);
  EXPECT_EQ(TranslateFloatValueToIntegerValue(0, 1, -INFINITY, 0, 1), INT32_MIN);
  EXPECT_EQ(TranslateFloatValueToIntegerValue(0, 1, 1e12, 0, 1), INT32_MAX);
  EXPECT_EQ(TranslateFloatValueToIntegerValue(0, 1, -1e12, 0, 1), INT32_MIN);

  QLTEST_REQUIRE_PYTHON();
  std::mt19937_64 rng(12);
  std::uniform_real_distribution<double> wide(-1e6, 1e6), unit(0, 1);
  Batch batch;
  int unfusedWouldDiffer = 0;
  for (int i = 0; i < 1500; ++i) {
    const double a = wide(rng), b = wide(rng), v = i % 2 ? wide(rng) : a + (b - a) * unit(rng);
    const double c = wide(rng), d = wide(rng);
    const double ours = TranslateFloatValue(a, b, v, c, d);
    batch.Float("translatef " + HexFloat(a) + " " + HexFloat(b) + " " + HexFloat(v) + " " +
                    HexFloat(c) + " " + HexFloat(d),
                ours);
    volatile double product = (d - c) * ((v - a) / (b - a));
    if (product + c != ours) ++unfusedWouldDiffer;
    const SInt32 ci = SInt32(std::uint32_t(rng())), di = SInt32(std::uint32_t(rng()));
    batch.Int("translatefi " + HexFloat(a) + " " + HexFloat(b) + " " + HexFloat(v) +
                  Ints({ci, di}),
              TranslateFloatValueToIntegerValue(a, b, v, ci, di));
  }
  EXPECT_GT(unfusedWouldDiffer, 0) << "the cases must tell a fused result from an unfused one";
  batch.Check();
}

TEST(IntegerMath, Temperatures) {
  EXPECT_EQ(CelsiusToFahrenheit(100), 212.0);
  EXPECT_EQ(CelsiusToFahrenheit(-40), -40.0);
  EXPECT_EQ(FahrenheitToCelsius(-40), -40.0);
  EXPECT_EQ(FahrenheitToCelsius(212), 100.0);

  QLTEST_REQUIRE_PYTHON();
  std::mt19937_64 rng(13);
  std::uniform_real_distribution<double> temps(-500, 5000);
  Batch batch;
  int unfusedWouldDiffer = 0;
  for (int i = 0; i < 1000; ++i) {
    const double x = temps(rng);
    const double f = CelsiusToFahrenheit(x);
    volatile double product = x * 1.8;
    if (product + 32 != f) ++unfusedWouldDiffer;
    batch.Float("c2f " + HexFloat(x), f);
    batch.Float("f2c " + HexFloat(x), FahrenheitToCelsius(x));
  }
  EXPECT_GT(unfusedWouldDiffer, 0);
  batch.Check();
}

// --- rounding -----------------------------------------------------------------

TEST(IntegerMath, RoundHalvesAwayFromZeroAndSaturates) {
  struct Case {
    const char *id;
    double x;
    SInt32 result;
  };
  const Case cases[] = {
      {"half up", 0.5, 1},
      {"negative half", -0.5, -1},
      {"just below a negative half", -0.49, 0},
      {"2.5", 2.5, 3},
      {"-2.5", -2.5, -3},
      {"2.4", 2.4, 2},
      {"largest double below one half", 0.49999999999999994, 0},
      {"largest 32-bit value", 2147483647.0, INT32_MAX},
      {"rounds up past the range", 2147483647.5, INT32_MAX},
      {"smallest 32-bit value", -2147483648.0, INT32_MIN},
      {"rounds to the smallest", -2147483648.4, INT32_MIN},
      {"far beyond", 1e300, INT32_MAX},
      {"far below", -1e300, INT32_MIN},
      {"infinity", INFINITY, INT32_MAX},
      {"minus infinity", -INFINITY, INT32_MIN},
      {"NaN", NAN, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(Round(c.x), c.result);
  }

  QLTEST_REQUIRE_PYTHON();
  std::mt19937_64 rng(14);
  std::uniform_real_distribution<double> wide(-3e9, 3e9);
  Batch batch;
  for (int i = 0; i < 1000; ++i) {
    double x = wide(rng);
    if (i % 3 == 0) x = std::floor(x) + 0.5; // exact halves
    if (i % 3 == 1) x = std::nextafter(std::floor(x) + 0.5, i % 2 ? 0.0 : 1e10);
    batch.Int("round " + HexFloat(x), Round(x));
  }
  batch.Check();
}

// --- divisors and remainders --------------------------------------------------

// The subtraction loop the greatest-common-divisor result is defined by, run
// only where it ends (a <= 0, or both positive).
SInt32 GcdBySubtraction(SInt32 a, SInt32 b) {
  while (a > 0) {
    if (a < b) std::swap(a, b);
    a -= b;
  }
  return b;
}

TEST(IntegerMath, GreatestCommonDenominator) {
  EXPECT_EQ(GreatestCommonDenominator(12, 8), 4);
  EXPECT_EQ(GreatestCommonDenominator(0, 7), 7);
  // Same results as the subtraction loop wherever it ends.
  for (SInt32 a = -20; a <= 60; ++a)
    for (SInt32 b = -20; b <= 60; ++b) {
      if (a > 0 && b <= 0) continue;
      ASSERT_EQ(GreatestCommonDenominator(a, b), GcdBySubtraction(a, b)) << a << ", " << b;
    }
  // Pairs that take billions of subtractions, and a positive first argument
  // with a second of zero or less, where the loop never ends.
  EXPECT_EQ(GreatestCommonDenominator(INT32_MAX, 1), 1);
  EXPECT_EQ(GreatestCommonDenominator(1, INT32_MAX), 1);
  EXPECT_EQ(GreatestCommonDenominator(INT32_MAX, 2147483646), 1);
  EXPECT_EQ(GreatestCommonDenominator(9, 0), 9);
  EXPECT_EQ(GreatestCommonDenominator(12, -8), 4);
  EXPECT_EQ(GreatestCommonDenominator(6, INT32_MIN), 2);
  EXPECT_EQ(GreatestCommonDenominator(INT32_MIN, 6), 6) << "a <= 0 returns b";
  EXPECT_EQ(GreatestCommonDenominator(-4, -9), -9) << "a <= 0 returns b";

  std::mt19937_64 rng(15);
  for (int i = 0; i < 20000; ++i) {
    const SInt32 a = SInt32(1 + rng() % INT32_MAX), b = SInt32(1 + rng() % INT32_MAX);
    const SInt32 k = SInt32(1 + rng() % 1000);
    ASSERT_EQ(GreatestCommonDenominator(a, b), std::gcd(a, b)) << a << ", " << b;
    ASSERT_EQ(GreatestCommonDenominator(a / k * k, b / k * k), std::gcd(a / k * k, b / k * k));
  }
}

TEST(IntegerMath, ModIsNonNegativeAndTotal) {
  struct Case {
    const char *id;
    SInt32 a, b, result;
  };
  const Case cases[] = {
      {"-7 mod 3", -7, 3, 2},
      {"7 mod -3", 7, -3, 1},
      {"-7 mod -3", -7, -3, 2},
      {"zero divisor gives a", 9, 0, 9},
      {"zero divisor keeps a negative a", -9, 0, -9},
      {"minus one", 12345, -1, 0},
      {"smallest by minus one does not trap", INT32_MIN, -1, 0},
      {"smallest by one", INT32_MIN, 1, 0},
      {"by the smallest: positive a", 5, INT32_MIN, 5},
      {"by the smallest: negative a", -5, INT32_MIN, INT32_MAX - 4},
      {"by the smallest: itself", INT32_MIN, INT32_MIN, 0},
      {"by the smallest: largest", INT32_MAX, INT32_MIN, INT32_MAX},
      {"smallest mod largest", INT32_MIN, INT32_MAX, INT32_MAX - 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(Mod(c.a, c.b), c.result);
  }
  // r = a - trunc(a / b) * b, plus |b| when negative, in exact arithmetic.
  std::mt19937_64 rng(16);
  for (int i = 0; i < 20000; ++i) {
    const std::int64_t a = SInt32(std::uint32_t(rng()));
    std::int64_t b = i % 2 ? SInt32(std::uint32_t(rng())) : std::int64_t(rng() % 41) - 20;
    if (b == 0) b = 1;
    std::int64_t r = a - (a / b) * b;
    if (r < 0) r += b < 0 ? -b : b;
    ASSERT_EQ(Mod(SInt32(a), SInt32(b)), r) << a << " mod " << b;
  }
}

TEST(IntegerMath, OptimizeRatio) {
  struct Case {
    const char *id;
    UInt32 num, den;
    UInt32 rn, rd;
    SInt32 sn, sd;
  };
  const Case cases[] = {
      {"640:480", 640, 480, 4, 3, 2, -1},
      {"2:8", 2, 8, 1, 4, 0, 2},
      {"already reduced", 7, 5, 7, 5, -1, -1},
      {"equal", 9, 9, 1, 1, 0, 0},
      {"zero numerator", 0, 6, 0, 1, -1, 0},
      {"zero denominator", 6, 0, 1, 0, 0, -1},
      {"both zero", 0, 0, 0, 0, -1, -1},
      {"beyond 31 bits", 0x80000000u, 3, 0x80000000u, 3, 31, -1},
      {"beyond 31 bits, common factor", 0x80000000u, 0xC0000000u, 2, 3, 1, -1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    UInt32 rn = 0xAAAAAAAA, rd = 0xAAAAAAAA;
    SInt32 sn = 0x55, sd = 0x55;
    OptimizeRatio(c.num, c.den, &rn, &rd, &sn, &sd);
    EXPECT_EQ(rn, c.rn);
    EXPECT_EQ(rd, c.rd);
    EXPECT_EQ(sn, c.sn);
    EXPECT_EQ(sd, c.sd);
    // Each output alone.
    UInt32 only = 0;
    OptimizeRatio(c.num, c.den, nullptr, &only, nullptr, nullptr);
    EXPECT_EQ(only, c.rd);
  }
  OptimizeRatio(4, 6, nullptr, nullptr, nullptr, nullptr);
}

// --- powers of two and quantising -------------------------------------------

TEST(IntegerMath, PowersOfTwo) {
  EXPECT_EQ(IntegerPower(3, 2), 81);
  EXPECT_EQ(IntegerPower(3, 0), 3);
  EXPECT_EQ(IntegerPower(-3, -5), -3) << "n <= 0 leaves the base";
  // Squaring n times with 32-bit wrap-around, step by step.
  for (SInt32 base : {0, 1, 2, 3, -1, -2, 7, 65536, 0x12345678, INT32_MIN, INT32_MAX}) {
    std::uint32_t v = std::uint32_t(base);
    for (SInt32 n = 0; n <= 1000; ++n) {
      ASSERT_EQ(IntegerPower(base, n), SInt32(v)) << base << " squared " << n << " times";
      v *= v;
    }
    EXPECT_EQ(IntegerPower(base, INT32_MAX), SInt32(v)) << "a fixed point long before";
  }

  EXPECT_EQ(PowerOf2(8), 3);
  EXPECT_EQ(PowerOf2(6), 0);
  EXPECT_EQ(PowerOf2(1), 0);
  EXPECT_EQ(PowerOf2(0), 0);
  EXPECT_EQ(NextPowerOf2(0), 2u);
  EXPECT_EQ(NextPowerOf2(1), 2u);
  EXPECT_EQ(NextPowerOf2(5), 8u);
  EXPECT_EQ(NextPowerOf2(8), 16u);
  EXPECT_EQ(NextPowerOf2(0x80000000u), 0u);
  EXPECT_EQ(NextPowerOf2(0xFFFFFFFFu), 0u);
  for (int k = 1; k < 32; ++k) {
    const UInt32 p = 1u << k;
    SCOPED_TRACE(p);
    EXPECT_EQ(PowerOf2(p), k);
    EXPECT_EQ(PowerOf2(p + 1), 0);
    EXPECT_EQ(PowerOf2(p - 1), 0);
    EXPECT_EQ(NextPowerOf2(p), k < 31 ? p << 1 : 0u);
    EXPECT_EQ(NextPowerOf2(p - 1), k == 1 ? 2u : p);
    if (k < 31) {
      EXPECT_EQ(NextPowerOf2(p + 1), p << 1);
    }
  }

  // The masked remainder forms.
  EXPECT_EQ(QuantizeValueUp(13, 8), 4u);
  EXPECT_EQ(QuantizeValueDown(13, 8), 5u);
  EXPECT_EQ(QuantizeValueUp(0xFFFFFFFFu, 16), 14u);
  EXPECT_EQ(QuantizeValueDown(0xFFFFFFFFu, 0), 0xFFFFFFFFu);
}

// --- square roots and BCD -----------------------------------------------------

TEST(IntegerMath, IntegerSquareRootIsTheFloor) {
  EXPECT_EQ(IntegerSquareRoot(15), 3);
  EXPECT_EQ(IntegerSquareRoot(16), 4);
  EXPECT_EQ(IntegerSquareRoot(-4), 0);
  EXPECT_EQ(IntegerSquareRoot(0), 0);
  EXPECT_EQ(IntegerSquareRoot(INT32_MIN), 0);
  EXPECT_EQ(IntegerSquareRoot(INT32_MAX), 46340);
  // Either side of every square in range.
  for (std::int64_t k = 1; k <= 46340; ++k) {
    const std::int64_t sq = k * k;
    ASSERT_EQ(IntegerSquareRoot(SInt32(sq)), k);
    ASSERT_EQ(IntegerSquareRoot(SInt32(sq - 1)), k - 1);
    if (sq + 2 * k <= INT32_MAX) {
      ASSERT_EQ(IntegerSquareRoot(SInt32(sq + 2 * k)), k);
    }
  }

  QLTEST_REQUIRE_PYTHON();
  std::mt19937_64 rng(17);
  Batch batch;
  for (int i = 0; i < 2000; ++i) {
    const SInt32 n = SInt32(std::uint32_t(rng()) >> (i % 31));
    batch.Int("isqrt " + std::to_string(n), IntegerSquareRoot(n));
  }
  batch.Check();
}

TEST(IntegerMath, BCDToInteger) {
  const std::uint8_t bcd[] = {0x12, 0x34};
  EXPECT_EQ(BCDToInteger(2, bcd), 1234u);
  EXPECT_EQ(BCDToInteger(0, nullptr), 0u);
  const std::uint8_t high[] = {0xAF};
  EXPECT_EQ(BCDToInteger(1, high), 115u) << "nibbles above 9 are not rejected: 10 * 10 + 15";

  QLTEST_REQUIRE_PYTHON();
  std::mt19937_64 rng(18);
  Batch batch;
  for (int i = 0; i < 600; ++i) {
    std::vector<std::uint8_t> bytes(rng() % 12);
    std::string hex;
    for (auto &b : bytes) {
      // Mostly valid decimal digits; every fourth string anything at all.
      b = i % 4 ? std::uint8_t((rng() % 10) << 4 | rng() % 10) : std::uint8_t(rng());
      char two[3];
      std::snprintf(two, sizeof two, "%02x", b);
      hex += two;
    }
    batch.Int("bcd " + hex, BCDToInteger(UInt32(bytes.size()), bytes.data()));
  }
  batch.Check();
}

} // namespace
