// The 80-bit extended type and double: exact widening, and narrowing with
// round to nearest, ties to even, in integer arithmetic so that the result
// never depends on the host's floating-point modes.
#include <bit>
#include <cstdint>

#include "platform/intl/International.h"

namespace {

uint64_t Mantissa(const extended80 &x) {
  return (uint64_t(x.man[0]) << 48) | (uint64_t(x.man[1]) << 32) | (uint64_t(x.man[2]) << 16) |
         uint64_t(x.man[3]);
}

void Store(extended80 &x, uint16_t exp, uint64_t m) {
  x.exp = exp;
  x.man[0] = uint16_t(m >> 48);
  x.man[1] = uint16_t(m >> 32);
  x.man[2] = uint16_t(m >> 16);
  x.man[3] = uint16_t(m);
}

constexpr uint64_t kFracMask = (uint64_t(1) << 52) - 1;

} // namespace

extern "C" {

void dtox80(const double *x, extended80 *x80) noexcept {
  const uint64_t bits = std::bit_cast<uint64_t>(*x);
  const uint16_t sign = uint16_t((bits >> 63) << 15);
  const uint32_t e = uint32_t(bits >> 52) & 0x7FF;
  const uint64_t f = bits & kFracMask;
  if (e == 0x7FF) {
    Store(*x80, uint16_t(sign | 0x7FFF), (uint64_t(1) << 63) | (f << 11));
  } else if (e == 0) {
    if (f == 0) {
      Store(*x80, sign, 0);
    } else {
      // Subnormal: f * 2^-1074, normalised so the integer bit is set.
      const int shift = std::countl_zero(f);
      Store(*x80, uint16_t(sign | uint16_t(15372 - shift)), f << shift);
    }
  } else {
    Store(*x80, uint16_t(sign | uint16_t(e - 1023 + 16383)), (uint64_t(1) << 63) | (f << 11));
  }
}

double x80tod(const extended80 *x80) noexcept {
  const uint64_t sign = uint64_t(x80->exp >> 15) << 63;
  const int e = x80->exp & 0x7FFF;
  uint64_t m = Mantissa(*x80);
  if (e == 0x7FFF) {
    if (m == (uint64_t(1) << 63)) return std::bit_cast<double>(sign | (uint64_t(0x7FF) << 52));
    uint64_t f = (m >> 11) & kFracMask;
    if (f == 0 || (m >> 63) == 0) f |= uint64_t(1) << 51; // keep it a (quiet) NaN
    return std::bit_cast<double>(sign | (uint64_t(0x7FF) << 52) | f);
  }
  if (m == 0) return std::bit_cast<double>(sign);
  // value = m / 2^63 * 2^x once m is normalised.
  const int shift = std::countl_zero(m);
  m <<= shift;
  const int x = (e == 0 ? 1 : e) - 16383 - shift;
  if (x > 1023) return std::bit_cast<double>(sign | (uint64_t(0x7FF) << 52));
  if (x >= -1022) {
    uint64_t keep = m >> 11;
    const uint64_t rem = m & 0x7FF;
    if (rem > 0x400 || (rem == 0x400 && (keep & 1))) ++keep;
    int biased = x + 1023;
    if (keep == (uint64_t(1) << 53)) {
      keep >>= 1;
      ++biased;
      if (biased >= 0x7FF) return std::bit_cast<double>(sign | (uint64_t(0x7FF) << 52));
    }
    return std::bit_cast<double>(sign | (uint64_t(biased) << 52) | (keep & kFracMask));
  }
  // Subnormal result: units of 2^-1074, so f = m * 2^(x + 1011).
  const int s = -(x + 1011); // > 11
  if (s > 65) return std::bit_cast<double>(sign);
  const unsigned __int128 M = m;
  uint64_t keep = uint64_t(M >> s);
  const unsigned __int128 rem = M & ((((unsigned __int128)1) << s) - 1);
  const unsigned __int128 half = (unsigned __int128)1 << (s - 1);
  if (rem > half || (rem == half && (keep & 1))) ++keep;
  // A carry into bit 52 is the smallest normal number, which the same bits encode.
  return std::bit_cast<double>(sign | keep);
}

} // extern "C"
