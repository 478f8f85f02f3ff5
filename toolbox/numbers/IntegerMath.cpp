// Integer math: pinning, range translation, rounding, divisors, powers of
// two, square roots, primes, BCD, temperatures and the knapsack.
#include "toolbox/numbers/NumbersToolbox.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/memory/Memory.h"
#include "toolbox/numbers/MathCore.h"

namespace {

constexpr double kInt32Min = -2147483648.0;
constexpr double kInt32Max = 2147483647.0;

// Truncates toward zero, saturating beyond the 32-bit range; NaN gives
// nanResult.
SInt32 TruncSaturate(double x, SInt32 nanResult) {
  if (std::isnan(x)) return nanResult;
  if (x <= kInt32Min) return INT32_MIN;
  if (x >= kInt32Max) return INT32_MAX;
  return SInt32(x); // |x| < 2^31: the conversion truncates exactly
}

std::uint32_t UnsignedGcd(std::uint32_t x, std::uint32_t y) {
  while (y != 0) {
    const std::uint32_t t = x % y;
    x = y;
    y = t;
  }
  return x;
}

// --- primes ---------------------------------------------------------------

constexpr std::uint32_t kSmallPrimes[] = {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47};
constexpr std::uint32_t kLargestPrime32 = 4294967291u;              // 2^32 - 5
constexpr std::uint64_t kLargestPrime64 = 18446744073709551557ull;  // 2^64 - 59

std::uint64_t MulMod(std::uint64_t a, std::uint64_t b, std::uint64_t m) {
  return std::uint64_t((unsigned __int128)a * b % m);
}

std::uint64_t PowMod(std::uint64_t base, std::uint64_t e, std::uint64_t m) {
  std::uint64_t result = 1;
  base %= m;
  while (e != 0) {
    if (e & 1) result = MulMod(result, base, m);
    base = MulMod(base, base, m);
    e >>= 1;
  }
  return result;
}

// One Miller-Rabin round: false when a proves n (odd, > a) composite.
bool StrongProbablePrime(std::uint64_t n, std::uint64_t a) {
  std::uint64_t d = n - 1;
  int s = 0;
  while ((d & 1) == 0) {
    d >>= 1;
    ++s;
  }
  std::uint64_t x = PowMod(a, d, n);
  if (x == 1 || x == n - 1) return true;
  for (int r = 1; r < s; ++r) {
    x = MulMod(x, x, n);
    if (x == n - 1) return true;
  }
  return false;
}

// Primality of an odd n >= 5. Trial division by the small primes settles
// most candidates; the rest go through Miller-Rabin with a base set that is
// exact for the range: {2, 7, 61} below 4,759,123,141 and the first twelve
// primes below 3.3 * 10^24.
bool IsOddPrime(std::uint64_t n) {
  for (std::uint32_t p : kSmallPrimes) {
    if (n == p) return true;
    if (n % p == 0) return false;
  }
  if (n < 53ull * 53ull) return true;
  if (n < 4759123141ull) {
    for (std::uint64_t a : {2u, 7u, 61u})
      if (!StrongProbablePrime(n, a)) return false;
    return true;
  }
  for (std::uint64_t a : {2u, 3u, 5u, 7u, 11u, 13u, 17u, 19u, 23u, 29u, 31u, 37u})
    if (!StrongProbablePrime(n, a)) return false;
  return true;
}

// Smallest prime >= n among odd numbers (an even n starts at n + 1), for
// 4 <= n <= limit where limit is a prime.
std::uint64_t NextPrimeFrom(std::uint64_t n) {
  if ((n & 1) == 0) ++n;
  while (!IsOddPrime(n)) n += 2;
  return n;
}

} // namespace

extern "C" void PinValueInRangePtr(SInt32 *value, SInt32 minimum, SInt32 maximum) noexcept {
  if (value == nullptr) return;
  if (*value > maximum)
    *value = maximum;
  else if (*value < minimum)
    *value = minimum;
}

