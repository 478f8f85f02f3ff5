// Natural order of two blocks (see TextCompareNatural). Kept apart from
// TextCore.h: it is the comparison of file-name sorts, which call it about
// log2(n) times per name, so its common case is written for speed.
#ifndef TOOLBOX_TEXT_NATURALORDER_H
#define TOOLBOX_TEXT_NATURALORDER_H

#include <cstring>

#include "toolbox/text/TextCore.h"

namespace ql::detail {

// The natural order walk from position `from`, where both blocks have had
// the same bytes so far and no digit run spans `from`.
[[gnu::noinline]] inline int CompareNaturalFrom(const uint8_t *a, size_t an, const uint8_t *b, size_t bn, size_t from,
                       bool exact) noexcept {
  size_t i = from, j = from;
  for (;;) {
    while (i < an && j < bn && !(IsDigit(a[i]) && IsDigit(b[j]))) {
      uint8_t x = Fold(a[i], exact), y = Fold(b[j], exact);
      if (x != y) return x < y ? -1 : 1;
      ++i;
      ++j;
    }
    if (i >= an) return j >= bn ? 0 : -1;
    if (j >= bn) return 1;
    // Both at a digit. Skip leading zeros, keeping a run of zeros' last one.
    int balance = 0;
    while (a[i] == '0' && i + 1 < an && IsDigit(a[i + 1])) {
      ++i;
      ++balance;
    }
    while (b[j] == '0' && j + 1 < bn && IsDigit(b[j + 1])) {
      ++j;
      --balance;
    }
    // Walk both runs together: a longer run is a larger number; at equal
    // lengths the first differing digit decides.
    size_t k = 0;
    while (i + k < an && j + k < bn && (IsDigit(a[i + k]) & IsDigit(b[j + k]))) ++k;
    const bool da = i + k < an && IsDigit(a[i + k]), db = j + k < bn && IsDigit(b[j + k]);
    if (da != db) return da ? 1 : -1;
    int first = 0;
    for (size_t d = 0; d < k; ++d)
      if (a[i + d] != b[j + d]) {
        first = a[i + d] < b[j + d] ? -1 : 1;
        break;
      }
    i += k;
    j += k;
    if (first != 0) return first;
    if (balance != 0) return balance < 0 ? -1 : 1;
    // i and j now stand just after the runs.
  }
}

// The same order, a byte at a time: for blocks under 8 bytes, on hosts
// without the vector walk below, and for that walk's rare cases.
[[gnu::noinline]] inline int CompareNaturalBytes(const uint8_t *a, size_t an, const uint8_t *b, size_t bn, bool exact) noexcept {
  // Up to the first difference both blocks hold the same bytes, so every
  // digit run there is equal on both sides (same value, same zeros). Unless
  // the difference touches a digit, plain byte order decides.
  const size_t n = std::min(an, bn);
  // `from` follows the start of the digit run the shared bytes end in (or
  // i when they end in a non-digit), without a branch per byte.
  size_t i = 0, from = 0;
  if (exact) {
    for (; i < n && a[i] == b[i]; ++i) from = IsDigit(a[i]) ? from : i + 1;
  } else {
    for (; i < n && ToLower(a[i]) == ToLower(b[i]); ++i) from = IsDigit(a[i]) ? from : i + 1;
  }
  const bool digit = (i < an && IsDigit(a[i])) || (i < bn && IsDigit(b[i]));
  if (!digit) {
    if (i < an && i < bn) return Fold(a[i], exact) < Fold(b[i], exact) ? -1 : 1;
    return an == bn ? 0 : (an < bn ? -1 : 1);
  }
  const bool zeroA = from < an && a[from] == '0', zeroB = from < bn && b[from] == '0';
  if (!zeroA && !zeroB) {
    // No leading zeros: the longer run is the larger number; runs of equal
    // length differ first at i, inside both runs.
    if (from == i) { // the runs start at the difference: both must be digits
      const bool da = i < an && IsDigit(a[i]), db = i < bn && IsDigit(b[i]);
      if (!da || !db)
        return i < an && i < bn ? (Fold(a[i], exact) < Fold(b[i], exact) ? -1 : 1) : (i < an ? 1 : -1);
    }
    // Walk both runs together from the difference: the one that goes on
    // longer is the larger number; equal lengths are decided at i.
    const size_t both = std::min(an, bn);
    size_t e = i;
    while (e < both && (IsDigit(a[e]) & IsDigit(b[e]))) ++e;
    const bool da = e < an && IsDigit(a[e]), db = e < bn && IsDigit(b[e]);
    if (da != db) return da ? 1 : -1;
    return a[i] < b[i] ? -1 : 1;
  }
  return CompareNaturalFrom(a, an, b, bn, from, exact);
}

#if defined(__x86_64__)
// ---- Sixteen bytes at a time ---------------------------------------------
//
// Sorting spends its time here, and most pairs differ within their first
// sixteen bytes, usually inside a number ("IMG_1234" / "IMG_1299"). So the
// first sixteen bytes of each side are loaded and classified at once, and
// everything the order needs comes out of bit masks (bit k for byte k):
// where the blocks first differ, the digit run shared before that point,
// the runs after it on each side, and where leading zeros matter. No load
// waits on where the difference is, which keeps the result close behind
// the data. Rare shapes (a digit run reaching past the bytes at hand, a
// zero where leading zeros are counted) take the byte walk.

inline uint64_t LoadWord(const uint8_t *p) noexcept {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w; // x86-64: byte k of the block is bits 8k..8k+7
}

// Bytes i..i+7 of a block of n >= 8 bytes (i <= n); bytes at or past n
// read as 0. The load is the last whole word when fewer than 8 bytes
// remain, so nothing outside the block is read. (Two shifts: a shift by
// 64 must clear the word.)
inline uint64_t WordAt(const uint8_t *p, size_t i, size_t n) noexcept {
  const size_t at = std::min(i, n - 8);
  const unsigned bits = unsigned(i - at) * 8; // 0..64
  return LoadWord(p + at) >> (bits / 2) >> (bits - bits / 2);
}

// Bytes s..s+15 of a block of n >= 8 bytes (s <= n), 0 past the end.
inline __m128i Window16(const uint8_t *p, size_t s, size_t n) noexcept {
  return _mm_unpacklo_epi64(_mm_cvtsi64_si128(int64_t(WordAt(p, s, n))),
                            _mm_cvtsi64_si128(int64_t(WordAt(p, std::min(s + 8, n), n))));
}

inline unsigned Mask16(__m128i v) noexcept { return unsigned(_mm_movemask_epi8(v)); }
inline unsigned DigitMask(__m128i v) noexcept {
  const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8('0'));
  return Mask16(_mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(9)), shifted));
}
// A-Z to a-z, every other byte unchanged (as Fold with exact false).
inline __m128i FoldVector(__m128i v) noexcept {
  const __m128i upper = _mm_cmpgt_epi8(_mm_set1_epi8(char(0x80 + 26)), _mm_add_epi8(v, _mm_set1_epi8(char(0x80 - 'A'))));
  return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}

