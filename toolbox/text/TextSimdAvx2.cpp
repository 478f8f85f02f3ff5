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

void Avx2Remove(uint8_t *s, size_t n, const uint8_t *p, size_t m, bool fold, bool all, bool final,
                ql::detail::RemoveState &st) {
  RemoveV<V32, V16>(s, n, p, m, fold, all, final, st);
}

} // namespace

#pragma GCC pop_options

ql::detail::SimdKernels ql::detail::Avx2Kernels() noexcept { return {&Avx2Mismatch, &Avx2Find, &Avx2Remove}; }

#else

ql::detail::SimdKernels ql::detail::Avx2Kernels() noexcept { return {nullptr, nullptr, nullptr}; }

#endif