extern "C" SInt32 TranslateValue(SInt32 fromMin, SInt32 fromMax, SInt32 value, SInt32 toMin,
                                 SInt32 toMax) noexcept {
  if (fromMin == fromMax) return toMin;
  // The differences are exact in 64 bits; converting them to float rounds
  // exactly as the 32-bit differences would wherever those do not overflow.
  const float dv = float(std::int64_t(value) - fromMin);
  const float dr = float(std::int64_t(fromMax) - fromMin);
  const float dt = float(std::int64_t(toMax) - toMin);
  const float ratio = dv / dr;
  const float scaled = dt * ratio;
  return TruncSaturate(double(toMin) + std::trunc(double(scaled)), toMin);
}

extern "C" double TranslateFloatValue(double fromMin, double fromMax, double value, double toMin,
                                      double toMax) noexcept {
  if (fromMin == fromMax) return toMin;
  return std::fma(toMax - toMin, (value - fromMin) / (fromMax - fromMin), toMin);
}

extern "C" SInt32 TranslateFloatValueToIntegerValue(double fromMin, double fromMax, double value,
                                                    SInt32 toMin, SInt32 toMax) noexcept {
  if (fromMin == fromMax) return toMin;
  const double ratio = (value - fromMin) / (fromMax - fromMin);
  // toMax - toMin is exact in double for any two 32-bit values.
  return TruncSaturate(std::fma(double(toMax) - double(toMin), ratio, double(toMin)), toMin);
}

extern "C" SInt32 GreatestCommonDenominator(SInt32 a, SInt32 b) noexcept {
  if (a <= 0) return b;
  // Euclid by remainder. |b| is taken in unsigned arithmetic so that
  // INT32_MIN works; the result divides a, so it fits.
  const std::uint32_t y = b < 0 ? 0u - std::uint32_t(b) : std::uint32_t(b);
  return SInt32(UnsignedGcd(std::uint32_t(a), y));
}

extern "C" SInt32 Round(double x) noexcept {
  return TruncSaturate(std::round(x), 0);
}

extern "C" SInt32 IntegerPower(SInt32 base, SInt32 n) noexcept {
  // After 5 squarings an even base is 0 modulo 2^32, and after 30 an odd one
  // is 1 (the odd residues form a group of exponent 2^30); both are fixed
  // points, so more than 32 squarings change nothing.
  const SInt32 steps = n < 32 ? n : 32;
  std::uint32_t v = std::uint32_t(base);
  for (SInt32 i = 0; i < steps; ++i) v *= v;
  return SInt32(v);
}

extern "C" SInt32 Mod(SInt32 a, SInt32 b) noexcept {
  if (b == 0) return a;
  // In 64 bits neither INT32_MIN / -1 nor |INT32_MIN| overflows.
  std::int64_t r = std::int64_t(a) % std::int64_t(b);
  if (r < 0) r += b < 0 ? -std::int64_t(b) : std::int64_t(b);
  return SInt32(r);
}

extern "C" SInt32 PowerOf2(UInt32 x) noexcept {
  if (x < 2 || (x & (x - 1)) != 0) return 0;
  return __builtin_ctz(x);
}

extern "C" UInt32 NextPowerOf2(UInt32 x) noexcept {
  if (x <= 1) return 2;
  if (x >= 0x80000000u) return 0;
  return 1u << (32 - __builtin_clz(x));
}

extern "C" UInt32 QuantizeValueUp(UInt32 value, UInt32 quantum) noexcept {
  return (value + quantum - 1) & (quantum - 1);
}

extern "C" UInt32 QuantizeValueDown(UInt32 value, UInt32 quantum) noexcept {
  return value & (quantum - 1);
}