// The order from the sixteen bytes of each side at s, where the blocks
// first differ k bytes in (diff: the differing bytes; k = 16 when none).
template <bool Exact>
[[gnu::always_inline]] inline int NaturalFromWindow(__m128i va, __m128i vb, unsigned diff, unsigned k, size_t s,
                                                    const uint8_t *a, size_t an, const uint8_t *b, size_t bn) noexcept {
  const unsigned da = DigitMask(va), db = DigitMask(vb);
  const __m128i zeroByte = _mm_set1_epi8('0');
  const unsigned zero = Mask16(_mm_or_si128(_mm_cmpeq_epi8(va, zeroByte), _mm_cmpeq_epi8(vb, zeroByte)));
  const unsigned less = Mask16(_mm_cmpeq_epi8(_mm_min_epu8(va, vb), va)) & diff; // a's byte below b's
  // Digits from the difference on each side (0 when no digit there).
  const unsigned ea = unsigned(__builtin_ctz(~(da >> k))), eb = unsigned(__builtin_ctz(~(db >> k)));
  // The digits, and the zeros, just before the difference (shared by both
  // sides). Bit 0 of the shifted masks stands for the byte before the window.
  const unsigned below = (1u << k) - 1;
  const unsigned back = k - unsigned(31 - __builtin_clz(((~da & below) << 1) | 1));
  const unsigned zeros = k - unsigned(31 - __builtin_clz(((~zero & below) << 1) | 1));
  // Leading zeros are skipped before run lengths compare, so a shared run of
  // only zeros (or none) that goes on with a '0' needs the full walk; so do
  // runs that may go on outside the window.
  const bool zeroRun = (zeros == back) & ((zero >> k) & 1);
  const bool edge = (k + ea >= 16) | (k + eb >= 16) | ((back == k) & (s != 0));
  if (edge | zeroRun) return CompareNaturalBytes(a, an, b, bn, Exact);
  // A run that goes on past the other's is the larger number, whether it
  // started before the difference or starts there on both sides. Everything
  // else is byte order at the difference: two different digits, a digit
  // against a non-digit, two non-digits, or a byte against the end of the
  // shorter block; bytes tie there only at the end, and length decides.
  if ((ea != eb) & ((back | std::min(ea, eb)) != 0)) return ea > eb ? 1 : -1;
  if ((diff >> k) & 1) return (less >> k) & 1 ? -1 : 1;
  return (an > bn) - (an < bn);
}

