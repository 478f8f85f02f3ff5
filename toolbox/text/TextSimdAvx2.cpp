// 256-bit vector kernels for the text cores. This file alone is compiled
// for AVX2; the cores call it only when the CPU reports AVX2 (see
// Kernels() in TextCore.cpp). It includes nothing that defines inline
// functions shared with other files, so no AVX2 code can leak into them.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "toolbox/text/TextCore.h"

#if defined(__x86_64__)
#pragma GCC push_options
#pragma GCC target("avx2")
#include <immintrin.h>

namespace {

struct V16 {
  static constexpr size_t kWidth = 16;
  using T = __m128i;
  static T Load(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
  static T Splat(uint8_t c) { return _mm_set1_epi8(char(c)); }
  static T Eq(T a, T b) { return _mm_cmpeq_epi8(a, b); }
  static T And(T a, T b) { return _mm_and_si128(a, b); }
  static uint32_t Mask(T a) { return uint32_t(_mm_movemask_epi8(a)); }
  static T FoldLower(T x) {
    // x - 'A' + 0x80 lands in [0x80, 0x99] (signed -128..-103) exactly for A-Z.
    T t = _mm_add_epi8(x, _mm_set1_epi8(char(0x80 - 'A')));
    T up = _mm_cmpgt_epi8(_mm_set1_epi8(char(0x80 + 26)), t);
    return _mm_or_si128(x, _mm_and_si128(up, _mm_set1_epi8(0x20)));
  }
};

struct V32 {
  static constexpr size_t kWidth = 32;
  using T = __m256i;
  static T Load(const uint8_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }
  static T Splat(uint8_t c) { return _mm256_set1_epi8(char(c)); }
  static T Eq(T a, T b) { return _mm256_cmpeq_epi8(a, b); }
  static T And(T a, T b) { return _mm256_and_si256(a, b); }
  static uint32_t Mask(T a) { return uint32_t(_mm256_movemask_epi8(a)); }
  static T FoldLower(T x) {
    T t = _mm256_add_epi8(x, _mm256_set1_epi8(char(0x80 - 'A')));
    T up = _mm256_cmpgt_epi8(_mm256_set1_epi8(char(0x80 + 26)), t);
    return _mm256_or_si256(x, _mm256_and_si256(up, _mm256_set1_epi8(0x20)));
  }
};

#include "toolbox/text/TextSimdKernels.inc"

size_t Avx2Mismatch(const uint8_t *a, const uint8_t *b, size_t n, bool fold) {
  return MismatchV<V32, V16>(a, b, n, fold);
}
size_t Avx2Find(const uint8_t *h, size_t n, const uint8_t *p, size_t m, bool fold) {
  return FindV<V32, V16>(h, n, p, m, fold);
}

// Left-packing of 8 bytes: for each keep mask k (bit b set: byte b stays),
// the shuffle that gathers the kept bytes at the bottom, in order, and
// how many there are.
struct PackTable {
  uint64_t shuffle[256];
  uint8_t count[256];
};
constexpr PackTable MakePackTable() {
  PackTable t{};
  for (unsigned k = 0; k < 256; ++k) {
    uint64_t v = 0;
    unsigned c = 0;
    for (unsigned b = 0; b < 8; ++b)
      if (k & (1u << b)) v |= uint64_t(b) << (8 * c++);
    for (unsigned f = c; f < 8; ++f) v |= uint64_t(0x80) << (8 * f); // zero fill
    t.shuffle[k] = v;
    t.count[k] = uint8_t(c);
  }
  return t;
}
constexpr PackTable kPack = MakePackTable();

// Set bits of x, through the table (this file is not built for POPCNT).
inline size_t CountBits(uint64_t x) {
  size_t c = 0;
  for (; x != 0; x >>= 8) c += kPack.count[x & 0xFF];
  return c;
}

// Whether s[0..m) matches p[0..m), folded or not (a plain loop: the tail
// of a removal only).
inline bool MatchesAt(const uint8_t *s, const uint8_t *p, size_t m, bool fold) {
  for (size_t j = 0; j < m; ++j)
    if ((fold ? ql::detail::ToLower(s[j]) : s[j]) != (fold ? ql::detail::ToLower(p[j]) : p[j])) return false;
  return true;
}

// True when two occurrences of p[0..m) (folded or not) can overlap, that is
// when some proper suffix of the pattern is also its prefix.
bool SelfOverlaps(const uint8_t *p, size_t m, bool fold) {
  for (size_t d = 1; d < m; ++d) {
    size_t j = 0;
    while (j + d < m && ql::detail::Fold(p[j], !fold) == ql::detail::Fold(p[j + d], !fold)) ++j;
    if (j + d == m) return true;
  }
  return false;
}

// Removal of every occurrence of a short pattern (2..16 bytes) that cannot
// overlap itself, without a branch per occurrence. Each 32-byte block
// yields the exact mask of the occurrences that start in it (one compare
// per pattern byte); spreading each start over the pattern's m bytes gives
// the bytes to drop, and the kept bytes of each 8-byte group are packed
// down with one shuffle and stored at the write position. Occurrences
// cannot overlap, so the bytes dropped past the block are one run at its
// start, which the next block skips (r). Same contract as RemoveT: bytes
// below st.i are settled (written below st.w or removed), [st.i, st.r) are
// removed, and s[st.r..n) is still to be moved down by the caller.
// Every store lands in [w, w + 8) with w <= the group's own start, so it
// only covers bytes of the block already loaded.
template <bool fold>
void RemovePacked(uint8_t *s, size_t n, const uint8_t *p, size_t m, bool final, ql::detail::RemoveState &st) {
  constexpr size_t W = 32;
  size_t w = st.w, r = st.r, found = st.found, i = st.i;
  __m256i want[16];
  for (size_t j = 0; j < m; ++j) want[j] = _mm256_set1_epi8(char(fold ? ql::detail::ToLower(p[j]) : p[j]));
  for (; i + m - 1 + W <= n; i += W) {
    const __m256i raw = V32::Load(s + i);
    __m256i hit = V32::Eq(fold ? V32::FoldLower(raw) : raw, want[0]);
    for (size_t j = 1; j < m; ++j) {
      __m256i x = V32::Load(s + i + j);
      if constexpr (fold) x = V32::FoldLower(x);
      hit = V32::And(hit, V32::Eq(x, want[j]));
    }
    uint64_t starts = V32::Mask(hit);
    // Bytes at the block's start still inside the previous block's last
    // occurrence (r - i < m): no occurrence starts there.
    const uint64_t carried = (uint64_t(1) << (r - i)) - 1;
    starts &= ~carried;
    if ((starts | carried) == 0) { // nothing to drop: the block moves down whole
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(s + w), raw);
      w += W;
      r = i + W;
      continue;
    }
    uint64_t drop = carried;
    for (size_t j = 0; j < m; ++j) drop |= starts << j;
    found += CountBits(starts);
    const uint32_t keep = ~uint32_t(drop);
    const __m128i lo = _mm256_castsi256_si128(raw), hi = _mm256_extracti128_si256(raw, 1);
    const __m128i group[4] = {lo, _mm_srli_si128(lo, 8), hi, _mm_srli_si128(hi, 8)};
    for (unsigned g = 0; g < 4; ++g) {
      const unsigned k = (keep >> (8 * g)) & 0xFF;
      const __m128i packed = _mm_shuffle_epi8(group[g], _mm_cvtsi64_si128(int64_t(kPack.shuffle[k])));
      _mm_storel_epi64(reinterpret_cast<__m128i *>(s + w), packed);
      w += kPack.count[k];
    }
    r = i + W + CountBits(drop >> W);
  }
  if (final) {
    // The last bytes, one position at a time; kept stretches move down.
    r = std::max(i, r);
    for (size_t k = r; k + m <= n;) {
      if (MatchesAt(s + k, p, m, fold)) {
        std::memmove(s + w, s + r, k - r);
        w += k - r;
        r = k = k + m;
        ++found;
      } else {
        ++k;
      }
    }
  }
  st.w = w;
  st.r = r;
  st.found = found;
  st.i = i;
}

void Avx2Remove(uint8_t *s, size_t n, const uint8_t *p, size_t m, bool fold, bool all, bool final,
                ql::detail::RemoveState &st) {
  // The packing kernel needs every occurrence removed and occurrences that
  // cannot overlap (so each byte belongs to at most one).
  if (all && m <= 16 && !SelfOverlaps(p, m, fold)) {
    if (fold) {
      RemovePacked<true>(s, n, p, m, final, st);
    } else {
      RemovePacked<false>(s, n, p, m, final, st);
    }
    return;
  }
  RemoveV<V32, V16>(s, n, p, m, fold, all, final, st);
}

} // namespace

#pragma GCC pop_options

ql::detail::SimdKernels ql::detail::Avx2Kernels() noexcept { return {&Avx2Mismatch, &Avx2Find, &Avx2Remove}; }

#else

ql::detail::SimdKernels ql::detail::Avx2Kernels() noexcept { return {nullptr, nullptr, nullptr}; }

#endif