extern "C" void OptimizeRatio(UInt32 numerator, UInt32 denominator, UInt32 *outNumerator,
                              UInt32 *outDenominator, SInt32 *outNumeratorShift,
                              SInt32 *outDenominatorShift) noexcept {
  std::uint32_t g = UnsignedGcd(numerator, denominator);
  if (g == 0) g = 1; // 0/0: nothing to reduce
  const std::uint32_t num = numerator / g;
  const std::uint32_t den = denominator / g;
  auto shift = [](std::uint32_t v) -> SInt32 {
    if (v == 1) return 0;
    const SInt32 k = PowerOf2(v);
    return k != 0 ? k : -1;
  };
  if (outNumerator != nullptr) *outNumerator = num;
  if (outDenominator != nullptr) *outDenominator = den;
  if (outNumeratorShift != nullptr) *outNumeratorShift = shift(num);
  if (outDenominatorShift != nullptr) *outDenominatorShift = shift(den);
}

extern "C" SInt32 IntegerSquareRoot(SInt32 n) noexcept {
  if (n <= 0) return 0;
  // The double square root of a 31-bit value is within one of the answer;
  // settle it exactly.
  std::int64_t r = std::int64_t(std::sqrt(double(n)));
  while (r * r > n) --r;
  while ((r + 1) * (r + 1) <= n) ++r;
  return SInt32(r);
}

extern "C" UInt32 GetNextPrime(UInt32 n) noexcept {
  if (n <= 1) return 1;
  if (n <= 3) return 3;
  if (n > kLargestPrime32) return 0;
  return UInt32(NextPrimeFrom(n));
}

extern "C" UInt64 GetNextPrime64(UInt32 high, UInt32 low) noexcept {
  const std::uint64_t n = (std::uint64_t(high) << 32) | low;
  if (n <= 1) return 1;
  if (n <= 3) return 3;
  if (n > kLargestPrime64) return 0;
  return NextPrimeFrom(n);
}

extern "C" UInt32 BCDToInteger(UInt32 byteCount, const void *bytes) noexcept {
  if (bytes == nullptr) return 0;
  const auto *p = static_cast<const std::uint8_t *>(bytes);
  std::uint32_t result = 0;
  for (UInt32 i = 0; i < byteCount; ++i)
    result = result * 100u + std::uint32_t(p[i] >> 4) * 10u + (p[i] & 0x0Fu);
  return result;
}

extern "C" double CelsiusToFahrenheit(double celsius) noexcept {
  return std::fma(celsius, 1.8, 32.0);
}

extern "C" double FahrenheitToCelsius(double fahrenheit) noexcept {
  return (fahrenheit - 32.0) / 1.8;
}

namespace {

// A zeroed block of byteCount bytes, from temporary memory first and then
// the application heap; null when neither has room.
Handle NewZeroedWorkHandle(Size byteCount) {
  OSErr err = noErr;
  Handle h = TempNewHandle(byteCount, &err);
  if (h == nullptr) return NewHandleClear(byteCount);
  for (Size i = 0; i < byteCount; ++i) (*h)[i] = 0;
  return h;
}

} // namespace

extern "C" OSErr Knapsack(SInt32 count, const SInt32 *sizes) noexcept {
  if (count < 0) return paramErr;
  if (count == 0) return noErr;
  if (sizes == nullptr) return paramErr;
  for (SInt32 i = 0; i < count; ++i)
    if (sizes[i] <= 0) return paramErr;
  // Entries 0 .. count, one per capacity.
  const std::int64_t bytes = (std::int64_t(count) + 1) * std::int64_t(sizeof(SInt32));
  if (bytes > std::numeric_limits<Size>::max()) return memFullErr;
  Handle best = NewZeroedWorkHandle(Size(bytes));
  if (best == nullptr) return memFullErr;
  Handle choice = NewZeroedWorkHandle(Size(bytes));
  if (choice == nullptr) {
    DisposeHandle(best);
    return memFullErr;
  }
  // Nothing allocates while the arrays are in use, so the blocks stay put.
  ql::detail::KnapsackFill(count, sizes, reinterpret_cast<SInt32 *>(*best),
                           reinterpret_cast<SInt32 *>(*choice));
  DisposeHandle(choice);
  DisposeHandle(best);
  return noErr;
}