template <bool Exact> inline void LoadWindows(const uint8_t *a, size_t an, const uint8_t *b, size_t bn, size_t s,
                                              __m128i &va, __m128i &vb, unsigned &diff) noexcept {
  va = Window16(a, s, an);
  vb = Window16(b, s, bn);
  if constexpr (!Exact) {
    va = FoldVector(va);
    vb = FoldVector(vb);
  }
  diff = ~Mask16(_mm_cmpeq_epi8(va, vb)) & 0xFFFF;
}

// Blocks whose first sixteen bytes are the same: on a window at a time.
template <bool Exact>
[[gnu::noinline]] int CompareNaturalFar(const uint8_t *a, size_t an, const uint8_t *b, size_t bn) noexcept {
  const size_t n = std::min(an, bn);
  size_t s = 16;
  __m128i va, vb;
  unsigned diff;
  for (;; s += 16) {
    LoadWindows<Exact>(a, an, b, bn, s, va, vb, diff);
    if (diff != 0 || s + 16 >= n) break;
  }
  const unsigned k = unsigned(std::min<size_t>(unsigned(__builtin_ctz(diff | 0x10000)), n - s));
  return NaturalFromWindow<Exact>(va, vb, diff, k, s, a, an, b, bn);
}

// Both blocks at least 8 bytes long.
template <bool Exact>
[[gnu::noinline]] inline int CompareNaturalVector(const uint8_t *a, size_t an, const uint8_t *b, size_t bn) noexcept {
  const size_t n = std::min(an, bn);
  __m128i va, vb;
  unsigned diff;
  LoadWindows<Exact>(a, an, b, bn, 0, va, vb, diff);
  // The first difference: a differing byte, or the end of the shorter block
  // (which reads 0 there, as a NUL would: such a tie is settled by length).
  const unsigned k = unsigned(std::min<size_t>(unsigned(__builtin_ctz(diff | 0x10000)), n));
  if (k == 16) [[unlikely]]
    return CompareNaturalFar<Exact>(a, an, b, bn);
  return NaturalFromWindow<Exact>(va, vb, diff, k, 0, a, an, b, bn);
}
#endif

inline int CompareNatural(Bytes left, Bytes right, bool exact) noexcept {
  const uint8_t *a = left.data(), *b = right.data();
  const size_t an = left.size(), bn = right.size();
#if defined(__x86_64__)
  if (an >= 8 && bn >= 8) return exact ? CompareNaturalVector<true>(a, an, b, bn) : CompareNaturalVector<false>(a, an, b, bn);
#endif
  return CompareNaturalBytes(a, an, b, bn, exact);
}

} // namespace ql::detail

#endif
