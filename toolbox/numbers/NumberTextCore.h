// Internal cores of the number-text family: digit writers that fill a
// scratch buffer from its end, and the forgiving digit readers. Every
// exported twin (Pascal string, text block, C string) is an adapter over
// these, so the forms cannot drift apart.
#ifndef TOOLBOX_NUMBERS_NUMBERTEXTCORE_H
#define TOOLBOX_NUMBERS_NUMBERTEXTCORE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ql::detail::numtext {

// "00".."99", so that decimal digits go out two at a time.
inline constexpr auto kDigitPairs = [] {
  std::array<char, 200> t{};
  for (int i = 0; i < 100; ++i) {
    t[size_t(2 * i)] = char('0' + i / 10);
    t[size_t(2 * i + 1)] = char('0' + i % 10);
  }
  return t;
}();

// Writes the decimal digits of v so that they end just before `end`;
// returns the first digit. At most 20 bytes.
inline char *WriteDecimal(uint64_t v, char *end) noexcept {
  char *p = end;
  while (v >= 100) {
    const auto pair = size_t(v % 100) * 2;
    v /= 100;
    p -= 2;
    std::memcpy(p, &kDigitPairs[pair], 2);
  }
  if (v >= 10) {
    p -= 2;
    std::memcpy(p, &kDigitPairs[size_t(v) * 2], 2);
  } else {
    *--p = char('0' + v);
  }
  return p;
}

// 32-bit form: the divisions stay 32-bit, which is what makes it fast.
inline char *WriteDecimal32(uint32_t v, char *end) noexcept {
  char *p = end;
  while (v >= 100) {
    const uint32_t pair = (v % 100) * 2;
    v /= 100;
    p -= 2;
    std::memcpy(p, &kDigitPairs[pair], 2);
  }
  if (v >= 10) {
    p -= 2;
    std::memcpy(p, &kDigitPairs[v * 2], 2);
  } else {
    *--p = char('0' + v);
  }
  return p;
}

// Number of decimal digits of v (1 for 0).
inline unsigned DecimalDigits32(uint32_t v) noexcept {
  static constexpr uint32_t kPow10[10] = {1,      10,      100,      1000,      10000,
                                          100000, 1000000, 10000000, 100000000, 1000000000};
  // 0 counts as 1; v | 1 never crosses a power of ten above 1.
  const uint32_t w = v | 1;
  const unsigned bits = 32u - unsigned(__builtin_clz(w));
  const unsigned t = (bits * 1233u) >> 12; // floor(bits * log10(2)), at most one too small
  return t - (w < kPow10[t]) + 1;
}

// Writes the decimal digits of v at out, most significant first; returns
// the end. At most 10 bytes, no terminator.
inline char *WriteDecimal32At(uint32_t v, char *out) noexcept {
  char *end = out + DecimalDigits32(v);
  WriteDecimal32(v, end);
  return end;
}

// Digits of v for a power-of-two base (1 << bits), from the end; 0 gives
// "0". alphabet holds at least 16 characters.
inline char *WritePow2(uint64_t v, unsigned bits, const char *alphabet, char *end) noexcept {
  char *p = end;
  const uint64_t mask = (uint64_t(1) << bits) - 1;
  do {
    *--p = alphabet[v & mask];
    v >>= bits;
  } while (v != 0);
  return p;
}

// Digits of v in any base 2..36 from the end (alphabet holds base chars).
inline char *WriteAnyBase(uint64_t v, uint64_t base, const char *alphabet, char *end) noexcept {
  char *p = end;
  do {
    *--p = alphabet[v % base];
    v /= base;
  } while (v != 0);
  return p;
}

inline constexpr char kUpperDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
inline constexpr char kLowerDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";

// Digit value of c in base 36 (0-9, a-z, A-Z), or 255.
inline constexpr auto kDigitValue = [] {
  std::array<uint8_t, 256> t{};
  for (auto &x : t) x = 255;
  for (int c = '0'; c <= '9'; ++c) t[size_t(c)] = uint8_t(c - '0');
  for (int c = 'a'; c <= 'z'; ++c) t[size_t(c)] = uint8_t(c - 'a' + 10);
  for (int c = 'A'; c <= 'Z'; ++c) t[size_t(c)] = uint8_t(c - 'A' + 10);
  return t;
}();

// The forgiving reader: every byte that is a digit of `base` (2, 10 or 16)
// is taken in order, everything else skipped; wraps modulo 2^32.
inline uint32_t AccumulateDigits(const uint8_t *p, size_t n, uint32_t base) noexcept {
  uint32_t v = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t d = kDigitValue[p[i]];
    if (d < base) v = v * base + d;
  }
  return v;
}

} // namespace ql::detail::numtext

#endif
